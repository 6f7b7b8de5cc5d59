#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QDialog>
#include <QHelpEngineCore>
#include <QHelpLink>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextBrowser>
#include <QToolButton>
#include <cstdlib>

#include "QtTestSupport.h"
#include "app/ProgramFiles.h"
#include "qt/ComposeBankWindow.h"
#include "qt/LibraryWindow.h"
#include "qt/QtHelpViewer.h"

namespace quorle {
namespace {

using testing::Click;
using testing::ModalAnswerer;
using testing::WaitUntil;

std::filesystem::path BuiltHelp() {
  const char* dir = std::getenv("QUORLE_BIN_DIR");
  const std::filesystem::path bin =
      dir ? std::filesystem::path(dir)
          : std::filesystem::path(RunningProgramPath()).parent_path().parent_path() / "bin";
  return bin / "quorle.qch";
}

TEST(CompiledHelp, HoldsAPageForEachHelpContext) {
  QTemporaryDir collection;
  QHelpEngineCore engine(collection.filePath("test.qhc"));
  engine.setReadOnly(false);
  ASSERT_TRUE(engine.setupData());
  ASSERT_TRUE(engine.registerDocumentation(QString::fromStdString(BuiltHelp().string())))
      << engine.error().toStdString();
  for (int context = 1000; context <= 1007; ++context) {
    const QList<QHelpLink> links = engine.documentsForIdentifier(QString::number(context));
    ASSERT_EQ(links.size(), 1) << context;
    const QString page = QString::fromUtf8(engine.fileData(links.front().url));
    EXPECT_GT(page.size(), 800) << context << " is a real page";
    EXPECT_TRUE(page.contains("<title>")) << context;
  }
}

class HelpWindow : public testing::WindowTest {
 protected:
  void Start(bool withHelp) {
    if (withHelp) std::filesystem::copy_file(BuiltHelp(), dir_ / "quorle.qch");
    window_->Form().FormCreate();
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  }
  QString Shown() { return window_->HelpView().ShownTopic().fileName(); }
};

TEST_F(HelpWindow, HelpKeyOpensTheTopicOfThePageOrTabsAndCloseClosesIt) {
  Start(true);
  auto* tabs = Find<QTabWidget>("Tabs");
  tabs->setCurrentIndex(3);
  auto* button = Find<QPushButton>("btnGetProgram");
  button->setFocus();
  QTest::keyClick(button, Qt::Key_F1);
  ASSERT_TRUE(WaitUntil([&] { return !Shown().isEmpty(); }));
  EXPECT_EQ(Shown(), "program.html");
  QWidget* help = window_->HelpView().Window();
  ASSERT_NE(help, nullptr);
  EXPECT_TRUE(help->isVisible());
  EXPECT_TRUE(help->findChild<QTextBrowser*>()->toPlainText().contains("Rename Bank"));

  tabs->setCurrentIndex(0);
  tabs->setCurrentIndex(4);
  tabs->tabBar()->setFocus();
  QTest::keyClick(tabs->tabBar(), Qt::Key_F1);
  EXPECT_TRUE(WaitUntil([&] { return Shown() == "mix.html"; })) << Shown().toStdString();

  window_->close();
  EXPECT_FALSE(help->isVisible());
}

TEST_F(HelpWindow, HelpKeyInTheLibraryOpensItsTopicAndInTheComposerThePartOnComposing) {
  Start(true);
  LibraryWindow* library = window_->ShowLibrary();
  QTest::keyClick(library->findChild<QLineEdit*>("eSearch"), Qt::Key_F1);
  EXPECT_EQ(Shown(), "library.html");
  QWidget* help = window_->HelpView().Window();
  ASSERT_NE(help, nullptr);
  EXPECT_TRUE(help->isVisible());
  EXPECT_TRUE(help->findChild<QTextBrowser*>()->toPlainText().contains("Put Back"));

  ComposeBankWindow* composer = window_->ComposeBank(kMixKind);
  QTest::keyClick(composer->findChild<QPushButton*>("btnOpenFile"), Qt::Key_F1);
  EXPECT_EQ(Shown(), "library.html");
  EXPECT_EQ(window_->HelpView().ShownTopic().fragment(), "compose");
}

// Clicks the first link to href in the topic shown, as a user would.
void ClickLink(QTextBrowser* browser, const QString& href) {
  QTextDocument* document = browser->document();
  for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      const QTextFragment fragment = it.fragment();
      if (fragment.charFormat().anchorHref() != href) continue;
      QTextCursor cursor(document);
      cursor.setPosition(fragment.position() + fragment.length() / 2);
      browser->setTextCursor(cursor);
      browser->ensureCursorVisible();
      QTest::mouseClick(browser->viewport(), Qt::LeftButton, {},
                        browser->cursorRect(cursor).center());
      return;
    }
  }
  ADD_FAILURE() << "no link to " << href.toStdString();
}

