#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTableWidget>

#include "QtTestSupport.h"
#include "dialogs/TfrmList.h"
#include "dialogs/TfrmSelBank.h"
#include "protocol/DumpName.h"

namespace quorle {
namespace {

using testing::Child;
using testing::Click;
using testing::ModalAnswerer;

using RenameViews = testing::WindowTest;

ModalResult Show(MainWindow& window, Dialog& logic, const ModalAnswerer::Answer& answer) {
  ModalAnswerer answerer;
  answerer.Then(answer);
  const ModalResult result = window.ShowModal(logic);
  EXPECT_TRUE(answerer.AllAnswered());
  EXPECT_EQ(answerer.Stuck(), 0);
  return result;
}

// Double-clicks the cell of entry (column, row) and answers the name dialog it opens.
void RenameCell(QWidget* form, QTableWidget* grid, int column, int row,
                const ModalAnswerer::Answer& answer) {
  ModalAnswerer names(form);
  names.Then(answer);
  const QPoint at = grid->visualItemRect(grid->item(row, column)).center();
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, at);
  QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, at);
  EXPECT_TRUE(names.AllAnswered());
}

TEST_F(RenameViews, GridShowsAll128NamesAndRenamesByDoubleClick) {
  TfrmMain& f = window_->Form();
  std::vector<std::string> names;
  for (int i = 0; i < 128; ++i) names.push_back(PadName("Name " + std::to_string(i)));
  names[3] = std::string("Caf\xE9\x01", 5) + std::string(11, ' ');
  f.BankNames = names;

  TfrmList logic(f);
  logic.Caption = "Rename Mix Bank";
  const ModalResult result = Show(*window_, logic, [&](QWidget* form) {
    EXPECT_EQ(form->objectName(), "frmList");
    EXPECT_EQ(form->windowTitle(), "Rename Mix Bank");
    auto* grid = Child<QTableWidget>(form, "Grid");
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(grid->columnCount(), 4);
    EXPECT_EQ(grid->rowCount(), 32);
    EXPECT_FALSE(grid->horizontalHeader()->isVisible());
    EXPECT_FALSE(grid->verticalScrollBar()->isVisible());
    EXPECT_GE(grid->columnWidth(0), 120);
    EXPECT_EQ(grid->item(31, 3)->text(), "127 Name 127        ");
    EXPECT_EQ(grid->item(3, 0)->text(), QString("003 Caf") + QChar(0xE9) + "?" + QString(11, ' '));

    RenameCell(form, grid, 1, 2, [](QWidget* name) {
      auto* eName = Child<QLineEdit>(name, "eName");
      EXPECT_EQ(eName->text(), "Name 34");
      eName->selectAll();
      QTest::keyClicks(eName, "Pad: Warm");
      Click(Child<QPushButton>(name, "btnOK"));
    });
    EXPECT_EQ(grid->item(2, 1)->text(), "034 Pad: Warm       ");
    EXPECT_EQ(form->windowTitle(), "Rename Mix Bank *");
    // A cancelled name dialog changes nothing.
    RenameCell(form, grid, 0, 0, [](QWidget* name) {
      QTest::keyClicks(Child<QLineEdit>(name, "eName"), "x");
      Click(Child<QPushButton>(name, "btnCancel"));
    });
    EXPECT_EQ(grid->item(0, 0)->text(), "000 Name 0          ");
    Click(Child<QPushButton>(form, "btnOK"));
  });
  EXPECT_EQ(result, ModalResult::OK);
  logic.btnOKClick();
  names[34] = "Pad: Warm       ";
  EXPECT_EQ(*f.BankNames, names);  // entry 3 keeps its bytes

  TfrmList cancelled(f);
  EXPECT_EQ(Show(*window_, cancelled,
                 [&](QWidget* form) {
                   auto* grid = Child<QTableWidget>(form, "Grid");
                   RenameCell(form, grid, 0, 5,
                              [](QWidget* name) { Click(Child<QPushButton>(name, "btnOK")); });
                   Click(Child<QPushButton>(form, "btnCancel"));
                 }),
            ModalResult::Cancel);
  EXPECT_EQ(*f.BankNames, names);
}

