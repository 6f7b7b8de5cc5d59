#include "qt/QtFormDialog.h"

#include <QApplication>
#include <QBoxLayout>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QSpacerItem>
#include <QStyle>
#include <algorithm>

namespace quorle {

namespace {

// Eats the keys that reach one window until the event being delivered now has been handled.
class KeyCatcher : public QObject {
 public:
  explicit KeyCatcher(QWidget* window) : QObject(window) {
    window->installEventFilter(this);
    deleteLater();
  }
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) return false;
    event->accept();
    return true;
  }
};

}  // namespace

QtFormDialog::QtFormDialog(const Dialog& logic, const char* formName, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setObjectName(formName);
  setWindowTitle(QString::fromStdString(logic.Caption));
  setModal(true);
}

void QtFormDialog::AddButtons(QBoxLayout* layout, const char* okName, const char* cancelName) {
  auto* row = new QHBoxLayout;
  buttonRow_ = row;
  titleRoom_ = new QSpacerItem(0, 0, QSizePolicy::Expanding, QSizePolicy::Minimum);
  row->addSpacerItem(titleRoom_);
  ok_ = new QPushButton("OK", this);
  ok_->setObjectName(okName);
  ok_->setDefault(true);
  cancel_ = new QPushButton("Cancel", this);
  cancel_->setObjectName(cancelName);
  // Every dialog alike, and as the style's own message boxes: icons where they carry them.
  if (style()->styleHint(QStyle::SH_DialogButtonBox_ButtonsHaveIcons, nullptr, this)) {
    ok_->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    cancel_->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
  }
  for (QPushButton* button : {ok_, cancel_}) {
    button->setMinimumWidth(75);
    row->addWidget(button);
  }
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
  layout->addLayout(row);
}

void QtFormDialog::FitTitle() {
  if (!buttonRow_ || !layout()) return;
  // The title bar's text is bold, beside the window manager's icon and buttons.
  constexpr int kDecoration = 160;
  QFont bold = font();
  bold.setBold(true);
  const int title = QFontMetrics(bold).horizontalAdvance(windowTitle()) + kDecoration;
  const QMargins margins = layout()->contentsMargins();
  const int buttons = buttonRow_->sizeHint().width() - titleRoom_->sizeHint().width();
  titleRoom_->changeSize(std::max(0, title - margins.left() - margins.right() - buttons), 0,
                         QSizePolicy::Expanding, QSizePolicy::Minimum);
  buttonRow_->invalidate();
}

ModalResult QtFormDialog::Run() {
  FitTitle();
  // A dialog opened by a key in another one (Enter on a grid entry): that key goes on to the outer
  // dialog once this one has closed, where it would press the outer OK as well. It ends here.
  const QPointer<QWidget> outer = QApplication::activeModalWidget();
  const int result = exec();
  if (outer) new KeyCatcher(outer);
  return result == QDialog::Accepted ? ModalResult::OK : ModalResult::Cancel;
}

void QtFormDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // Centred once the layout has its final size, frame included.
  if (const QScreen* screen = this->screen()) {
    const QRect frame = frameGeometry();
    move(screen->availableGeometry().center() - QPoint(frame.width() / 2, frame.height() / 2));
  }
}

}  // namespace quorle
