#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "help/HelpViewer.h"
#include "help/THookHelpSystem.h"
#include "support/TestFolder.h"

namespace quorle {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

class NoViewer : public HelpViewer {
 public:
  bool ShowTopic(const std::string&, int context) override {
    last = context;
    return true;
  }
  void CloseAll() override {}
  int last = 0;
};

class HelpTrace : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = testing::FreshTestFolder("help"); }
  void TearDown() override { fs::remove_all(dir_); }

  static std::vector<std::string> Lines(const fs::path& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  void OldTrace() { std::ofstream(dir_ / "HHDebug.txt") << "from the last run\n"; }

  fs::path dir_;
  NoViewer viewer_;
};

TEST_F(HelpTrace, TraceSwitchedOnByArgumentWritesOneLinePerHelpCall) {
  OldTrace();
  {
    THookHelpSystem hook("quorle.qch", "", 0, &viewer_, {}, THelpTrace({"x", "/DeBuG"}, dir_));
    EXPECT_FALSE(hook.HelpHandler(THookHelpSystem::kSetPopupPosition, {0, {5, 7}}));
    EXPECT_FALSE(hook.HelpHandler(THookHelpSystem::kShowContext, {1003, {}}));
    EXPECT_FALSE(hook.HelpHandler(THookHelpSystem::kShowContextPopup, {1001, {}}));
    EXPECT_TRUE(hook.HelpHandler(2, {}));  // anything else goes on to the default handling
    EXPECT_EQ(viewer_.last, 1001);
  }
  EXPECT_THAT(Lines(dir_ / "HHDebug.txt"),
              ElementsAre("help call: command 13, popup position 5,7",
                          "help call: command 1, context 1003: topic shown from quorle.qch",
                          "help call: command 8, context 1001: topic shown from quorle.qch",
                          "help call: command 2, left to the default handling"));
}

TEST_F(HelpTrace, OldTraceIsDeletedAtEveryStartAndDebugFileSwitchesTracingOn) {
  OldTrace();
  THelpTrace off({"-debugging"}, dir_);
  EXPECT_FALSE(off.On());
  EXPECT_FALSE(fs::exists(dir_ / "HHDebug.txt"));

  std::ofstream(dir_ / "debug.debug").flush();
  std::vector<std::string> warnings;
  THookHelpSystem hook(
      "quorle.qch", "", 0, nullptr, [&](const std::string& text) { warnings.push_back(text); },
      THelpTrace({}, dir_));
  hook.HelpHandler(THookHelpSystem::kShowContext, {1000, {}});
  EXPECT_THAT(warnings, ElementsAre("Quorle Help is not installed on this PC."));
  EXPECT_THAT(Lines(dir_ / "HHDebug.txt"),
              ElementsAre("help call: command 1, context 1000: Quorle Help is not installed on "
                          "this PC."));
}

TEST_F(HelpTrace, AProgramFolderThatCannotBeWrittenTracesIntoTheTemporaryFolder) {
  THelpTrace trace({"-DEBUG"}, dir_ / "missing");
  EXPECT_EQ(trace.FilePath(), fs::temp_directory_path() / "HHDebug.txt");
  trace.Line("into the temporary folder");
  EXPECT_THAT(Lines(trace.FilePath()).back(), HasSubstr("into the temporary folder"));
  fs::remove(trace.FilePath());
}

}  // namespace
}  // namespace quorle
