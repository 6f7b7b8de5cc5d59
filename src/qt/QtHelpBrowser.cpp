#include "qt/QtHelpBrowser.h"

#include <QHelpEngineCore>

namespace quorle {

QtHelpBrowser::QtHelpBrowser(QHelpEngineCore& engine, QWidget* parent)
    : QTextBrowser(parent), engine_(engine) {
  setObjectName("helpBrowser");
  setOpenExternalLinks(true);
}

QVariant QtHelpBrowser::loadResource(int type, const QUrl& name) {
  if (name.scheme() == "qthelp") return engine_.fileData(name);
  return QTextBrowser::loadResource(type, name);
}

}  // namespace quorle
