#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QWheelEvent>
#include <fstream>
#include <set>

#include "QtTestSupport.h"

namespace quorle {
namespace {

using testing::Child;
using testing::Click;
using ::testing::HasSubstr;
using testing::ModalAnswerer;
using testing::WaitUntil;

using MainWindowView = testing::WindowTest;

struct Control {
  const char* page;
  const char* name;
  const char* caption;  // of the button; nullptr for controls without one
};

const Control kControls[] = {
    {"tabAbout", "iLogo", nullptr},
    {"tabAbout", "lblDescription", nullptr},
    {"tabAbout", "lblVersion", nullptr},
    {"tabAbout", "lblCopyright", nullptr},
    {"tabSetup", "cbxIn", nullptr},
    {"tabSetup", "cbxOut", nullptr},
    {"tabSetup", "lblSendDelay", nullptr},
    {"tabSetup", "tbSendDelay", nullptr},
    {"tabSetup", "spCount", nullptr},
    {"tabSetup", "spSize", nullptr},
    {"tabSetup", "btnCheck", "&Check Connection"},
    {"tabSetup", "btnRefresh", "Refresh"},
    {"tabGlobal", "btnGetGlobal", "Receive Global Data"},
    {"tabGlobal", "btnSendGlobal", "Send Global Data"},
    {"tabGlobal", "btnBackup", "Backup..."},
    {"tabGlobal", "btnRestore", "Restore..."},
    {"tabProgram", "btnGetProgram", "Get Program"},
    {"tabProgram", "btnSendProgram", "Send Program"},
    {"tabProgram", "btnRenameProgram", "Rename Program"},
    {"tabProgram", "btnGetBank", "Get Bank"},
    {"tabProgram", "btnSendBank", "Send Bank"},
    {"tabProgram", "btnSplitProgramBank", "Split Bank"},
    {"tabProgram", "btnRenameProgBank", "Rename Bank"},
    {"tabMix", "btnGetMix", "Get Mix"},
    {"tabMix", "btnSendMix", "Send Mix"},
    {"tabMix", "btnRenameMix", "Rename Mix"},
    {"tabMix", "btnInitMix", "Initialize Mix"},
    {"tabMix", "btnGetMixBank", "Get Mix Bank"},
    {"tabMix", "btnSendMixBank", "Send Mix Bank"},
    {"tabMix", "btnSplitMixBank", "Split Mix Bank"},
    {"tabMix", "btnRenameMixBank", "Rename Mix Bank"},
};

TEST_F(MainWindowView, WindowPagesAndControlsAreNamedAndCaptionedAsTheFormIs) {
  MainWindow& w = *window_;
  w.show();
  EXPECT_EQ(w.windowTitle(), " Quorle");
  EXPECT_EQ(w.size(), QSize(410, 337));
  EXPECT_EQ(w.minimumSize(), w.maximumSize()) << "fixed single border";
  EXPECT_FALSE(w.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(w.windowFlags() & Qt::WindowMinimizeButtonHint);

  auto* tabs = Find<QTabWidget>("Tabs");
  ASSERT_NE(tabs, nullptr);
  const char* pages[][2] = {{"tabAbout", "About"},
                            {"tabSetup", "Setup"},
                            {"tabGlobal", "Global"},
                            {"tabProgram", "Program"},
                            {"tabMix", "Mix"}};
  ASSERT_EQ(tabs->count(), 5);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(tabs->widget(i)->objectName(), pages[i][0]);
    EXPECT_EQ(tabs->tabText(i), pages[i][1]);
  }

  for (const Control& c : kControls) {
    auto* control = Find<QWidget>(c.name);
    if (!control) continue;
    EXPECT_EQ(control->parentWidget()->objectName(), c.page) << c.name;
    if (c.caption) {
      auto* button = qobject_cast<QPushButton*>(control);
      ASSERT_NE(button, nullptr) << c.name;
      EXPECT_EQ(button->text(), c.caption) << c.name;
    }
  }
  EXPECT_EQ(w.Buttons().size(), 21);

  // The Setup page's captions, each naming its control.
  std::map<QString, QString> buddies;
  for (auto* label : Find<QWidget>("tabSetup")->findChildren<QLabel*>()) {
    if (label->buddy()) buddies[label->text()] = label->buddy()->objectName();
  }
  EXPECT_EQ(buddies, (std::map<QString, QString>{{"Midi In", "cbxIn"},
                                                 {"Midi Out", "cbxOut"},
                                                 {"Midi Send Delay", "tbSendDelay"},
                                                 {"SysEx Buffer Count", "spCount"},
                                                 {"SysEx Buffer Size", "spSize"}}));
  auto* delay = Find<QSlider>("tbSendDelay");
  EXPECT_EQ(delay->minimum(), 0);
  EXPECT_EQ(delay->maximum(), 200);
  EXPECT_EQ(delay->pageStep(), 10);
  EXPECT_EQ(delay->tickInterval(), 10);
  auto* count = Find<QSpinBox>("spCount");
  EXPECT_EQ(count->minimum(), 4);
  EXPECT_EQ(count->maximum(), 128);
  auto* size = Find<QSpinBox>("spSize");
  EXPECT_EQ(size->minimum(), 4096);
  EXPECT_EQ(size->maximum(), 16384);
  EXPECT_EQ(size->singleStep(), 128);

  auto* stat = Find<QLabel>("Stat");
  EXPECT_EQ(stat->text(), "");
  EXPECT_EQ(stat->width(), w.width());
}

TEST_F(MainWindowView, TransferButtonsSitInTwoColumnsWithTheSeparatorBetweenRowsTwoAndThree) {
  auto geometry = [&](const char* name) { return Find<QWidget>(name)->geometry(); };
  // The design sizes, wider only where a caption would not fit in the font at hand.
  auto expectSize = [&](const char* name, const char* first, int designWidth) {
    auto* button = Find<QPushButton>(name);
    EXPECT_EQ(button->size(), Find<QPushButton>(first)->size()) << name;
    EXPECT_GE(button->width(), designWidth) << name;
    EXPECT_GE(button->width(), button->sizeHint().width()) << name << " cuts its caption";
    EXPECT_EQ(button->height(), 25) << name;
  };
  for (const char* name : {"btnGetGlobal", "btnSendGlobal", "btnBackup", "btnRestore"}) {
    expectSize(name, "btnGetGlobal", 129);
  }
  EXPECT_EQ(geometry("btnGetGlobal").top(), geometry("btnSendGlobal").top());
  EXPECT_LT(geometry("btnGetGlobal").right(), geometry("btnSendGlobal").left());
  // Backup below Receive, Restore below Send, the presets box below them.
  EXPECT_EQ(geometry("btnBackup").left(), geometry("btnGetGlobal").left());
  EXPECT_EQ(geometry("btnRestore").left(), geometry("btnSendGlobal").left());
  EXPECT_GT(geometry("btnBackup").top(), geometry("btnGetGlobal").bottom());
  EXPECT_GT(geometry("cbBackupPresets").top(), geometry("btnBackup").bottom());

  const char* program[4][2] = {{"btnGetProgram", "btnSendProgram"},
                               {"btnRenameProgram", nullptr},
                               {"btnGetBank", "btnSendBank"},
                               {"btnSplitProgramBank", "btnRenameProgBank"}};
  const char* mix[4][2] = {{"btnGetMix", "btnSendMix"},
                           {"btnRenameMix", "btnInitMix"},
                           {"btnGetMixBank", "btnSendMixBank"},
                           {"btnSplitMixBank", "btnRenameMixBank"}};
  for (auto [page, rows] : {std::pair{"tabProgram", program}, std::pair{"tabMix", mix}}) {
    int lastBottom = -1;
    for (int row = 0; row < 4; ++row) {
      const QRect left = geometry(rows[row][0]);
      expectSize(rows[row][0], rows[0][0], 137);
      EXPECT_EQ(left.left(), geometry(rows[0][0]).left()) << rows[row][0];
      EXPECT_GT(left.top(), lastBottom) << rows[row][0];
      if (rows[row][1]) {
        const QRect right = geometry(rows[row][1]);
        expectSize(rows[row][1], rows[0][0], 137);
        EXPECT_EQ(right.top(), left.top()) << rows[row][1];
        EXPECT_EQ(right.left(), geometry(rows[0][1]).left()) << rows[row][1];
        EXPECT_LT(left.right(), right.left());
      }
      lastBottom = left.bottom();
    }
    QFrame* separator = nullptr;
    for (auto* frame : Find<QWidget>(page)->findChildren<QFrame*>()) {
      if (frame->frameShape() == QFrame::HLine) separator = frame;
    }
    ASSERT_NE(separator, nullptr) << page;
    EXPECT_GT(separator->geometry().top(), geometry(rows[1][0]).bottom()) << page;
    EXPECT_LT(separator->geometry().bottom(), geometry(rows[2][0]).top()) << page;
  }
}

// The widgets switched off themselves, not those off only because their parent is.
std::set<const QWidget*> Disabled(const QWidget& window) {
  std::set<const QWidget*> disabled;
  for (const QWidget* widget : window.findChildren<QWidget*>()) {
    const QWidget* parent = widget->parentWidget();
    if (!widget->isEnabled() && parent && parent->isEnabled()) disabled.insert(widget);
  }
  return disabled;
}

TEST_F(MainWindowView, LockReachesTheThreeSetupControlsAndEveryPushButtonOnly) {
  window_->show();
  TfrmMain& f = window_->Form();
  // Some parts are off by themselves (the page tabs' scroll arrows): the lock must leave them be.
  const std::set<const QWidget*> before = Disabled(*window_);

  f.Disable();
  f.Disable();
  std::set<QString> locked;
  for (const QWidget* widget : Disabled(*window_)) {
    if (!before.count(widget)) locked.insert(widget->objectName());
  }
  std::set<QString> expected = {"cbxIn", "cbxOut", "tbSendDelay", "cbBackupPresets"};
  for (const auto& c : kControls) {
    if (c.caption) expected.insert(c.name);
  }
  ASSERT_EQ(expected.size(), 25u);
  EXPECT_EQ(locked, expected);

  // Pages still switch while locked, and the buffer fields still take changes.
  auto* tabs = Find<QTabWidget>("Tabs");
  QTabBar* bar = tabs->tabBar();
  QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(3).center());
  EXPECT_EQ(tabs->currentIndex(), 3);
  EXPECT_EQ(f.ActivePage, 3);
  EXPECT_EQ(f.TabsHelpContext, 1003);
  EXPECT_TRUE(Find<QSpinBox>("spCount")->isEnabled());

