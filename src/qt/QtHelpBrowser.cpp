#include "qt/QtHelpBrowser.h"

#include <QDesktopServices>
#include <QHelpEngineCore>

namespace quorle {

QtHelpBrowser::QtHelpBrowser(QHelpEngineCore& engine, QWidget* parent)
    : QTextBrowser(parent), engine_(engine) {
  setObjectName("helpBrowser");
  // The desktop knows nothing of qthelp addresses: links are followed here.
  setOpenLinks(false);
  connect(this, &QTextBrowser::anchorClicked, this, &QtHelpBrowser::Follow);
}

void QtHelpBrowser::Follow(const QUrl& link) {
  if (link.scheme() == "qthelp") {
    setSource(link);
  } else {
    QDesktopServices::openUrl(link);
  }
}

QVariant QtHelpBrowser::loadResource(int type, const QUrl& name) {
  // A topic names its style sheet relative to itself.
  const QUrl url = source().resolved(name);
  if (url.scheme() == "qthelp") return engine_.fileData(url);
  return QTextBrowser::loadResource(type, name);
}

}  // namespace quorle