TEST_F(HelpWindow, LinksOpenTopicsInTheHelpWindowBackAndForwardReturnAndEscapeClosesIt) {
  Start(true);
  Find<QTabWidget>("Tabs")->setCurrentIndex(3);
  QTest::keyClick(Find<QPushButton>("btnGetProgram"), Qt::Key_F1);
  ASSERT_TRUE(WaitUntil([&] { return Shown() == "program.html"; }));
  QWidget* help = window_->HelpView().Window();
  ASSERT_NE(help, nullptr);
  auto* browser = help->findChild<QTextBrowser*>();
  auto* back = help->findChild<QToolButton*>("btnBack");
  auto* forward = help->findChild<QToolButton*>("btnForward");
  ASSERT_TRUE(browser && back && forward);
  EXPECT_FALSE(back->isEnabled());

  ClickLink(browser, "setup.html#nothing");
  EXPECT_EQ(window_->HelpView().ShownTopic().fileName(), "setup.html");
  EXPECT_EQ(window_->HelpView().ShownTopic().fragment(), "nothing");
  Click(back);
  EXPECT_EQ(Shown(), "program.html");
  Click(forward);
  EXPECT_EQ(Shown(), "setup.html");

  QTest::keyClick(browser, Qt::Key_Escape);
  EXPECT_FALSE(help->isVisible());
  EXPECT_TRUE(window_->isVisible());
}

TEST_F(HelpWindow, HelpKeyInADialogOpensItsPagesTopicInAWindowTheDialogDoesNotBlock) {
  Start(true);
  Find<QTabWidget>("Tabs")->setCurrentIndex(4);
  ModalAnswerer answerer;
  answerer.Then([&](QWidget* modal) {
    QTest::keyClick(modal->focusWidget() ? modal->focusWidget() : modal, Qt::Key_F1);
    EXPECT_EQ(Shown(), "mix.html");
    QWidget* help = window_->HelpView().Window();
    ASSERT_NE(help, nullptr);
    EXPECT_EQ(help->parentWidget(), modal);
    static_cast<QDialog*>(modal)->reject();
  });
  Click(Find<QPushButton>("btnGetMix"));
  EXPECT_TRUE(WaitUntil([&] { return answerer.AllAnswered(); }));
  QWidget* help = window_->HelpView().Window();
  ASSERT_NE(help, nullptr);
  EXPECT_EQ(help->parentWidget(), window_.get());
  EXPECT_TRUE(help->isVisible());
}

TEST_F(HelpWindow, WithoutTheCompiledHelpAWarningSaysSoAndTheWindowGoesOn) {
  Start(false);
  QString text;
  ModalAnswerer answerer;
  answerer.Then([&](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->icon(), QMessageBox::Warning);
    text = box->text();
    box->accept();
  });
  QTest::keyClick(Find<QTabWidget>("Tabs")->tabBar(), Qt::Key_F1);
  EXPECT_TRUE(WaitUntil([&] { return answerer.AllAnswered(); }));
  EXPECT_EQ(text, "Quorle Help is not installed on this PC.");
  EXPECT_EQ(window_->HelpView().Window(), nullptr);
  EXPECT_TRUE(window_->isVisible());
}

TEST_F(HelpWindow, AboutPageShowsTheVersionBlocksLinesAndTheLogo) {
  Start(false);
  EXPECT_EQ(Find<QLabel>("lblDescription")->text(), "SysEx Dump Utility for the Alesis Andromeda");
  EXPECT_THAT(Find<QLabel>("lblVersion")->text().toStdString(),
              ::testing::MatchesRegex("Version [0-9.]+  Build [0-9]+"));
  EXPECT_TRUE(Find<QLabel>("lblCopyright")->text().startsWith("Copyright © "));
  EXPECT_EQ(Find<QLabel>("iLogo")->pixmap().size(), QSize(185, 34));
}

}  // namespace
}  // namespace quorle
