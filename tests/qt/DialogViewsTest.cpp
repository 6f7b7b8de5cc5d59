#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTreeWidget>
#include <filesystem>

#include "QtTestSupport.h"
#include "dialogs/TdlgSendBank.h"
#include "dialogs/TdlgSendMix.h"
#include "dialogs/TdlgSendMixBank.h"
#include "dialogs/TdlgSendProgram.h"
#include "dialogs/TfrmPickDir.h"
#include "dialogs/TfrmProgress.h"
#include "dialogs/TfrmSelBank.h"
#include "dialogs/TfrmSelMix.h"
#include "dialogs/TfrmSelProgram.h"
#include "dialogs/TfrmSetName.h"
#include "dialogs/TfrmSplitBank.h"
#include "dialogs/TfrmSplitMixBank.h"
#include "protocol/FileNames.h"
#include "sim/SimulatedAndromeda.h"

namespace quorle {
namespace {

namespace fs = std::filesystem;
using testing::Child;
using testing::Choose;
using testing::Click;
using testing::Items;
using testing::ModalAnswerer;

using DialogView = testing::WindowTest;

QStringList Numbered(int from, int to, const char* format) {
  QStringList items;
  for (int i = from; i <= to; ++i) items << QString::asprintf(format, i);
  return items;
}

// The names of the radio buttons checked in a form, and the form's frame.
QStringList Checked(const QWidget* form) {
  QStringList checked;
  for (auto* radio : form->findChildren<QRadioButton*>()) {
    if (radio->isChecked()) checked << radio->objectName();
  }
  return checked;
}

void ExpectModalFormFrame(const QWidget* form, const char* caption) {
  EXPECT_EQ(form->windowTitle(), caption);
  EXPECT_TRUE(form->isModal());
  EXPECT_FALSE(form->windowFlags() & Qt::WindowCloseButtonHint) << "no close box";
  EXPECT_FALSE(form->windowFlags() & Qt::WindowSystemMenuHint);
  EXPECT_EQ(form->minimumSize(), form->maximumSize());
  const QRect screen = form->screen()->availableGeometry();
  EXPECT_LE((form->frameGeometry().center() - screen.center()).manhattanLength(), 2) << "centred";
}

// Runs a form through the window and answers it with answer.
ModalResult Show(MainWindow& window, Dialog& logic, const ModalAnswerer::Answer& answer) {
  ModalAnswerer answerer;
  answerer.Then(answer);
  const ModalResult result = window.ShowModal(logic);
  EXPECT_TRUE(answerer.AllAnswered());
  EXPECT_EQ(answerer.Stuck(), 0);
  return result;
}

TEST_F(DialogView, SelectProgramDrawsTheStoredChoiceAndForwardsEveryChange) {
  TfrmMain& f = window_->Form();
  f.ProgramBank = 5;
  f.ProgramNumber = 7;
  f.ProgramBanksOnCard = 3;
  TfrmSelProgram logic(f);
  const ModalResult result = Show(*window_, logic, [&](QWidget* form) {
    EXPECT_EQ(form->objectName(), "frmSelProgram");
    ExpectModalFormFrame(form, "Select Program");
    auto* cbProgram = Child<QComboBox>(form, "cbProgram");
    auto* cbCard = Child<QComboBox>(form, "cbCard");
    auto* rbPreset2 = Child<QRadioButton>(form, "rbPreset2");
    auto* rbCard = Child<QRadioButton>(form, "rbCard");
    ASSERT_TRUE(cbProgram && cbCard && rbPreset2 && rbCard);
    EXPECT_EQ(Child<QRadioButton>(form, "rbUser")->text(), "User Bank");
    EXPECT_EQ(Child<QRadioButton>(form, "rbPreset1")->text(), "Preset Bank 1");
    EXPECT_EQ(rbPreset2->text(), "Preset Bank 2");
    EXPECT_EQ(rbCard->text(), "Card Bank");
    EXPECT_EQ(Items(cbProgram), Numbered(0, 127, "%03d"));
    EXPECT_EQ(cbProgram->currentIndex(), 7);
    EXPECT_EQ(Checked(form), QStringList{"rbCard"});
    EXPECT_EQ(Items(cbCard), (QStringList{"001", "002", "003"}));
    EXPECT_EQ(cbCard->currentIndex(), 2);
    EXPECT_TRUE(cbCard->isEnabled());
    auto* label = form->findChild<QLabel*>();
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), "Program #");
    EXPECT_EQ(label->buddy(), cbProgram);

    Click(rbPreset2);
    EXPECT_EQ(logic.Bank, 2);
    EXPECT_EQ(Checked(form), QStringList{"rbPreset2"});
    EXPECT_FALSE(cbCard->isEnabled());
    Choose(cbCard, 0);  // a disabled list takes no choice
    EXPECT_EQ(logic.Bank, 2);
    Choose(cbProgram, 12);
    EXPECT_EQ(logic.Number, 12);

    // Card Bank alone only opens the list; the bank changes with a card entry.
    Click(rbCard);
    EXPECT_TRUE(cbCard->isEnabled());
    EXPECT_EQ(logic.Bank, 2);
    EXPECT_EQ(cbCard->currentIndex(), -1);
    auto* ok = Child<QPushButton>(form, "btnOK");
    EXPECT_FALSE(ok->isEnabled());
    Choose(cbCard, 1);
    EXPECT_TRUE(ok->isEnabled());
    EXPECT_EQ(logic.Bank, 4);
    EXPECT_EQ(cbCard->currentIndex(), 1);
    Click(Child<QPushButton>(form, "btnOK"));
  });
  EXPECT_EQ(result, ModalResult::OK);
  EXPECT_EQ(logic.Bank, 4);
  EXPECT_EQ(logic.Number, 12);