  f.Enable();  // the lock does not count
  EXPECT_EQ(Disabled(*window_), before);
}

TEST_F(MainWindowView, OpensOnTheStoredPageAndFollowsTheSetupControls) {
  std::ofstream(dir_ / "quorle.ini") << "[PROGRAM]\nActivePage=4\n";
  window_->Form().FormCreate();
  window_->show();
  auto* tabs = Find<QTabWidget>("Tabs");
  EXPECT_EQ(tabs->currentWidget()->objectName(), "tabMix");
  EXPECT_EQ(window_->Form().TabsHelpContext, 1004);

  auto* in = Find<QComboBox>("cbxIn");
  EXPECT_EQ(testing::Items(in).value(0), "Simulated Andromeda");
  EXPECT_EQ(in->currentIndex(), 0);

  tabs->setCurrentIndex(1);
  auto* delay = Find<QSlider>("tbSendDelay");
  EXPECT_EQ(delay->value(), 15);
  EXPECT_EQ(Find<QLabel>("lblSendDelay")->text(), "15 ms ");
  QTest::keyClick(delay, Qt::Key_PageUp);
  EXPECT_EQ(window_->Form().SendDelay, 25);
  EXPECT_EQ(Find<QLabel>("lblSendDelay")->text(), "25 ms ");
}

TEST_F(MainWindowView, BufferFieldsSteppedByKeysArrowsOrWheelReachThePortAndTheSettings) {
  window_->Form().FormCreate();
  window_->show();
  QApplication::setActiveWindow(window_.get());
  Find<QTabWidget>("Tabs")->setCurrentIndex(1);
  const TfrmMain& f = window_->Form();
  auto* size = Find<QSpinBox>("spSize");
  auto* count = Find<QSpinBox>("spCount");

  // Stepped while the field has focus, as after a click into it.
  size->setFocus();
  ASSERT_TRUE(QTest::qWaitFor([&] { return size->hasFocus(); }));
  QTest::keyClick(size, Qt::Key_Up);
  EXPECT_EQ(f.MidiIn.SysexBufferSize(), 4096 + 128);
  QTest::mouseClick(size, Qt::LeftButton, {}, QPoint(size->width() - 4, size->height() / 4));
  EXPECT_EQ(f.MidiIn.SysexBufferSize(), 4096 + 2 * 128);
  QWheelEvent wheel(QPointF(size->rect().center()), size->mapToGlobal(size->rect().center()),
                    QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                    false);
  QApplication::sendEvent(size, &wheel);
  EXPECT_EQ(f.MidiIn.SysexBufferSize(), 4096 + 3 * 128);
  EXPECT_TRUE(f.MidiIn.IsOpen());

  count->setFocus();
  ASSERT_TRUE(QTest::qWaitFor([&] { return count->hasFocus(); }));
  QTest::keyClick(count, Qt::Key_Up);
  EXPECT_EQ(f.MidiIn.SysexBufferCount(), 5);
  EXPECT_EQ(f.spCountText, "5");

  window_->close();
  std::ifstream ini(dir_ / "quorle.ini");
  const std::string text((std::istreambuf_iterator<char>(ini)), std::istreambuf_iterator<char>());
  EXPECT_THAT(text, HasSubstr("BufferCount=5\nBufferSize=4480\n"));
}

TEST_F(MainWindowView, StatusBarShowsFileNamesAndInstrumentNamesAlike) {
  window_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  auto* stat = Find<QLabel>("Stat");
  window_->Form().SetStatus(" caf\xC3\xA9.syx saved to disk");
  EXPECT_EQ(stat->text(), QString(" caf") + QChar(0xE9) + ".syx saved to disk");
  // A name byte that is no UTF-8 is shown as the single character it stands for.
  window_->Form().SetStatus("Program \"Caf\xE9\" sent");
  EXPECT_EQ(stat->text(), QString("Program \"Caf") + QChar(0xE9) + "\" sent");
  window_->Form().SetStatus("");
  EXPECT_EQ(stat->text(), "");

  // Too long for the bar: its beginning there, the whole text as the bar's tooltip.
  const QString text =
      "Bank \"Andromeda Programs of the winter tour, second set.syx\" saved to disk";
  window_->Form().SetStatus(" " + text.toStdString());
  EXPECT_EQ(stat->toolTip(), text);
  EXPECT_TRUE(stat->text().startsWith(" Bank \"Andromeda Programs")) << stat->text().toStdString();
  EXPECT_LE(stat->fontMetrics().horizontalAdvance(stat->text()), stat->contentsRect().width());
}

// Each transfer button reaches its own operation: the first thing that operation asks for tells
// which one ran. The folders tell the three file choices apart.
TEST_F(MainWindowView, EachTransferButtonRunsItsOwnOperation) {
  TfrmMain& f = window_->Form();
  f.ProgramPath = "/program-files";
  f.MixPath = "/mix-files";
  f.GlobalPath = "/global-files";
  std::vector<FileChoice> choices;
  window_->fileChooserForTests = [&](const FileChoice& choice) -> std::optional<std::string> {
    choices.push_back(choice);
    return std::nullopt;
  };

  struct Asked {
    QString form;
    bool presetsEnabled = false;
    QString text;
  };
  auto press = [&](const char* name) {
    Asked asked;
    ModalAnswerer answerer;
    answerer.Then([&](QWidget* modal) {
      asked.form = modal->objectName();
      if (auto* preset = modal->findChild<QRadioButton*>("rbPreset1")) {
        asked.presetsEnabled = preset->isEnabled();
      }
      if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        asked.text = box->text();
        box->accept();
      } else {
        static_cast<QDialog*>(modal)->reject();
      }
    });
    Click(Find<QPushButton>(name));
    EXPECT_EQ(answerer.Stuck(), 0);
    return asked;
  };

