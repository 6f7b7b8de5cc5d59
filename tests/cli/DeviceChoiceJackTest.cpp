// Which instrument a command reaches when a private JACK server holds two of them (two quorle-sim
// processes) beside the in-process simulator.
#include <signal.h>

#include <gmock/gmock.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "midi/JackServer.h"
#include "support/CliFixture.h"
#include "support/SimProcess.h"

namespace quorle {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;
using namespace std::chrono_literals;

class DeviceChoiceJackTest : public testing::CliFixture {
 protected:
  static void SetUpTestSuite() { server_ = new test::JackServer(); }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  void SetUp() override {
    CliFixture::SetUp();
    if (!server_->Ready()) {
      if (std::getenv("CI")) FAIL() << server_->Problem();
      GTEST_SKIP() << "no JACK server for this test: " << server_->Problem();
    }
    ::setenv("QUORLE_MIDI_API", "jack", 1);
  }
  void TearDown() override {
    ::setenv("QUORLE_MIDI_API", "none", 1);
    CliFixture::TearDown();
  }

  struct Ports {
    std::vector<std::string> ins, outs;
  };
  // The device lists as the command line shows them.
  Ports Devices() {
    EXPECT_EQ(RunCli({"devices", "--json"}), 0) << err_.str();
    const auto json = nlohmann::json::parse(out_.str());
    Ports ports;
    for (const auto& d : json["inputs"]) ports.ins.push_back(d["name"]);
    for (const auto& d : json["outputs"]) ports.outs.push_back(d["name"]);
    return ports;
  }
  // Waits until the quorle-sim ports on the server number n, in and out.
  Ports WaitForSims(std::size_t n) {
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (true) {
      Ports all = Devices();
      Ports sims;
      for (const auto& name : all.ins)
        if (name.find("quorle-sim") != std::string::npos) sims.ins.push_back(name);
      for (const auto& name : all.outs)
        if (name.find("quorle-sim") != std::string::npos) sims.outs.push_back(name);
      if ((sims.ins.size() == n && sims.outs.size() == n) ||
          std::chrono::steady_clock::now() > deadline) {
        return all;
      }
      std::this_thread::sleep_for(100ms);
    }
  }
  static int Place(const std::vector<std::string>& names, const std::string& name) {
    return static_cast<int>(std::find(names.begin(), names.end(), name) - names.begin());
  }
  static std::string NewName(const std::vector<std::string>& now,
                             const std::vector<std::string>& before) {
    for (const auto& name : now)
      if (name.find("quorle-sim") != std::string::npos && Place(before, name) == int(before.size()))
        return name;
    return "";
  }

  static test::JackServer* server_;
};

test::JackServer* DeviceChoiceJackTest::server_ = nullptr;

TEST_F(DeviceChoiceJackTest, ACommandReachesTheChosenInstrumentByNameOrNone) {
  // Each starts alone: a client that comes and goes while another starts can leave that one stuck.
  test::SimProcess first({"--sim-rate", "100000", "--sim-version", "2.01"}, dir_ / "first.log");
  ASSERT_TRUE(first.WaitReady()) << first.Log();
  const Ports one = WaitForSims(1);
  test::SimProcess second({"--sim-rate", "100000", "--sim-version", "2.02"}, dir_ / "second.log");
  ASSERT_TRUE(second.WaitReady()) << second.Log();
  const Ports two = WaitForSims(2);
  const std::string secondIn = NewName(two.ins, one.ins), secondOut = NewName(two.outs, one.outs);
  const std::string firstIn = NewName(two.ins, {secondIn}),
                    firstOut = NewName(two.outs, {secondOut});
  ASSERT_FALSE(secondIn.empty() || secondOut.empty() || firstIn.empty() || firstOut.empty());

  // The second instrument was chosen by name, but its numbers now name the first one.
  std::ofstream(dir_ / "quorle.ini")
      << "[MIDI]\nInputDeviceID=" << Place(two.ins, firstIn) << "\nInputDeviceName=" << secondIn
      << "\nOutputDeviceID=" << Place(two.outs, firstOut) << "\nOutputDeviceName=" << secondOut
      << "\nReplyTimeout=5\n";
  // JACK on a busy machine may drop a message without a word; a check that heard nothing is tried
  // again, while an answer from the wrong instrument fails at once.
  int code = 3;
  for (int attempt = 0; attempt < 3 && code == 3; ++attempt) code = RunCli({"check"});
  EXPECT_EQ(code, 0) << err_.str();
  EXPECT_THAT(out_.str(), HasSubstr("Alesis Andromeda version 2.02 found"));

  // A rehearsal reaches the simulator alone, whatever the settings choose.
  EXPECT_EQ(RunCli({"--sim-version", "9.99", "check"}), 0) << err_.str();
  EXPECT_THAT(out_.str(), HasSubstr("Alesis Andromeda version 9.99 found"));

  // Unplugged, the chosen instrument is named, and nothing goes to the one at its number.
  second.Stop(SIGTERM);
  WaitForSims(1);
  EXPECT_EQ(RunCli({"check"}), 1);
  EXPECT_THAT(err_.str(), HasSubstr("The MIDI device \"" + secondOut + "\" is not connected"));
  EXPECT_THAT(out_.str(), Not(HasSubstr("version 2.01")));
  // The choice is kept for when it comes back.
  std::ifstream ini(dir_ / "quorle.ini");
  const std::string settings((std::istreambuf_iterator<char>(ini)), {});
  EXPECT_THAT(settings, HasSubstr("OutputDeviceName=" + secondOut));
}

}  // namespace
}  // namespace quorle