  TfrmSelProgram again(f);
  EXPECT_EQ(
      Show(*window_, again, [](QWidget* form) { Click(Child<QPushButton>(form, "btnCancel")); }),
      ModalResult::Cancel);
  TfrmSelProgram escaped(f);
  EXPECT_EQ(Show(*window_, escaped, [](QWidget* form) { QTest::keyClick(form, Qt::Key_Escape); }),
            ModalResult::Cancel);
}

// The form's OK button, whatever the form calls it.
QPushButton* OkButton(const QWidget* form) {
  for (auto* button : form->findChildren<QPushButton*>()) {
    if (button->text() == "OK") return button;
  }
  ADD_FAILURE() << "no OK in " << form->objectName().toStdString();
  return nullptr;
}

TEST_F(DialogView, OkWaitsForACardEntryInEveryChooserWithACardList) {
  TfrmMain& f = window_->Form();
  // No card: Card Bank can be checked, but there is no card bank to take.
  f.ProgramBanksOnCard = f.MixBanksOnCard = 0;
  std::vector<std::unique_ptr<BankChooser>> choosers;
  choosers.push_back(std::make_unique<TfrmSelProgram>(f));
  choosers.push_back(std::make_unique<TdlgSendProgram>(f));
  choosers.push_back(std::make_unique<TfrmSelMix>(f));
  choosers.push_back(std::make_unique<TdlgSendMix>(f));
  choosers.push_back(std::make_unique<TfrmSplitBank>(f));
  choosers.push_back(std::make_unique<TfrmSplitMixBank>(f));
  choosers.push_back(std::make_unique<TdlgSendBank>(f));
  choosers.push_back(std::make_unique<TdlgSendMixBank>(f));
  choosers.push_back(std::make_unique<TfrmSelBank>(f, kMixKind, TfrmSelBank::Question::Target));
  for (auto& chooser : choosers) {
    Show(*window_, *chooser, [&](QWidget* form) {
      const std::string name = form->objectName().toStdString();
      Click(Child<QRadioButton>(form, "rbCard"));
      EXPECT_FALSE(OkButton(form)->isEnabled()) << name;
      QTest::keyClick(form, Qt::Key_Return);
      EXPECT_TRUE(form->isVisible()) << name;
      QTest::keyClick(form, Qt::Key_Escape);
    });
  }
}

