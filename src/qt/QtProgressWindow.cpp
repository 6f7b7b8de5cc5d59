#include "qt/QtProgressWindow.h"

#include <QProgressBar>
#include <QScreen>

#include "dialogs/TfrmProgress.h"

namespace quorle {

QtProgressWindow::QtProgressWindow(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setObjectName("frmProgress");
  setWindowTitle("Progress");
  setFixedSize(376, 48);
  pBank = new QProgressBar(this);
  pBank->setObjectName("pBank");
  pBank->setRange(0, TfrmProgress::kMax);
  pBank->setTextVisible(false);
  pBank->setGeometry(16, 16, 345, 16);
}

void QtProgressWindow::Redraw(const TfrmProgress& progress) {
  setWindowTitle(QString::fromStdString(progress.Caption()));
  pBank->setValue(progress.Position());
  if (!progress.Visible()) {
    hide();
    return;
  }
  if (!placed_) {
    placed_ = true;
    if (const QScreen* screen = this->screen()) {
      move(screen->availableGeometry().center() - rect().center());
    }
  }
  show();
}

}  // namespace quorle
