#pragma once

#include <QWidget>
#include <functional>

class QProgressBar;
class QPushButton;

namespace quorle {

class TfrmProgress;

// The view of the modeless progress window: a caption and the bar pBank, redrawn whenever the
// transfer changes either. The main window keeps working underneath it.
class QtProgressWindow : public QWidget {
  Q_OBJECT

 public:
  explicit QtProgressWindow(QWidget* parent);

  void Redraw(const TfrmProgress& progress);
  // What Cancel (the button, or Escape here) does: give up the transfer.
  std::function<void()> onCancel;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QProgressBar* pBank = nullptr;
  QPushButton* btnCancel = nullptr;
  bool placed_ = false;
};

}  // namespace quorle
