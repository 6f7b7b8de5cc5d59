#pragma once

#include <QTextBrowser>

class QHelpEngineCore;

namespace quorle {

// Shows topics of the compiled help: qthelp addresses are read from the help engine. A link to
// another topic opens here, in the browser's history; only other schemes (http, mailto) go to
// the desktop.
class QtHelpBrowser : public QTextBrowser {
  Q_OBJECT

 public:
  QtHelpBrowser(QHelpEngineCore& engine, QWidget* parent);
  QVariant loadResource(int type, const QUrl& name) override;

 private:
  void Follow(const QUrl& link);

  QHelpEngineCore& engine_;
};

}  // namespace quorle