TEST_F(RenameViews, EnterRenamesAnEntryAndOnlyOKOrCancelEndTheGrid) {
  TfrmMain& f = window_->Form();
  std::vector<std::string> names(128, PadName("Init"));
  f.BankNames = names;
  TfrmList logic(f);
  const ModalResult result = Show(*window_, logic, [&](QWidget* form) {
    auto* grid = Child<QTableWidget>(form, "Grid");
    ASSERT_NE(grid, nullptr);
    grid->setFocus();
    grid->setCurrentCell(2, 1);
    // The Enter that opened the name box, and the one that confirms it, end there.
    ModalAnswerer confirmed(form);
    confirmed.Then([](QWidget* name) {
      auto* eName = Child<QLineEdit>(name, "eName");
      eName->selectAll();
      QTest::keyClicks(eName, "Bright Keys");
      QTest::keyClick(eName, Qt::Key_Return);
    });
    QTest::keyClick(grid, Qt::Key_Return);
    EXPECT_TRUE(confirmed.AllAnswered());
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(grid->item(2, 1)->text(), "034 Bright Keys     ");
    Click(Child<QPushButton>(form, "btnOK"));
  });
  EXPECT_EQ(result, ModalResult::OK);
  logic.btnOKClick();
  names[34] = PadName("Bright Keys");
  EXPECT_EQ(*f.BankNames, names);
}

TEST_F(RenameViews, EscapeOverRenamedEntriesAsksSendDiscardOrCancel) {
  TfrmMain& f = window_->Form();
  f.BankNames = std::vector<std::string>(128, PadName("Init"));
  // Answers the question that Escape raises with the button named by pick.
  const auto escape = [](QWidget* form, const std::function<QAbstractButton*(QMessageBox*)>& pick) {
    ModalAnswerer question(form);
    bool asked = false;
    question.Then([&](QWidget* modal) {
      auto* box = qobject_cast<QMessageBox*>(modal);
      ASSERT_NE(box, nullptr);
      asked = true;
      EXPECT_THAT(box->text().toStdString(), ::testing::HasSubstr("not sent"));
      Click(pick(box));
    });
    QTest::keyClick(form, Qt::Key_Escape);
    EXPECT_TRUE(asked);
  };
  const auto rename = [](QWidget* form) {
    RenameCell(form, Child<QTableWidget>(form, "Grid"), 0, 1, [](QWidget* name) {
      auto* eName = Child<QLineEdit>(name, "eName");
      eName->selectAll();
      QTest::keyClicks(eName, "Init2");
      Click(Child<QPushButton>(name, "btnOK"));
    });
    // The grid's next key, as a user's, comes after the name box has gone.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  };

  TfrmList untouched(f);
  EXPECT_EQ(Show(*window_, untouched, [](QWidget* form) { QTest::keyClick(form, Qt::Key_Escape); }),
            ModalResult::Cancel);

  TfrmList kept(f);
  EXPECT_EQ(Show(*window_, kept,
                 [&](QWidget* form) {
                   rename(form);
                   escape(form, [](QMessageBox* box) { return box->button(QMessageBox::Cancel); });
                   EXPECT_TRUE(form->isVisible());
                   EXPECT_EQ(form->windowTitle(), "Rename Program Bank *");
                   escape(form, [](QMessageBox* box) { return box->button(QMessageBox::Discard); });
                 }),
            ModalResult::Cancel);

  TfrmList sent(f);
  EXPECT_EQ(Show(*window_, sent,
                 [&](QWidget* form) {
                   rename(form);
                   escape(form,
                          [](QMessageBox* box) { return Child<QPushButton>(box, "btnSend"); });
                 }),
            ModalResult::OK);
  sent.btnOKClick();
  EXPECT_EQ((*f.BankNames)[1], PadName("Init2"));
}

TEST_F(RenameViews, BankChooserTakesTheDiskWithOneClick) {
  TfrmMain& f = window_->Form();
  f.ProgramBank = 4;
  TfrmSelBank source(f, kProgramKind, TfrmSelBank::Question::Source);
  EXPECT_EQ(Show(*window_, source,
                 [](QWidget* form) {
                   EXPECT_EQ(form->objectName(), "frmSelBank");
                   EXPECT_EQ(form->windowTitle(), "Select Program Bank");
                   EXPECT_TRUE(Child<QRadioButton>(form, "rbCard")->isChecked());
                   EXPECT_EQ(form->findChildren<QRadioButton*>().size(), 2);
                   auto* load = Child<QPushButton>(form, "btnLoad");
                   EXPECT_EQ(load->text(), "Load from disk");
                   Click(load);
                 }),
            ModalResult::OK);
  EXPECT_TRUE(source.DiskChosen());
  EXPECT_EQ(f.ProgramBank, -1);
}

}  // namespace
}  // namespace quorle
