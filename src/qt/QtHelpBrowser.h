#pragma once

#include <QTextBrowser>

class QHelpEngineCore;

namespace quorle {

// Shows topics of the compiled help: qthelp addresses are read from the help engine.
class QtHelpBrowser : public QTextBrowser {
  Q_OBJECT

 public:
  QtHelpBrowser(QHelpEngineCore& engine, QWidget* parent);
  QVariant loadResource(int type, const QUrl& name) override;

 private:
  QHelpEngineCore& engine_;
};

}  // namespace quorle
