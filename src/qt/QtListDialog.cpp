#include "qt/QtListDialog.h"

#include <QFontDatabase>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "app/FormHost.h"
#include "dialogs/TfrmList.h"
#include "qt/QtText.h"

namespace quorle {

QtListDialog::QtListDialog(TfrmList& logic, FormHost& host, QWidget* parent)
    : QtFormDialog(logic, "frmList", parent), logic_(logic), host_(host) {
  auto* layout = new QVBoxLayout(this);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  Grid = new QTableWidget(TfrmList::kRows, TfrmList::kColumns, this);
  Grid->setObjectName("Grid");
  // Names line up in a fixed-pitch font; cells grow from the design size only when it needs more.
  Grid->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  const QFontMetrics metrics(Grid->font());
  const int columnWidth = std::max(120, metrics.horizontalAdvance(QString(20, 'W')) + 12);
  const int rowHeight = std::max(16, metrics.height() + 2);
  Grid->horizontalHeader()->hide();
  Grid->verticalHeader()->hide();
  Grid->horizontalHeader()->setMinimumSectionSize(1);
  Grid->verticalHeader()->setMinimumSectionSize(1);
  for (int c = 0; c < TfrmList::kColumns; ++c) Grid->setColumnWidth(c, columnWidth);
  for (int r = 0; r < TfrmList::kRows; ++r) Grid->setRowHeight(r, rowHeight);
  Grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  Grid->setSelectionMode(QAbstractItemView::SingleSelection);
  const int frame = 2 * Grid->frameWidth();
  Grid->setFixedSize(TfrmList::kColumns * columnWidth + frame, TfrmList::kRows * rowHeight + frame);
  for (int c = 0; c < TfrmList::kColumns; ++c) {
    for (int r = 0; r < TfrmList::kRows; ++r) Grid->setItem(r, c, new QTableWidgetItem);
  }
  Grid->setCurrentCell(0, 0);
  layout->addWidget(Grid);
  // Activation is a double-click, or Enter for the keyboard.
  connect(Grid, &QTableWidget::cellActivated, this, [this](int row, int column) {
    if (logic_.GridDblClick(host_, column, row)) Redraw();
  });
  AddButtons(layout, "btnOK", "btnCancel");
  Redraw();
}

void QtListDialog::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier && logic_.Changed()) {
    event->accept();
    AskBeforeLeaving();
    return;
  }
  QtFormDialog::keyPressEvent(event);
}

void QtListDialog::AskBeforeLeaving() {
  QMessageBox box(QMessageBox::Question, windowTitle(),
                  "The bank has renamed entries that are not sent. Send them?",
                  QMessageBox::Discard | QMessageBox::Cancel, this);
  QPushButton* send = box.addButton("&Send", QMessageBox::AcceptRole);
  send->setObjectName("btnSend");
  box.setDefaultButton(send);
  box.setEscapeButton(QMessageBox::Cancel);
  box.exec();
  if (box.clickedButton() == send) {
    accept();
  } else if (box.clickedButton() == box.button(QMessageBox::Discard)) {
    reject();
  }
}

void QtListDialog::Redraw() {
  for (int c = 0; c < TfrmList::kColumns; ++c) {
    for (int r = 0; r < TfrmList::kRows; ++r) Grid->item(r, c)->setText(Shown(logic_.Cell(c, r)));
  }
  setWindowTitle(QString::fromStdString(logic_.Caption));
}

}  // namespace quorle