  Asked asked = press("btnGetProgram");
  EXPECT_EQ(asked.form, "frmSelProgram");
  EXPECT_TRUE(asked.presetsEnabled);
  asked = press("btnRenameProgram");
  EXPECT_EQ(asked.form, "frmSelProgram");
  EXPECT_FALSE(asked.presetsEnabled);
  asked = press("btnGetMix");
  EXPECT_EQ(asked.form, "frmSelMix");
  EXPECT_TRUE(asked.presetsEnabled);
  asked = press("btnRenameMix");
  EXPECT_EQ(asked.form, "frmSelMix");
  EXPECT_FALSE(asked.presetsEnabled);
  asked = press("btnInitMix");  // no "Default Mix.syx" in this program folder
  EXPECT_THAT(asked.text.toStdString(), HasSubstr("Default Mix.syx is missing."));

  {
    // Return on the focused button presses it, as Space does.
    auto* tabs = Find<QTabWidget>("Tabs");
    tabs->setCurrentWidget(tabs->findChild<QWidget*>("tabProgram"));
    QApplication::setActiveWindow(window_.get());
    auto* button = Find<QPushButton>("btnGetProgram");
    button->setFocus();
    QString form;
    ModalAnswerer answerer;
    answerer.Then([&](QWidget* modal) {
      form = modal->objectName();
      static_cast<QDialog*>(modal)->reject();
    });
    QTest::keyClick(button, Qt::Key_Return);
    EXPECT_TRUE(WaitUntil([&] { return answerer.AllAnswered(); }));
    EXPECT_EQ(form, "frmSelProgram");
  }