TEST_F(DialogView, RenameDisablesThePresetButtons) {
  TfrmMain& f = window_->Form();
  f.ProgramBank = 1;
  TfrmSelProgram logic(f);
  logic.DisablePresets();
  Show(*window_, logic, [&](QWidget* form) {
    auto* rbPreset1 = Child<QRadioButton>(form, "rbPreset1");
    EXPECT_FALSE(rbPreset1->isEnabled());
    EXPECT_FALSE(Child<QRadioButton>(form, "rbPreset2")->isEnabled());
    EXPECT_EQ(Checked(form), QStringList{"rbUser"});
    Click(rbPreset1);
    EXPECT_EQ(logic.Bank, 0);
    EXPECT_EQ(Checked(form), QStringList{"rbUser"});
    Click(Child<QPushButton>(form, "btnCancel"));
  });
}

TEST_F(DialogView, SendProgramOffersTheUserBankAndCardBanksOnly) {
  TfrmMain& f = window_->Form();
  f.ProgramBank = 1;  // a file of Preset Bank 1
  f.ProgramNumber = 127;
  TdlgSendProgram logic(f);
  const ModalResult result = Show(*window_, logic, [&](QWidget* form) {
    EXPECT_EQ(form->objectName(), "dlgSendProgram");
    ExpectModalFormFrame(form, "Send Program");
    EXPECT_EQ(form->findChildren<QRadioButton*>().size(), 2);
    EXPECT_EQ(Child<QRadioButton>(form, "rbUserBank")->text(), "User Bank");
    EXPECT_EQ(Checked(form), QStringList{"rbUserBank"});
    auto* cbCard = Child<QComboBox>(form, "cbCard");
    EXPECT_EQ(Items(cbCard), Numbered(1, 8, "%d"));
    EXPECT_FALSE(cbCard->isEnabled());
    EXPECT_EQ(Child<QComboBox>(form, "cbProgram")->currentIndex(), 127);
    // Card Bank picks card bank 1 at once.
    Click(Child<QRadioButton>(form, "rbCard"));
    EXPECT_EQ(logic.Bank, 3);
    EXPECT_TRUE(cbCard->isEnabled());
    EXPECT_EQ(cbCard->currentIndex(), 0);
    // The Verify check box of every send dialog opens on the stored choice.
    auto* cbVerify = Child<QCheckBox>(form, "cbVerify");
    EXPECT_FALSE(cbVerify->isChecked());
    cbVerify->click();
    Click(Child<QPushButton>(form, "btnOK"));
  });
  EXPECT_EQ(result, ModalResult::OK);
  logic.btnOKClick();
  EXPECT_TRUE(f.Verify);
}

TEST_F(DialogView, SelectMixUsesItsBitButtonsAndMixLists) {
  TfrmMain& f = window_->Form();
  f.MixBank = 1;
  f.MixNumber = 3;
  TfrmSelMix logic(f);
  const ModalResult result = Show(*window_, logic, [&](QWidget* form) {
    EXPECT_EQ(form->objectName(), "frmSelMix");
    ExpectModalFormFrame(form, "Select Mix");
    EXPECT_EQ(Child<QRadioButton>(form, "rbPreset1")->text(), "Preset Bank");
    EXPECT_EQ(form->findChild<QRadioButton*>("rbPreset2"), nullptr);
    EXPECT_EQ(Checked(form), QStringList{"rbPreset1"});
    EXPECT_EQ(Items(Child<QComboBox>(form, "cbCard")), Numbered(1, 14, "%d"));
    EXPECT_EQ(Child<QComboBox>(form, "cbMix")->currentIndex(), 3);
    EXPECT_EQ(form->findChild<QLabel*>()->text(), "Mix #");
    EXPECT_EQ(Child<QPushButton>(form, "BitBtn1")->text(), "OK");
    EXPECT_EQ(Child<QPushButton>(form, "BitBtn2")->text(), "Cancel");
    Click(Child<QRadioButton>(form, "rbUser"));
    EXPECT_EQ(logic.Bank, 0);
    Click(Child<QPushButton>(form, "BitBtn2"));
  });
  EXPECT_EQ(result, ModalResult::Cancel);

  TfrmSelMix confirmed(f);
  EXPECT_EQ(
      Show(*window_, confirmed, [](QWidget* form) { Click(Child<QPushButton>(form, "BitBtn1")); }),
      ModalResult::OK);
}

