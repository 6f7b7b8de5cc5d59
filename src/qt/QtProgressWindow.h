#pragma once

#include <QWidget>
#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;

namespace quorle {

class TfrmProgress;

// The view of the modeless progress window: a caption and the bar pBank, redrawn whenever the
// transfer changes either. The main window keeps working underneath it. The caption is shown
// above the bar as well, since a window manager may cut a long title in the middle.
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
  QLabel* lblCaption = nullptr;
  QProgressBar* pBank = nullptr;
  QPushButton* btnCancel = nullptr;
  bool placed_ = false;
  static constexpr int kDesignWidth = 376;
  // Places the caption, the bar and Cancel in a window this wide.
  void LayOut(int width);
};

}  // namespace quorle
