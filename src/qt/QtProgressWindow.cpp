#include "qt/QtProgressWindow.h"

#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <algorithm>

#include "dialogs/TfrmProgress.h"

namespace quorle {

QtProgressWindow::QtProgressWindow(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setObjectName("frmProgress");
  setWindowTitle("Progress");
  lblCaption = new QLabel(this);
  lblCaption->setObjectName("lblCaption");
  // Two lines hold a backup's entry, its name and the time left.
  lblCaption->setWordWrap(true);
  lblCaption->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
  pBank = new QProgressBar(this);
  pBank->setObjectName("pBank");
  pBank->setRange(0, TfrmProgress::kMax);
  pBank->setTextVisible(false);
  // A transfer the instrument stops answering, or one started by mistake, must not hold the
  // window until the program is killed.
  btnCancel = new QPushButton("Cancel", this);
  btnCancel->setObjectName("btnCancel");
  LayOut(kDesignWidth);
  connect(btnCancel, &QPushButton::clicked, this, [this] {
    if (onCancel) onCancel();
  });
}

void QtProgressWindow::LayOut(int width) {
  // Two lines hold a backup's entry, its name and the time left.
  const int line = 2 * lblCaption->fontMetrics().lineSpacing();
  const int inner = width - 31;
  lblCaption->setGeometry(16, 10, inner, line);
  pBank->setGeometry(16, 16 + line, inner, 16);
  btnCancel->setGeometry(16 + inner - 75, 44 + line, 75, 25);
  setFixedSize(width, 80 + line);
}

void QtProgressWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && onCancel) {
    onCancel();
    return;
  }
  QWidget::keyPressEvent(event);
}

void QtProgressWindow::Redraw(const TfrmProgress& progress) {
  const QString caption = QString::fromStdString(progress.Caption());
  setWindowTitle(caption);
  // The title bar shows the caption in one line: the window grows to hold it (never shrinks while
  // shown, so it does not jump from entry to entry), as far as the screen allows.
  const int wanted = fontMetrics().horizontalAdvance(caption.trimmed()) + 140;
  const QScreen* screen = this->screen();
  const int most = screen ? screen->availableGeometry().width() * 9 / 10 : 800;
  if (wanted > width() && width() < most) {
    const QPoint centre = geometry().center();
    LayOut(std::min(wanted, most));
    if (placed_) move(centre - rect().center());
  }
  // The entry's name and the time left come first in the caption: cut only its end.
  const QString line = caption.trimmed();
  const QFontMetrics metrics = lblCaption->fontMetrics();
  const QRect room = lblCaption->contentsRect();
  QString shown = line;
  for (qsizetype keep = line.size();
       keep > 0 && metrics.boundingRect(room, Qt::TextWordWrap, shown).height() > room.height();
       --keep) {
    shown = line.left(keep - 1) + QChar(0x2026);
  }
  lblCaption->setText(shown);
  lblCaption->setToolTip(line);
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
