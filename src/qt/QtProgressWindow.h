#pragma once

#include <QWidget>

class QProgressBar;

namespace quorle {

class TfrmProgress;

// The view of the modeless progress window: a caption and the bar pBank, redrawn whenever the
// transfer changes either. The main window keeps working underneath it.
class QtProgressWindow : public QWidget {
  Q_OBJECT

 public:
  explicit QtProgressWindow(QWidget* parent);

  void Redraw(const TfrmProgress& progress);

 private:
  QProgressBar* pBank = nullptr;
  bool placed_ = false;
};

}  // namespace quorle