TEST_F(DialogView, InitializeMixShowsItsCaptionAndWritesEveryChangeThrough) {
  TfrmMain& f = window_->Form();
  f.MixBanksOnCard = 2;
  TdlgSendMix logic(f);
  logic.Caption = "Initialize Mix";
  const ModalResult result = Show(*window_, logic, [&](QWidget* form) {
    EXPECT_EQ(form->objectName(), "dlgSendMix");
    ExpectModalFormFrame(form, "Initialize Mix");
    EXPECT_EQ(form->findChildren<QRadioButton*>().size(), 2);
    Click(Child<QRadioButton>(form, "rbCard"));
    auto* cbCard = Child<QComboBox>(form, "cbCard");
    EXPECT_EQ(Items(cbCard), (QStringList{"001", "002"}));
    Choose(cbCard, 1);
    Choose(Child<QComboBox>(form, "cbProgram"), 9);
    Click(Child<QPushButton>(form, "btnCancel"));
  });
  EXPECT_EQ(result, ModalResult::Cancel);
  EXPECT_EQ(f.MixBank, 3);
  EXPECT_EQ(f.MixNumber, 9);
}

TEST_F(DialogView, ProgramBankChooserOpensOnTheStoredCardBankOrOnNothing) {
  TfrmMain& f = window_->Form();
  f.ProgramBank = 5;
  TfrmSplitBank logic(f);
  const ModalResult result = Show(*window_, logic, [&](QWidget* form) {
    EXPECT_EQ(form->objectName(), "frmSplitBank");
    ExpectModalFormFrame(form, "Select Program Bank");
    EXPECT_NE(form->findChild<QFrame*>("Bevel2"), nullptr);
    EXPECT_EQ(form->findChild<QComboBox*>("cbProgram"), nullptr);
    EXPECT_EQ(Checked(form), QStringList{"rbCard"});
    auto* cbCard = Child<QComboBox>(form, "cbCard");
    EXPECT_EQ(cbCard->currentText(), "3");
    // Leaving Card Bank and coming back starts again at card bank 1.
    Click(Child<QRadioButton>(form, "rbUser"));
    EXPECT_FALSE(cbCard->isEnabled());
    Click(Child<QRadioButton>(form, "rbCard"));
    EXPECT_EQ(logic.Bank, 3);
    EXPECT_EQ(cbCard->currentIndex(), 0);
    Click(Child<QPushButton>(form, "btnOK"));
  });
  EXPECT_EQ(result, ModalResult::OK);

  f.ProgramBank = -1;  // left by a bank rename from disk
  TfrmSplitBank unknown(f);
  Show(*window_, unknown, [](QWidget* form) {
    EXPECT_EQ(Checked(form), QStringList{});
    EXPECT_EQ(form->findChildren<QRadioButton*>().size(), 4);
    // OK waits until a bank is chosen.
    auto* ok = Child<QPushButton>(form, "btnOK");
    EXPECT_FALSE(ok->isEnabled());
    Click(Child<QRadioButton>(form, "rbPreset2"));
    EXPECT_TRUE(ok->isEnabled());
    Click(Child<QPushButton>(form, "btnCancel"));
  });
}

