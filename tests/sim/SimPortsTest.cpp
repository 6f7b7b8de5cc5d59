// The simulated Andromeda through the ports the application uses, over the in-process service.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "midi/MidiDispatcher.h"
#include "midi/TMidiInput.h"
#include "midi/TMidiOutput.h"
#include "midi/VirtualMidiService.h"
#include "protocol/DumpName.h"
#include "sim/VirtualAndromeda.h"

namespace quorle {
namespace {

using namespace std::chrono_literals;

constexpr auto kLimit = 20s;
// Ten times the wire: fast enough for tests, slow enough that 4 receive buffers keep up.
constexpr unsigned kTestRate = 31250;
// Arrival is stamped by the receiving thread, which a loaded machine wakes a little late; a gap
// between two stamps can come out this much shorter than the pause that was really sent.
constexpr std::uint32_t kStampJitter = 25;

// One received event: a whole SysEx message joined from its buffers, or a short message.
struct Received {
  Bytes bytes;
  std::uint32_t timestamp = 0;  // of its last piece, in ms since Start
  bool shortMessage = false;
};

class SimPortsTest : public ::testing::Test {
 protected:
  // Four receive buffers of 4096 bytes, the smallest setup the program must cope with; the
  // 18,183 bytes of the Global Data take five of them in turn.
  static constexpr std::uint16_t kBuffers = 4;

  void StartSim(SimSettings settings, std::uint16_t buffers = kBuffers) {
    std::string error;
    sim_ = VirtualAndromeda::Create(service_, std::move(settings), error);
    ASSERT_TRUE(sim_) << error;
    // Another device before it, as a real one would be.
    other_ = service_.AddDevice("Some Other Synth");

    in_ = std::make_unique<TMidiInput>(service_, dispatcher_);
    in_->SetProductName("Simulated Andromeda");
    in_->SetSysexBufferCount(buffers);
    in_->SetSysexBufferSize(4096);
    in_->SetOnMidiInput([this](TMidiInput& port) { Fetch(port); });
    in_->Open();
    ASSERT_TRUE(in_->IsOpen());
    in_->Start();
    out_ = std::make_unique<TMidiOutput>(service_, dispatcher_);
    out_->SetProductName("Simulated Andromeda");
    ASSERT_TRUE(out_->Open());
  }
  void StartSim(unsigned rate = kTestRate, std::uint16_t buffers = kBuffers) {
    SimSettings settings;
    settings.rate = rate;
    StartSim(settings, buffers);
  }

  void TearDown() override {
    out_.reset();
    in_.reset();
    sim_.reset();
  }

  void Fetch(TMidiInput& port) {
    auto event = port.FetchEvent();
    if (!event) return;
    if (event->SysexSize == 0) {
      received_.push_back(
          {{event->Status, event->DataByte1, event->DataByte2}, event->Timestamp, true});
      return;
    }
    partial_.insert(partial_.end(), event->SysexData.begin(), event->SysexData.end());
    if (partial_.back() == kSysexEnd) {
      received_.push_back({std::move(partial_), event->Timestamp, false});
      partial_.clear();
    }
  }

  void Send(const Bytes& message) { out_->SendLong(message); }
  // Waits until n events have arrived; true when they did.
  bool WaitFor(std::size_t n) {
    return dispatcher_.DispatchUntil([&] { return received_.size() >= n; }, kLimit);
  }

