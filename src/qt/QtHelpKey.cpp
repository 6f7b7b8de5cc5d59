#include "qt/QtHelpKey.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTabWidget>

#include "qt/MainWindow.h"

namespace quorle {

QtHelpKey::QtHelpKey(MainWindow& window) : QObject(&window), window_(window) {
  qApp->installEventFilter(this);
}

bool QtHelpKey::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress || static_cast<QKeyEvent*>(event)->key() != Qt::Key_F1) {
    return false;
  }
  auto* widget = qobject_cast<QWidget*>(watched);
  if (!widget) return false;
  // Only windows of this main window: itself, its Library and composer windows, and the dialogs
  // they opened.
  QWidget* top = widget;
  while (top->parentWidget()) top = top->parentWidget();
  if (top != &window_ && !window_.IsOwnWindow(top)) return false;

  std::vector<std::string> controls;
  for (QWidget* w = widget; w != top; w = w->parentWidget()) {
    controls.push_back(w->objectName().toStdString());
  }
  if (top == &window_ && widget->window() != &window_) {
    // A dialog belongs to the page whose button opened it.
    if (const auto* tabs = window_.findChild<QTabWidget*>("Tabs"); tabs && tabs->currentWidget()) {
      controls.push_back(tabs->currentWidget()->objectName().toStdString());
    }
  }
  controls.push_back(top->objectName().toStdString());
  const QPoint where = widget->mapToGlobal(widget->rect().center());
  window_.Form().Guarded([&] { window_.Form().HelpRequested(controls, {where.x(), where.y()}); });
  return true;
}

}  // namespace quorle