TEST_F(DialogView, MixBankChooserOffersOnePresetBank) {
  TfrmMain& f = window_->Form();
  f.MixBank = 1;
  TfrmSplitMixBank logic(f);
  Show(*window_, logic, [&](QWidget* form) {
    EXPECT_EQ(form->objectName(), "frmSplitMixBank");
    ExpectModalFormFrame(form, "Select Mix Bank");
    EXPECT_EQ(Checked(form), QStringList{"rbPreset1"});
    EXPECT_EQ(Child<QRadioButton>(form, "rbPreset1")->text(), "Preset Bank");
    EXPECT_EQ(form->findChild<QRadioButton*>("rbPreset2"), nullptr);
    EXPECT_FALSE(Child<QComboBox>(form, "cbCard")->isEnabled());
    Click(Child<QRadioButton>(form, "rbCard"));
    EXPECT_EQ(logic.Bank, 2);
    Click(Child<QPushButton>(form, "btnCancel"));
  });
}

TEST_F(DialogView, RenameTakesSixteenPrintableCharacters) {
  TfrmSetName logic;
  logic.Caption = "Rename Mix";
  logic.SetName("Warm Pad #2     ");
  const ModalResult result = Show(*window_, logic, [&](QWidget* form) {
    EXPECT_EQ(form->objectName(), "frmSetName");
    ExpectModalFormFrame(form, "Rename Mix");
    auto* eName = Child<QLineEdit>(form, "eName");
    ASSERT_NE(eName, nullptr);
    EXPECT_EQ(eName->text(), "Warm Pad #2     ");
    EXPECT_EQ(eName->maxLength(), 16);
    eName->selectAll();
    QTest::keyClicks(eName, "Glass ");
    // An accented letter is no name character.
    QKeyEvent accented(QEvent::KeyPress, Qt::Key_Eacute, Qt::NoModifier, QString(QChar(0xE9)));
    QApplication::sendEvent(eName, &accented);
    QTest::keyClicks(eName, "Bells: 1/2 & more");
    EXPECT_EQ(eName->text(), "Glass Bells: 1/2");
    EXPECT_EQ(logic.eName, "Glass Bells: 1/2");
    Click(Child<QPushButton>(form, "btnOK"));
  });
  EXPECT_EQ(result, ModalResult::OK);

  TfrmSetName cancelled;
  EXPECT_EQ(Show(*window_, cancelled,
                 [](QWidget* form) { Click(Child<QPushButton>(form, "btnCancel")); }),
            ModalResult::Cancel);
}

class FolderView : public DialogView {
 protected:
  void SetUp() override {
    DialogView::SetUp();
    fs::create_directories(dir_ / "split" / "bass");
    fs::create_directories(dir_ / "split" / "pads");
  }
  // Whether the label shows the path, whole or as its tail after an ellipsis.
  static bool Shows(const QLabel* label, const fs::path& path) {
    const std::string shown = label->text().toStdString();
    const std::string full = path.string();
    if (shown == full) return true;
    return shown.starts_with("...") && full.ends_with(shown.substr(3));
  }
  static QTreeWidgetItem* Item(QTreeWidget* tree, const QString& text) {
    const auto found = tree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
    EXPECT_EQ(found.size(), 1) << text.toStdString();
    return found.value(0);
  }
  static void Press(QTreeWidget* tree, QTreeWidgetItem* item, bool twice) {
    ASSERT_NE(item, nullptr);
    tree->scrollToItem(item);
    const QPoint at = tree->visualItemRect(item).center();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at);
    if (twice) {
      // What a real double-click adds to the first click.
      QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, at);
      QTest::mouseRelease(tree->viewport(), Qt::LeftButton, {}, at);
    }
  }
};

