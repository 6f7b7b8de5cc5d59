#include "sim/SimSettings.h"

#include <gtest/gtest.h>

namespace quorle {
namespace {

TEST(SimSettings, RateTakesWireInstantOrAPositiveNumber) {
  std::string error;
  EXPECT_EQ(ParseSimRate("wire", error), 3125u);
  EXPECT_EQ(ParseSimRate("instant", error), 0u);
  EXPECT_EQ(ParseSimRate("100000", error), 100000u);
  for (const char* bad : {"0", "-5", "+5", "", "fast", "12x", "99999999999999999999", "Wire"}) {
    error.clear();
    EXPECT_FALSE(ParseSimRate(bad, error)) << bad;
    EXPECT_NE(error.find("--sim-rate"), std::string::npos) << bad;
  }
}

TEST(SimSettings, CardBanksAndVersionAreChecked) {
  std::string error;
  EXPECT_EQ(ParseCardBanks("0", error), 0);
  EXPECT_EQ(ParseCardBanks("14", error), 14);
  EXPECT_FALSE(ParseCardBanks("15", error));
  EXPECT_FALSE(ParseCardBanks("-1", error));
  EXPECT_FALSE(ParseCardBanks("two", error));
  EXPECT_EQ(ParseSimVersion("2.05", error), "2.05");
  for (const char* bad : {"2.5", "205", "2.05b", "a.bc", "2,05", ""}) {
    EXPECT_FALSE(ParseSimVersion(bad, error)) << bad;
  }
}

TEST(SimSettings, TakesItsOptionsBeforeTheCommandAndLeavesTheRest) {
  SimSettings s;
  const auto parsed = ParseSimArguments(
      {"--sim-state", "/tmp/a.syx", "--verbose", "--sim-rate=instant", "--sim-gap", "20",
       "--sim-program-card-banks", "0", "--sim-mix-card-banks=14", "--sim-version", "1.23",
       "--sim-seed", "77", "info", "--sim-rate", "wire", "file.syx"},
      s);
  ASSERT_EQ(parsed.error, "");
  EXPECT_TRUE(parsed.stateGiven);
  EXPECT_EQ(s.stateFile, "/tmp/a.syx");
  EXPECT_EQ(s.rate, 0u);
  EXPECT_EQ(s.bankGap.count(), 20);
  EXPECT_EQ(s.programCardBanks, 0);
  EXPECT_EQ(s.mixCardBanks, 14);
  EXPECT_EQ(s.version, "1.23");
  EXPECT_EQ(s.seed, 77u);
  // Behind the command name the options belong to the command.
  EXPECT_EQ(parsed.rest,
            (std::vector<std::string>{"--verbose", "info", "--sim-rate", "wire", "file.syx"}));
}

TEST(SimSettings, RefusesBadOptionsWithAReason) {
  for (const auto& args :
       std::vector<std::vector<std::string>>{{"--sim-rate", "slow"},
                                             {"--sim-rate"},
                                             {"--sim-state", "--sim-rate", "wire"},
                                             {"--sim-state="},
                                             {"--sim-gap", "-1"},
                                             {"--sim-mix-card-banks", "20"},
                                             {"--sim-colour", "red"},
                                             {"--sim-seed", "x"}}) {
    SimSettings s;
    EXPECT_NE(ParseSimArguments(args, s).error, "") << args.front();
  }
}

TEST(SimSettings, FaultsGatherFromSeveralOptionsAndMalformedOnesAreRefused) {
  SimSettings s;
  const auto parsed = ParseSimArguments(
      {"--sim-fault", "drop:3", "--sim-fault=drop:127", "--sim-fault", "wrong-opcode:0",
       "--sim-fault", "short:9", "--sim-fault", "foreign:4", "--sim-fault", "stall:5",
       "--sim-fault", "stall:6:250", "--sim-fault", "slow:700", "--sim-fault", "ignore", "check"},
      s);
  ASSERT_EQ(parsed.error, "");
  EXPECT_EQ(parsed.rest, std::vector<std::string>{"check"});
  const SimFaults& f = s.faults;
  EXPECT_TRUE(f.dropDump.Has(3) && f.dropDump.Has(127) && !f.dropDump.Has(4));
  EXPECT_TRUE(f.wrongOpcodeDump.Has(0));
  EXPECT_TRUE(f.wrongLengthDump.Has(9));
  EXPECT_TRUE(f.foreignBeforeDump.Has(4));
  EXPECT_EQ(f.foreign, SimFaults::Foreign::IdentityReply);
  EXPECT_EQ(f.stallAfter, 6);  // the later stall replaces the earlier one
  EXPECT_EQ(f.stallFor.count(), 250);
  EXPECT_EQ(f.replyDelay.count(), 700);
  EXPECT_TRUE(f.ignoreSingleRequests);

  SimFaults never;
  std::string error;
  ASSERT_TRUE(ParseSimFault("stall:0", never, error));
  EXPECT_EQ(never.stallFor.count(), 0);  // the rest of the bank never comes
  ASSERT_TRUE(ParseSimFault("busy:120", never, error));
  EXPECT_EQ(never.busyAfterStore.count(), 120);
  ASSERT_TRUE(ParseSimFault("lose:5", never, error));
  EXPECT_EQ(never.losePercent, 5);
  EXPECT_EQ(never.loseSeed, 1u);
  ASSERT_TRUE(ParseSimFault("lose:0.5:42", never, error));
  EXPECT_EQ(never.losePercent, 0.5);
  EXPECT_EQ(never.loseSeed, 42u);

  for (const char* bad : {"",          "drop",        "drop:",   "drop:128", "drop:-1",
                          "drop:+1",   "drop:1:2",    "Drop:1",  "short:x",  "stall",
                          "stall:1:0", "stall:1:2:3", "slow",    "slow:-5",  "slow:600001",
                          "ignore:1",  "late:5",      "drop 3",  "busy",     "busy:0",
                          "lose",      "lose:101",    "lose:-1", "lose:5:x", "lose:5:1:2"}) {
    SimFaults faults;
    error.clear();
    EXPECT_FALSE(ParseSimFault(bad, faults, error)) << bad;
    EXPECT_NE(error.find("--sim-fault"), std::string::npos) << bad;
    EXPECT_EQ(faults, SimFaults{}) << bad;
  }
  SimSettings refused;
  EXPECT_NE(ParseSimArguments({"--sim-fault", "drop:200", "check"}, refused).error, "");
}

TEST(SimSettings, EnvironmentNamesTheStateFileUnlessTheCommandLineDid) {
  SimSettings s;
  ApplySimEnvironment(s, "/tmp/env.syx", false);
  EXPECT_EQ(s.stateFile, "/tmp/env.syx");
  s.stateFile = "/tmp/cli.syx";
  ApplySimEnvironment(s, "/tmp/env.syx", true);
  EXPECT_EQ(s.stateFile, "/tmp/cli.syx");
  SimSettings unset;
  ApplySimEnvironment(unset, nullptr, false);
  ApplySimEnvironment(unset, "", false);
  EXPECT_TRUE(unset.stateFile.empty());
  EXPECT_EQ(unset.rate, SimSettings::kWireRate);
}

}  // namespace
}  // namespace quorle
