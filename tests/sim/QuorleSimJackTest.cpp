// quorle-sim as a separate program on a JACK server, reached through the ports of the application
// over RtMidiService, as the instrument would be.
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "midi/JackServer.h"
#include "midi/MidiDispatcher.h"
#include "midi/RtMidiService.h"
#include "midi/TMidiInput.h"
#include "midi/TMidiOutput.h"
#include "protocol/DumpName.h"
#include "sim/SimulatedAndromeda.h"
#include "support/SimProcess.h"

namespace quorle {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kPatience = 60s;

class QuorleSimJackTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
#if !defined(__SANITIZE_THREAD__)
    server_ = new test::JackServer();
#endif
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }

  void SetUp() override {
#if defined(__SANITIZE_THREAD__)
    // Instrumented, a JACK client misses its cycles and JACK drops what it wrote in them; and
    // ThreadSanitizer cannot see into libjack. The default and asan builds run these tests.
    GTEST_SKIP() << "JACK clients lose messages under ThreadSanitizer";
#endif
    if (!server_->Ready()) {
      if (std::getenv("CI")) FAIL() << server_->Problem();
      GTEST_SKIP() << "no JACK server for this test: " << server_->Problem();
    }
    ::setenv("QUORLE_MIDI_API", "jack", 1);
    folder_ = fs::temp_directory_path() / ("quorle-sim-jack-" + std::to_string(::getpid()));
    fs::create_directories(folder_);
    RtMidiService::Options options;
    options.api = RtMidiService::Api::Jack;
    options.clientName = "qsimtest" + std::to_string(::getpid());
    options.bytesPerSecond = 100000;
    service_ = std::make_unique<RtMidiService>(options);
  }

  void TearDown() override {
    Disconnect();
    service_.reset();
    if (sim_) sim_.reset();
    fs::remove_all(folder_);
  }

  void StartSim(std::vector<std::string> args) {
    sim_ = std::make_unique<test::SimProcess>(args, folder_ / "quorle-sim.log");
    ASSERT_TRUE(sim_->Running());
  }

  // Opens both ports on the simulator's pair once the MIDI system lists it.
  void Connect() {
    std::string inName, outName;
    const auto deadline = Clock::now() + kPatience;
    while (Clock::now() < deadline && (inName.empty() || outName.empty())) {
      for (unsigned i = 0; i < service_->InGetNumDevs(); ++i) {
        MidiInCaps caps;
        if (service_->InGetDevCaps(i, caps) == MMSYSERR_NOERROR &&
            caps.szPname.find(SimulatedAndromeda::kDeviceName) != std::string::npos) {
          inName = caps.szPname;
        }
      }
      for (unsigned i = 0; i < service_->OutGetNumDevs(); ++i) {
        MidiOutCaps caps;
        if (service_->OutGetDevCaps(i, caps) == MMSYSERR_NOERROR &&
            caps.szPname.find(SimulatedAndromeda::kDeviceName) != std::string::npos) {
          outName = caps.szPname;
        }
      }
      if (inName.empty() || outName.empty()) std::this_thread::sleep_for(50ms);
    }
    ASSERT_FALSE(inName.empty() || outName.empty()) << "quorle-sim is not listed:\n" << sim_->Log();

    in_ = std::make_unique<TMidiInput>(*service_, dispatcher_);
    in_->SetProductName(inName);
    in_->SetSysexBufferCount(4);
    in_->SetSysexBufferSize(4096);
    in_->SetOnMidiInput([this](TMidiInput& port) {
      auto event = port.FetchEvent();
      if (!event || event->SysexSize == 0) return;
      partial_.insert(partial_.end(), event->SysexData.begin(), event->SysexData.end());
      if (partial_.back() == kSysexEnd) received_.push_back(std::move(partial_)), partial_.clear();
    });
    in_->Open();
    ASSERT_TRUE(in_->IsOpen()) << "input error " << in_->Error();
    in_->Start();
    out_ = std::make_unique<TMidiOutput>(*service_, dispatcher_);
    out_->SetProductName(outName);
    ASSERT_TRUE(out_->Open()) << "output error " << out_->Error();
  }

  void Disconnect() {
    if (out_ && out_->IsOpen()) {
      dispatcher_.DispatchUntil([&] { return out_->MessagesInFlight() == 0; }, kPatience);
    }
    out_.reset();
    in_.reset();
  }

  // Sends a request until its answer, the n-th message, comes: a dump dropped as damaged after an
  // xrun of a loaded machine is asked for again, as Quorle asks.
  bool Ask(const Bytes& request, std::size_t n) {
    for (int attempt = 0; attempt < 3; ++attempt) {
      const std::size_t losses = in_->InputLosses();
      out_->SendLong(request);
      if (!dispatcher_.DispatchUntil(
              [&] { return received_.size() >= n || in_->InputLosses() != losses; }, kPatience)) {
        return false;
      }
      if (received_.size() >= n) return true;
    }
    return false;
  }

  bool WaitFor(std::size_t n) {
    return dispatcher_.DispatchUntil([&] { return received_.size() >= n; }, kPatience);
  }

  static test::JackServer* server_;
  fs::path folder_;
  std::unique_ptr<test::SimProcess> sim_;
  MidiDispatcher dispatcher_;
  std::unique_ptr<RtMidiService> service_;
  std::unique_ptr<TMidiInput> in_;
  std::unique_ptr<TMidiOutput> out_;
  std::vector<Bytes> received_;
  Bytes partial_;
};