  asked = press("btnGetBank");
  EXPECT_EQ(asked.form, "frmSplitBank");
  EXPECT_TRUE(asked.presetsEnabled);
  asked = press("btnGetMixBank");
  EXPECT_EQ(asked.form, "frmSplitMixBank");
  EXPECT_TRUE(asked.presetsEnabled);

  ASSERT_TRUE(choices.empty());
  f.BankPath = "/bank-files";
  f.MixBankPath = "/mix-bank-files";
  for (const char* name :
       {"btnSendProgram", "btnSendMix", "btnSendGlobal", "btnSendBank", "btnSendMixBank"}) {
    EXPECT_EQ(press(name).form, "") << name;
  }
  ASSERT_EQ(choices.size(), 5u);
  EXPECT_EQ(choices[0].folder, "/program-files");
  EXPECT_EQ(choices[1].folder, "/mix-files");
  EXPECT_EQ(choices[2].folder, "/global-files");
  EXPECT_EQ(choices[3].folder, "/bank-files");
  EXPECT_EQ(choices[4].folder, "/mix-bank-files");
  for (const auto& choice : choices) EXPECT_EQ(choice.mode, FileChoice::Mode::Open);

  // Backup names a new folder, Restore picks one; the box says whether presets go along.
  Click(Find<QCheckBox>("cbBackupPresets"));
  EXPECT_TRUE(f.cbBackupPresetsChecked);
  EXPECT_EQ(press("btnBackup").form, "");
  EXPECT_EQ(press("btnRestore").form, "");
  ASSERT_EQ(choices.size(), 7u);
  EXPECT_EQ(choices[5].mode, FileChoice::Mode::NewFolder);
  EXPECT_THAT(choices[5].fileName, ::testing::StartsWith("Andromeda Backup "));
  EXPECT_EQ(choices[6].mode, FileChoice::Mode::Folder);
  choices.resize(5);

  // Split and rename of whole banks first ask which bank: the split with the fetch's chooser.
  const std::pair<const char*, const char*> banks[] = {{"btnSplitProgramBank", "frmSplitBank"},
                                                       {"btnRenameProgBank", "frmSelBank"},
                                                       {"btnSplitMixBank", "frmSplitMixBank"},
                                                       {"btnRenameMixBank", "frmSelBank"}};
  for (const auto& [name, form] : banks) EXPECT_EQ(press(name).form, form) << name;
  EXPECT_EQ(choices.size(), 5u);
  EXPECT_TRUE(f.ControlsEnabled());
}

}  // namespace
}  // namespace quorle