TEST_F(FolderView, DoubleClickOpensAFolderAndASingleClickOnlyHighlights) {
  const fs::path split = fs::canonical(dir_ / "split");
  TfrmPickDir logic(window_->Form(), split);
  const ModalResult result = Show(*window_, logic, [&](QWidget* form) {
    EXPECT_EQ(form->objectName(), "frmPickDir");
    ExpectModalFormFrame(form, "Select Directory");
    EXPECT_EQ(Child<QLabel>(form, "Label1")->text(),
              "Select the directory where the split files will be saved");
    auto* lblPath = Child<QLabel>(form, "lblPath");
    auto* tree = Child<QTreeWidget>(form, "lbSplitDir");
    ASSERT_TRUE(lblPath && tree);
    EXPECT_TRUE(lblPath->font().bold());
    EXPECT_TRUE(Shows(lblPath, split));
    // The current folder sits below its parents and holds the folders inside it.
    QTreeWidgetItem* current = tree->currentItem();
    ASSERT_NE(current, nullptr);
    EXPECT_EQ(current->text(0), "split");
    ASSERT_EQ(current->childCount(), 2);
    EXPECT_EQ(current->child(0)->text(0), "bass");
    EXPECT_EQ(current->child(1)->text(0), "pads");
    EXPECT_EQ(current->parent()->text(0).toStdString(), split.parent_path().filename().string());

    Press(tree, Item(tree, "pads"), false);
    EXPECT_EQ(tree->currentItem()->text(0), "pads");
    EXPECT_EQ(logic.CurrentFolder(), split);
    Press(tree, Item(tree, "bass"), true);
    EXPECT_EQ(logic.CurrentFolder(), split / "bass");
    EXPECT_TRUE(Shows(lblPath, split / "bass"));
    EXPECT_EQ(tree->findItems("pads", Qt::MatchExactly | Qt::MatchRecursive).size(), 0);
    // Back up to a parent.
    Press(tree, Item(tree, "split"), true);
    EXPECT_EQ(logic.CurrentFolder(), split);
    Click(Child<QPushButton>(form, "btnOK"));
  });
  EXPECT_EQ(result, ModalResult::OK);
}

TEST_F(FolderView, SplitStartsInTheWorkingFolderAndWritesIntoTheFolderNewFolderMade) {
  const fs::path split = fs::canonical(dir_ / "split");
  struct WorkingFolder {
    fs::path before = fs::current_path();
    ~WorkingFolder() { fs::current_path(before); }
  } restore;
  fs::current_path(split);
  TfrmMain& f = window_->Form();
  f.FormCreate();
  f.SplitFolder = (split / "bass").string();  // the last split's folder is not where it starts

  ModalAnswerer answerer;
  answerer.Then([](QWidget* chooser) {
    Click(Child<QRadioButton>(chooser, "rbUser"));
    Click(OkButton(chooser));
  });
  answerer.Then([&](QWidget* form) {
    auto* lblPath = Child<QLabel>(form, "lblPath");
    EXPECT_EQ(lblPath->toolTip().toStdString(), split.string());
    ModalAnswerer name(form);
    name.Then([](QWidget* input) {
      auto* edit = input->findChild<QLineEdit*>();
      ASSERT_NE(edit, nullptr);
      edit->selectAll();
      QTest::keyClicks(edit, "Pads 2");
      QTest::keyClick(edit, Qt::Key_Return);
    });
    Click(Child<QPushButton>(form, "btnNewFolder"));
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(lblPath->toolTip().toStdString(), (split / "Pads 2").string());
    Click(OkButton(form));
  });
  Click(Find<QPushButton>("btnSplitProgramBank"));
  ASSERT_TRUE(testing::WaitUntil([&] { return answerer.AllAnswered() && f.ControlsEnabled(); }));
  EXPECT_TRUE(fs::exists(SplitFilePath(split / "Pads 2", kProgramKind, 127,
                                       midi_->Simulator().Dump(kProgramKind, 0, 127))));
}

TEST_F(FolderView, ALongPathIsShortenedToFitAboveTheTree) {
  fs::path deep = fs::canonical(dir_);
  for (int i = 0; i < 6; ++i) deep /= std::string(40, static_cast<char>('a' + i));
  fs::create_directories(deep);
  TfrmPickDir logic(window_->Form(), deep);
  Show(*window_, logic, [&](QWidget* form) {
    auto* lblPath = Child<QLabel>(form, "lblPath");
    const QString shown = lblPath->text();
    EXPECT_TRUE(shown.startsWith("...")) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith(QString(40, 'f'))) << shown.toStdString();
    EXPECT_LE(lblPath->fontMetrics().horizontalAdvance(shown),
              Child<QWidget>(form, "lbSplitDir")->width());
    Click(Child<QPushButton>(form, "btnCancel"));
  });
  EXPECT_EQ(logic.CurrentFolder(), deep);
}

