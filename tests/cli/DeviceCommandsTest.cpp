#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/CliApp.h"
#include "support/CliFixture.h"

namespace quorle {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

class DeviceCli : public testing::CliFixture {
 protected:
  int Run(std::vector<std::string> args) { return RunCli(std::move(args)); }
};

TEST_F(DeviceCli, DevicesListsWhatInAndOutTakeAndWrongChoicesNameTheValidOnes) {
  ASSERT_EQ(Run({"devices", "--json"}), 0) << err_.str();
  const auto list = nlohmann::json::parse(out_.str());
  ASSERT_EQ(list["outputs"].size(), 1u);
  EXPECT_EQ(list["outputs"][0]["number"], 0);
  EXPECT_EQ(list["outputs"][0]["name"], "Simulated Andromeda");
  EXPECT_EQ(list["inputs"], list["outputs"]);
  EXPECT_FALSE(fs::exists(dir_ / "quorle.ini")) << "listing touches no settings";

  EXPECT_EQ(Run({"--out", "3", "check"}), 1);
  EXPECT_THAT(err_.str(), HasSubstr("Invalid device ID: there is no MIDI output 3."));
  EXPECT_THAT(err_.str(), HasSubstr("The MIDI outputs are: 0 \"Simulated Andromeda\""));
  EXPECT_EQ(Run({"--in", "Nowhere", "check"}), 1);
  EXPECT_THAT(err_.str(), HasSubstr("MIDI Input Device Nowhere not installed"));
  EXPECT_THAT(err_.str(), HasSubstr("The MIDI inputs are: 0 \"Simulated Andromeda\""));
}

TEST_F(DeviceCli, CheckAllNamesThePairWhereAnAndromedaAnswers) {
  // --timeout 0 waits as long as anything does: it must not shrink the listening to nothing.
  for (const char* timeout : {"1", "0"}) {
    ASSERT_EQ(Run({"--timeout", timeout, "--sim-version", "2.11", "check", "--all"}), 0)
        << err_.str();
    EXPECT_EQ(out_.str(),
              "Alesis Andromeda version 2.11: --in 0 \"Simulated Andromeda\" --out 0 \"Simulated "
              "Andromeda\"\n");
  }
}

}  // namespace
}  // namespace quorle
