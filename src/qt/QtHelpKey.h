#pragma once

#include <QObject>

namespace quorle {

class MainWindow;

// The help key F1 anywhere in the main window, its Library and composer windows and the dialogs
// they open: asks the window's logic for the topic of the focused control. Watches the whole
// application's key presses.
class QtHelpKey : public QObject {
  Q_OBJECT

 public:
  explicit QtHelpKey(MainWindow& window);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  MainWindow& window_;
};

}  // namespace quorle