  VirtualMidiService service_;
  MidiDispatcher dispatcher_;
  std::unique_ptr<VirtualAndromeda> sim_;
  std::shared_ptr<VirtualDevice> other_;
  std::unique_ptr<TMidiInput> in_;
  std::unique_ptr<TMidiOutput> out_;
  std::vector<Received> received_;
  Bytes partial_;
};

TEST_F(SimPortsTest, IsListedByItsName) {
  StartSim();
  EXPECT_EQ(in_->ProductName(), "Simulated Andromeda");
  EXPECT_EQ(out_->ProductName(), "Simulated Andromeda");
}

TEST_F(SimPortsTest, AnswersIdentityAndSingleDumps) {
  StartSim(SimSettings::kWireRate);
  Send(IdentityRequest());
  Send(DumpRequest(kProgramKind, 3, 127));
  Send(DumpRequest(kMixKind, 0, 64));
  ASSERT_TRUE(WaitFor(3));
  const Identity id = RecogniseIdentityReply(received_[0].bytes);
  EXPECT_EQ(id.result, IdentityResult::Andromeda);
  EXPECT_EQ(id.version, "2.05");
  EXPECT_EQ(received_[1].bytes, sim_->Instrument().Dump(kProgramKind, 3, 127));
  EXPECT_EQ(received_[2].bytes, sim_->Instrument().Dump(kMixKind, 0, 64));
  EXPECT_EQ(received_.size(), 3u);
}

TEST_F(SimPortsTest, SendsTheGlobalDataWhole) {
  StartSim(SimSettings::kWireRate, kBuffers);
  Send(GlobalDumpRequest());
  ASSERT_TRUE(WaitFor(1));
  EXPECT_EQ(received_[0].bytes, sim_->Instrument().GlobalData());
}

TEST_F(SimPortsTest, SendsWholeBanksInOrder) {
  StartSim();
  for (const DumpKind* kind : {&kProgramKind, &kMixKind}) {
    received_.clear();
    Send(BankDumpRequest(*kind, 0));
    ASSERT_TRUE(WaitFor(128)) << kind->name << ": " << received_.size() << " arrived";
    for (int entry = 0; entry < 128; ++entry) {
      ASSERT_EQ(received_[entry].bytes, sim_->Instrument().Dump(*kind, 0, entry))
          << kind->name << " " << entry;
    }
  }
}

TEST_F(SimPortsTest, ADumpSentToItIsReadBackIdentical) {
  StartSim(kTestRate, kBuffers);
  Send(DumpRequest(kProgramKind, 1, 5));
  Send(DumpRequest(kMixKind, 1, 6));
  Send(GlobalDumpRequest());
  ASSERT_TRUE(WaitFor(3));
  Bytes program = RenameDump(kProgramKind, received_[0].bytes, "Round: trip/ok? ");
  AddressDump(program, 3, 9);
  Bytes mix = RenameDump(kMixKind, received_[1].bytes, "  Mix back");
  AddressDump(mix, 0, 127);
  Bytes global = received_[2].bytes;
  global[10] ^= 0x7F;
  Send(program);
  Send(mix);
  Send(global);
  // The service keeps the order: the dumps are stored before the requests are answered.
  Send(DumpRequest(kProgramKind, 3, 9));
  Send(DumpRequest(kMixKind, 0, 127));
  Send(GlobalDumpRequest());
  ASSERT_TRUE(WaitFor(6));
  EXPECT_EQ(received_[3].bytes, program);
  EXPECT_EQ(received_[4].bytes, mix);
  EXPECT_EQ(received_[5].bytes, global);
}

TEST_F(SimPortsTest, DropsAndCorruptsDumpsAsTold) {
  StartSim();
  SimFaults faults;
  faults.dropDump = 2;
  faults.wrongOpcodeDump = 4;
  faults.wrongLengthDump = 6;
  sim_->Instrument().SetFaults(faults);
  Send(BankDumpRequest(kProgramKind, 1));
  ASSERT_TRUE(WaitFor(127));
  Send(IdentityRequest());  // nothing of the bank comes after its last dump
  ASSERT_TRUE(WaitFor(128));
  ASSERT_EQ(received_.size(), 128u);
  EXPECT_EQ(received_[1].bytes[7], 1);
  EXPECT_EQ(received_[2].bytes[7], 3);
  EXPECT_FALSE(CheckDumpHeader(received_[3].bytes, kProgramKind.opcode));
  EXPECT_EQ(received_[3].bytes.size(), 2350u);
  EXPECT_EQ(received_[5].bytes.size(), 2349u);
  EXPECT_EQ(received_[126].bytes[7], 127);
  EXPECT_EQ(received_[127].bytes.size(), kIdentityReplySize);
}

TEST_F(SimPortsTest, PutsForeignMessagesBeforeADump) {
  StartSim();
  const std::vector<std::pair<SimFaults::Foreign, Bytes>> cases = {
      {SimFaults::Foreign::ShortMessage, {0x90, 0x3C, 0x40}},
      {SimFaults::Foreign::IdentityReply, IdentityReply("2.05")}};
  for (const auto& [foreign, bytes] : cases) {
    received_.clear();
    SimFaults faults;
    faults.foreignBeforeDump = 10;
    faults.foreign = foreign;
    sim_->Instrument().SetFaults(faults);
    Send(BankDumpRequest(kMixKind, 2));
    ASSERT_TRUE(WaitFor(129)) << received_.size() << " arrived";
    EXPECT_EQ(received_[9].bytes[7], 9);
    EXPECT_EQ(received_[10].bytes, bytes);
    EXPECT_EQ(received_[11].bytes[7], 10);
    EXPECT_EQ(received_[128].bytes[7], 127);
  }
  // Active sensing is sent too, but the input port filters it out: the bank arrives untouched.
  received_.clear();
  SimFaults faults;
  faults.foreignBeforeDump = 10;
  faults.foreign = SimFaults::Foreign::ActiveSensing;
  sim_->Instrument().SetFaults(faults);
  Send(BankDumpRequest(kMixKind, 2));
  Send(IdentityRequest());
  ASSERT_TRUE(WaitFor(129)) << received_.size() << " arrived";
  for (int entry = 0; entry < 128; ++entry) ASSERT_EQ(received_[entry].bytes[7], entry);
  EXPECT_EQ(received_[128].bytes.size(), kIdentityReplySize);
}

TEST_F(SimPortsTest, StallsMidBank) {
  StartSim();
  SimFaults faults;
  faults.stallAfter = 3;
  sim_->Instrument().SetFaults(faults);
  Send(BankDumpRequest(kMixKind, 0));
  Send(IdentityRequest());
  ASSERT_TRUE(WaitFor(4));
  // The rest of the bank never comes: the identity reply follows dump 2.
  EXPECT_EQ(received_[2].bytes[7], 2);
  EXPECT_EQ(received_[3].bytes.size(), kIdentityReplySize);

  received_.clear();
  faults.stallFor = 400ms;
  sim_->Instrument().SetFaults(faults);
  Send(BankDumpRequest(kMixKind, 0));
  ASSERT_TRUE(WaitFor(128));
  EXPECT_EQ(received_[127].bytes[7], 127);
  // The stall shows as a pause between dumps 2 and 3 of at least its length.
  EXPECT_GE(received_[3].timestamp - received_[2].timestamp, 400u - kStampJitter);
}

TEST_F(SimPortsTest, AnswersASingleRequestLateOrNotAtAll) {
  StartSim(0);
  SimFaults faults;
  faults.ignoreSingleRequests = true;
  sim_->Instrument().SetFaults(faults);
  Send(IdentityRequest());
  Send(DumpRequest(kProgramKind, 0, 0));
  Send(GlobalDumpRequest());
  ASSERT_TRUE(sim_->Device().WaitForSent(3, kLimit));

  faults.ignoreSingleRequests = false;
  faults.replyDelay = 300ms;
  sim_->Instrument().SetFaults(faults);
  Send(IdentityRequest());
  Send(IdentityRequest());
  ASSERT_TRUE(WaitFor(2));
  // Only the answers to the later requests came, each after its delay.
  EXPECT_EQ(received_[0].bytes.size(), kIdentityReplySize);
  EXPECT_EQ(received_[1].bytes.size(), kIdentityReplySize);
  EXPECT_GE(received_[1].timestamp - received_[0].timestamp, 300u - kStampJitter);
}

TEST_F(SimPortsTest, FaultsFromTheCommandLineGatherAndSlowDelaysBanksToo) {
  SimSettings settings;
  settings.rate = kTestRate;
  ASSERT_EQ(ParseSimArguments({"--sim-fault", "slow:300", "--sim-fault", "drop:2", "--sim-fault",
                               "drop:5", "--sim-fault", "short:7"},
                              settings)
                .error,
            "");
  StartSim(settings);
  Send(IdentityRequest());
  ASSERT_TRUE(WaitFor(1));
  Send(BankDumpRequest(kProgramKind, 0));
  ASSERT_TRUE(WaitFor(1 + 126));
  // The bank was asked for once the identity reply was in; its first dump came the delay later.
  EXPECT_GE(received_[1].timestamp - received_[0].timestamp, 300u - kStampJitter);
  std::vector<int> numbers;
  for (std::size_t i = 1; i < received_.size(); ++i) numbers.push_back(received_[i].bytes[7]);
  EXPECT_EQ(numbers.size(), 126u);
  EXPECT_EQ(std::count(numbers.begin(), numbers.end(), 2), 0);
  EXPECT_EQ(std::count(numbers.begin(), numbers.end(), 5), 0);
  EXPECT_EQ(received_[1 + 5].bytes.size(), 2349u);  // dump 7, behind two dropped ones
}

}  // namespace
}  // namespace quorle
