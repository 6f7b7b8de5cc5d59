#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/TVersionInfo.h"
#include "help/HelpViewer.h"
#include "support/WindowFixture.h"

namespace quorle {
namespace {

using ::testing::ElementsAre;

// A help window that records the topics it was asked for.
class RecordingViewer : public HelpViewer {
 public:
  bool installed = true;
  std::vector<int> shown;
  int closed = 0;
  bool ShowTopic(const std::string& file, int context) override {
    EXPECT_EQ(file, "quorle.qch");
    if (installed) shown.push_back(context);
    return installed;
  }
  void CloseAll() override { ++closed; }
};

class ContextHelp : public testing::WindowFixture {
 protected:
  TfrmMain& StartWithHelp() {
    host_.helpViewer = &viewer_;
    return Start();
  }
  // What the Qt window passes for a focused control: its name and its parents' outwards.
  static std::vector<std::string> Button(const char* name, const char* page) {
    return {name, page, "qt_tabwidget_stackedwidget", "Tabs", "frmMain"};
  }
  const std::vector<std::string> tabBar_ = {"qt_tabwidget_tabbar", "Tabs", "frmMain"};

  RecordingViewer viewer_;
};

TEST_F(ContextHelp, HelpKeyOpensTheTopicOfTheNearestControlWithAContext) {
  TfrmMain& f = StartWithHelp();
  f.HelpRequested(Button("btnGetProgram", "tabProgram"), {10, 20});
  EXPECT_EQ(f.HelpHook->PopupPosition().y, 20);
  f.UserSelectsPage(0);
  f.HelpRequested(tabBar_, {});
  f.UserSelectsPage(4);
  f.HelpRequested(tabBar_, {});
  f.HelpRequested({"frmMain"}, {});
  // A dialog's controls lie on the page shown.
  f.HelpRequested({"rbCard", "frmSelMix", "tabMix", "frmMain"}, {});
  EXPECT_THAT(viewer_.shown, ElementsAre(1003, 1000, 1004, 1005, 1004));
  EXPECT_TRUE(host_.messages.empty());

  // The close sequence closes the help windows.
  f.FormClose();
  EXPECT_GE(viewer_.closed, 1);
  EXPECT_EQ(f.HelpHook, nullptr);
}

TEST_F(ContextHelp, WithoutCompiledHelpAWarningIsShownAndTheProgramGoesOn) {
  viewer_.installed = false;
  TfrmMain& f = StartWithHelp();
  f.HelpRequested(Button("btnCheck", "tabSetup"), {});
  ASSERT_EQ(host_.messages.size(), 1u);
  EXPECT_EQ(host_.messages[0].icon, MessageIcon::Warning);
  EXPECT_EQ(host_.messages[0].text, "Quorle Help is not installed on this PC.");
  f.btnCheckClick();
  EXPECT_TRUE(WaitFor([&] { return host_.messages.size() == 2; }));
  EXPECT_EQ(host_.messages[1].text, "Alesis Andromeda version 2.05 found");
}

TEST_F(ContextHelp, AboutPageShowsTheProgramsVersionBlock) {
  TfrmMain& f = StartWithHelp();
  EXPECT_EQ(f.lblDescriptionCaption, "SysEx Dump Utility for the Alesis Andromeda");
  EXPECT_EQ(f.lblVersionCaption, VersionLine(f.VersionInfo));
  EXPECT_THAT(f.lblVersionCaption, ::testing::MatchesRegex("Version [0-9.]+  Build [0-9]+"));
  EXPECT_THAT(f.lblCopyrightCaption, ::testing::StartsWith("Copyright © "));
}

}  // namespace
}  // namespace quorle