TEST_F(DialogView, ProgressWindowFollowsItsLogicWithoutBlockingTheWindow) {
  auto find = [&] { return window_->findChild<QWidget*>("frmProgress"); };
  auto progress = std::make_unique<TfrmProgress>(*window_);
  progress->SetCaption("Receiving Program Bank...");
  EXPECT_EQ(find(), nullptr) << "not shown before the transfer shows it";

  progress->Show();
  QWidget* view = find();
  ASSERT_NE(view, nullptr);
  EXPECT_TRUE(view->isVisible());
  EXPECT_TRUE(view->isWindow());
  EXPECT_EQ(view->windowTitle(), "Receiving Program Bank...");
  EXPECT_EQ(view->width(), 376);
  EXPECT_FALSE(view->windowFlags() & Qt::WindowCloseButtonHint);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  auto* pBank = Child<QProgressBar>(view, "pBank");
  auto* caption = Child<QLabel>(view, "lblCaption");
  ASSERT_TRUE(pBank && caption);
  EXPECT_EQ(pBank->size(), QSize(345, 16));
  EXPECT_EQ(pBank->minimum(), 0);
  EXPECT_EQ(pBank->maximum(), 127);
  EXPECT_EQ(pBank->value(), 0);
  // The caption stands above the bar too, where no window manager cuts it.
  EXPECT_EQ(caption->text(), "Receiving Program Bank...");
  EXPECT_LT(caption->geometry().bottom(), pBank->y());

  progress->SetPosition(64);
  progress->SetCaption("Program 64 received");
  EXPECT_EQ(pBank->value(), 64);
  EXPECT_EQ(view->windowTitle(), "Program 64 received");
  EXPECT_EQ(caption->text(), "Program 64 received");
  EXPECT_EQ(find(), view);
  // A backup's line is read whole, the entry's name and the time left too; a longer one keeps
  // its beginning.
  const QString line = " Programs Card 14 016/127 Deep Ocean Swell - 12% done, about 11:06 left";
  progress->SetCaption(line.toStdString());
  EXPECT_EQ(caption->text(), line.trimmed());
  QRect room = caption->contentsRect();
  EXPECT_LE(caption->fontMetrics().boundingRect(room, Qt::TextWordWrap, line).height(),
            room.height());
  // The window grows so that its title holds the line too, and the bar with it.
  EXPECT_GT(view->width(), view->fontMetrics().horizontalAdvance(line.trimmed()));
  EXPECT_EQ(pBank->width(), view->width() - 31);
  progress->SetCaption((line + line + line).toStdString());
  EXPECT_LE(view->width(), view->screen()->availableGeometry().width());
  room = caption->contentsRect();
  EXPECT_TRUE(caption->text().startsWith(line.trimmed())) << caption->text().toStdString();
  EXPECT_TRUE(caption->text().endsWith(QChar(0x2026)));
  EXPECT_LE(caption->fontMetrics().boundingRect(room, Qt::TextWordWrap, caption->text()).height(),
            room.height());

  progress.reset();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(find(), nullptr);

  // Cancel gives up the exchange that holds the window locked.
  TfrmMain& f = window_->Form();
  f.Disable();
  f.Progress = std::make_unique<TfrmProgress>(*window_);
  f.Progress->Show();
  Click(Child<QPushButton>(find(), "btnCancel"));
  EXPECT_TRUE(f.ControlsEnabled());
  EXPECT_EQ(f.StatusText(), TfrmMain::kCancelledText);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(find(), nullptr);
}

}  // namespace
}  // namespace quorle
