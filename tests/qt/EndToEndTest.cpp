// The real window over the in-process simulated Andromeda: buttons clicked, dialogs answered as
// a user would, files written where the chosen path says.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include "QtTestSupport.h"
#include "dialogs/TfrmSplitBank.h"
#include "protocol/DumpName.h"
#include "protocol/MessageSet.h"
#include "sim/SimulatedAndromeda.h"

namespace quorle {
namespace {

namespace fs = std::filesystem;
using testing::Child;
using testing::Choose;
using testing::Click;
using testing::ModalAnswerer;
using testing::ReadAll;
using testing::WaitUntil;

class EndToEnd : public testing::WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    window_->Form().FormCreate();
    window_->show();
    ASSERT_TRUE(window_->Form().OutputOpen);
  }
  bool AllButtonsEnabled() {
    for (QPushButton* button : window_->Buttons()) {
      if (!button->isEnabled()) return false;
    }
    return true;
  }
  bool AnyButtonEnabled() {
    for (QPushButton* button : window_->Buttons()) {
      if (button->isEnabled()) return true;
    }
    return false;
  }
  // The file chooser answers with a file in the test's folder, noting what it was asked and
  // whether the window was locked meanwhile.
  void SaveTo(const std::string& name) {
    window_->fileChooserForTests = [this, name](const FileChoice& choice) {
      choices_.push_back(choice);
      lockedWhileChoosing_ = !AnyButtonEnabled();
      const auto* progress = window_->findChild<QWidget*>("frmProgress");
      progressWhileChoosing_ = progress && progress->isVisible();
      return std::optional<std::string>((dir_ / name).string());
    };
  }

  std::vector<FileChoice> choices_;
  bool lockedWhileChoosing_ = false;
  bool progressWhileChoosing_ = true;
};

TEST_F(EndToEnd, CheckConnectionReportsTheInstrumentsVersion) {
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  ModalAnswerer answerer;
  answerer.Then([&](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    ASSERT_NE(box, nullptr);
    text = box->text();
    icon = box->icon();
    // The check locks nothing.
    EXPECT_TRUE(AllButtonsEnabled());
    // Its wait is over once the answer is shown.
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    Click(box->button(QMessageBox::Ok));
  });
  Click(Find<QPushButton>("btnCheck"));
  ASSERT_TRUE(WaitUntil([&] { return answerer.AllAnswered(); }));
  EXPECT_EQ(text, "Alesis Andromeda version 2.05 found");
  EXPECT_EQ(icon, QMessageBox::Information);
  EXPECT_EQ(answerer.Stuck(), 0);
}

TEST_F(EndToEnd, RepliesAreHandledWhileADialogIsOpen) {
  QString text;
  ModalAnswerer outer;
  outer.Then([&](QWidget* form) {
    ModalAnswerer inner(form);
    inner.Then([&](QWidget* modal) {
      auto* box = qobject_cast<QMessageBox*>(modal);
      ASSERT_NE(box, nullptr);
      text = box->text();
      box->accept();
    });
    window_->Form().btnCheckClick();
    EXPECT_TRUE(WaitUntil([&] { return inner.AllAnswered(); }));
    Click(Child<QPushButton>(form, "btnCancel"));
  });
  TfrmSplitBank chooser(window_->Form());
  EXPECT_EQ(window_->ShowModal(chooser), ModalResult::Cancel);
  EXPECT_EQ(text, "Alesis Andromeda version 2.05 found");
  EXPECT_EQ(outer.Stuck(), 0);
}

TEST_F(EndToEnd, GetProgramSavesTheChosenProgramToTheChosenFile) {
  SaveTo("chosen.syx");
  ModalAnswerer answerer;
  answerer.Then([](QWidget* form) {
    EXPECT_EQ(form->windowTitle(), "Select Program");
    Choose(Child<QComboBox>(form, "cbProgram"), 5);
    Click(Child<QPushButton>(form, "btnOK"));
  });
  Click(Find<QPushButton>("btnGetProgram"));
  ASSERT_TRUE(answerer.AllAnswered());
  ASSERT_TRUE(WaitUntil([&] { return !choices_.empty() && AllButtonsEnabled(); }));

  EXPECT_EQ(choices_[0].mode, FileChoice::Mode::Save);
  EXPECT_TRUE(lockedWhileChoosing_);
  const Bytes saved = ReadAll(dir_ / "chosen.syx");
  ASSERT_EQ(saved.size(), 2350u);
  EXPECT_EQ(saved, midi_->Simulator().Dump(kProgramKind, 0, 5));
  EXPECT_EQ(Find<QLabel>("Stat")->text(), " chosen.syx saved to disk");
}

TEST_F(EndToEnd, RenameProgramSendsTheTypedNameBack) {
  ModalAnswerer answerer;
  answerer
      .Then([](QWidget* form) {
        EXPECT_EQ(form->objectName(), "frmSelProgram");
        Choose(Child<QComboBox>(form, "cbProgram"), 9);
        Click(Child<QPushButton>(form, "btnOK"));
      })
      .Then([](QWidget* form) {
        // Asked from the reply handler, while the window is locked.
        EXPECT_EQ(form->windowTitle(), "Rename");
        auto* eName = Child<QLineEdit>(form, "eName");
        eName->selectAll();
        QTest::keyClicks(eName, "Quorle Test");
        Click(Child<QPushButton>(form, "btnOK"));
      });
  Click(Find<QPushButton>("btnRenameProgram"));
  ASSERT_TRUE(WaitUntil([&] { return answerer.AllAnswered() && AllButtonsEnabled(); }));
  EXPECT_EQ(Find<QLabel>("Stat")->text(), "Program \"Quorle Test\" sent to Andromeda");
  // The instrument stores it on its own thread.
  ASSERT_TRUE(WaitUntil([&] {
    return DumpName(kProgramKind, midi_->Simulator().Dump(kProgramKind, 0, 9)) ==
           PadName("Quorle Test");
  }));
  EXPECT_EQ(answerer.Stuck(), 0);
}

TEST_F(EndToEnd, ReceiveGlobalDataShowsProgressUntilTheDumpIsComplete) {
  // Four buffers for five pieces: each goes back to the driver before the next is filled.
  ASSERT_EQ(window_->Form().MidiIn.SysexBufferCount(), 4);
  SaveTo("global.syx");
  Click(Find<QPushButton>("btnGetGlobal"));
  // Nothing has been received yet: the handler has only just sent the request.
  QWidget* progress = window_->findChild<QWidget*>("frmProgress");
  ASSERT_NE(progress, nullptr);
  EXPECT_TRUE(progress->isVisible());
  EXPECT_EQ(progress->windowTitle(), "Receiving Global Data...");
  EXPECT_FALSE(AnyButtonEnabled());

  ASSERT_TRUE(WaitUntil([&] { return !choices_.empty() && AllButtonsEnabled(); }));
  EXPECT_FALSE(progressWhileChoosing_) << "gone before the file is asked for";
  EXPECT_EQ(window_->findChild<QWidget*>("frmProgress"), nullptr);
  const Bytes saved = ReadAll(dir_ / "global.syx");
  EXPECT_EQ(saved.size(), kGlobalDumpSize);
  EXPECT_EQ(saved, midi_->Simulator().GlobalData());
}

}  // namespace
}  // namespace quorle
