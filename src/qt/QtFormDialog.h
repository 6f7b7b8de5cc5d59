#pragma once

#include <QDialog>

#include "dialogs/Dialog.h"

class QBoxLayout;
class QPushButton;
class QSpacerItem;

namespace quorle {

// The frame the modal forms share: the logic's caption, no title-bar buttons, a fixed size,
// centred on the screen, closed only by its OK or Cancel button (or Escape, as Cancel).
class QtFormDialog : public QDialog {
  Q_OBJECT

 public:
  QtFormDialog(const Dialog& logic, const char* formName, QWidget* parent);

  // Shows the form modally; returns how it was closed.
  ModalResult Run();

 protected:
  void showEvent(QShowEvent* event) override;
  // OK and Cancel under the form's own names, at the right of a row added to layout.
  void AddButtons(QBoxLayout* layout, const char* okName, const char* cancelName);

  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;

 private:
  // At least as wide as the title needs, which a window manager would cut otherwise.
  void FitTitle();

  QBoxLayout* buttonRow_ = nullptr;
  QSpacerItem* titleRoom_ = nullptr;
};

}  // namespace quorle