test::JackServer* QuorleSimJackTest::server_ = nullptr;

TEST_F(QuorleSimJackTest, AnswersIdentityAndAWholeProgramBankInOrder) {
  const fs::path midiLog = folder_ / "midi.log";
  StartSim({"--sim-rate", "100000", "--sim-seed", "7", "--sim-version", "2.07", "--midi-log",
            midiLog.string()});
  ASSERT_NO_FATAL_FAILURE(Connect());
  out_->SendLong(IdentityRequest());
  ASSERT_TRUE(WaitFor(1)) << sim_->Log();
  const Identity id = RecogniseIdentityReply(received_[0]);
  EXPECT_EQ(id.result, IdentityResult::Andromeda);
  EXPECT_EQ(id.version, "2.07");

  // A dump dropped as damaged after an xrun of a loaded machine is counted; every other one
  // arrives whole and in order.
  received_.clear();
  const std::size_t losses = in_->InputLosses();
  out_->SendLong(BankDumpRequest(kProgramKind, 0));
  const auto dropped = [&] { return in_->InputLosses() - losses; };
  ASSERT_TRUE(
      dispatcher_.DispatchUntil([&] { return received_.size() + dropped() >= 128; }, kPatience))
      << received_.size() << " dumps arrived\n"
      << sim_->Log();
  EXPECT_LE(dropped(), 8u);
  SimSettings same;
  same.seed = 7;
  const SimulatedAndromeda expected(same);
  int entry = 0;
  for (const Bytes& dump : received_) {
    while (entry < 128 && dump != expected.Dump(kProgramKind, 0, entry)) ++entry;
    ASSERT_LT(entry++, 128) << "a dump out of order or not whole";
  }
  Disconnect();
  EXPECT_EQ(sim_->Stop(SIGTERM), 0) << sim_->Log();

  // Its MIDI log: the two requests taken, the identity reply and the 128 dumps sent.
  std::ifstream in(midiLog);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 131u);
  EXPECT_NE(lines[0].find(" < \"Simulated Andromeda\" 6 F0 7E 7F 06 01 F7"), std::string::npos);
  EXPECT_NE(lines[1].find(" > \"Simulated Andromeda\" 17 F0 7E"), std::string::npos);
  EXPECT_NE(lines[2].find(" < \"Simulated Andromeda\" 8 F0 00 00 0E 1D 0A 00 F7"),
            std::string::npos);
}

TEST_F(QuorleSimJackTest, KeepsWhatItIsSentAcrossARestart) {
  const std::string state = (folder_ / "state.syx").string();
  StartSim({"--sim-rate", "100000", "--sim-state", state});
  ASSERT_NO_FATAL_FAILURE(Connect());
  ASSERT_TRUE(Ask(DumpRequest(kMixKind, 1, 20), 1)) << sim_->Log();
  Bytes mix = RenameDump(kMixKind, received_[0], "Kept: over/JACK");
  AddressDump(mix, 0, 20);
  out_->SendLong(mix);
  // Asked back on the same line, it has been stored once the answer comes.
  ASSERT_TRUE(Ask(DumpRequest(kMixKind, 0, 20), 2)) << sim_->Log();
  EXPECT_EQ(received_[1], mix);
  Disconnect();
  EXPECT_EQ(sim_->Stop(SIGINT), 0) << sim_->Log();

  received_.clear();
  StartSim({"--sim-rate", "100000", "--sim-state", state});
  ASSERT_NO_FATAL_FAILURE(Connect());
  ASSERT_TRUE(Ask(DumpRequest(kMixKind, 0, 20), 1)) << sim_->Log();
  EXPECT_EQ(received_[0], mix);
  Disconnect();
  EXPECT_EQ(sim_->Stop(SIGTERM), 0) << sim_->Log();
}

TEST_F(QuorleSimJackTest, RefusesBadOptionsAndADamagedStateFile) {
  StartSim({"--sim-rate", "fast"});
  EXPECT_EQ(sim_->Stop(0), 2);
  EXPECT_NE(sim_->Log().find("--sim-rate"), std::string::npos);

  const fs::path state = folder_ / "broken.syx";
  ASSERT_TRUE(WriteFileAtomically(state, Bytes{0xF0, 0x00, 0x00}).ok);
  StartSim({"--sim-state", state.string()});
  EXPECT_EQ(sim_->Stop(0), 1);
  EXPECT_NE(sim_->Log().find("broken.syx"), std::string::npos) << sim_->Log();
  Bytes content;
  ASSERT_TRUE(ReadWholeFile(state, content).ok);
  EXPECT_EQ(content, (Bytes{0xF0, 0x00, 0x00}));
}

}  // namespace
}  // namespace quorle
