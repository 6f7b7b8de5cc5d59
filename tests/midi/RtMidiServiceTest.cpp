#include "midi/RtMidiService.h"

#include <gtest/gtest.h>
#include <jack/jack.h>
#include <unistd.h>

#include <RtMidi.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <memory>

#include "midi/EMidiInputError.h"
#include "midi/JackServer.h"
#include "midi/MidiSystemLog.h"
#include "midi/MidiTestSupport.h"
#include "midi/TMidiInput.h"
#include "midi/TMidiOutput.h"

namespace quorle {
namespace {

using test::kPatience;
using test::Sysex;

std::string Unique(const std::string& stem) {
  return stem + std::to_string(::getpid());
}

TEST(RtMidiServiceWithoutMidi, NoMidiSystemMeansNoDevicesNeverACrash) {
  ::setenv("JACK_DEFAULT_SERVER", Unique("quorle-nobody-").c_str(), 1);
  RtMidiService::Options options;
  options.api = RtMidiService::Api::Jack;
  options.clientName = Unique("qnone");
  RtMidiService service(options);
  EXPECT_EQ(service.InGetNumDevs(), 0u);
  EXPECT_EQ(service.OutGetNumDevs(), 0u);
  HMIDIOUT out = nullptr;
  EXPECT_EQ(service.OutOpen(
                &out, 0, [](void*, unsigned, void*, std::uintptr_t, std::uintptr_t) {}, nullptr,
                CALLBACK_FUNCTION),
            MMSYSERR_BADDEVICEID);
  MidiDispatcher dispatcher;
  TMidiOutput output(service, dispatcher);
  EXPECT_FALSE(output.Open());
  EXPECT_THROW(TMidiInput input(service, dispatcher), EMidiInputError);
}

// Between two ports of a real MIDI service: our output port is connected to our input port.
class JackTest : public ::testing::Test {
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
    // libjack is not built for ThreadSanitizer: the sanitizer's work inside its process cycles
    // makes JACK drop data, and its client threads end in ways the sanitizer reports as its own
    // fault. The ring, the dispatcher and the ports are checked over the in-process service.
    GTEST_SKIP() << "JACK is not run under ThreadSanitizer";
#endif
    if (!server_->Ready()) {
      if (std::getenv("CI")) FAIL() << server_->Problem();
      GTEST_SKIP() << "no JACK server for this test: " << server_->Problem();
    }
    RtMidiService::Options options;
    options.api = RtMidiService::Api::Jack;
    options.clientName = Unique("qt");
    options.bytesPerSecond = 100000;
    options.listOwnPorts = true;
    options.sendPiece = [this](RtMidiOut& midi, ByteView piece,
                               const RtMidiService::Options::Warn& warn) {
      const int planted = refuse_.exchange(0);
      if (planted == 1) throw RtMidiError("the planted refusal", RtMidiError::DRIVER_ERROR);
      if (planted == 2) return warn("the planted warning");
      midi.sendMessage(piece.data(), piece.size());
    };
    service_ = std::make_unique<RtMidiService>(options);
    ASSERT_EQ(service_->ApiName(), "jack");
    // An idle source port, only so that the input port has a device to open.
    idle_ = std::make_unique<RtMidiOut>(RtMidi::UNIX_JACK, Unique("qidle"));
    idle_->openVirtualPort("idle");
  }

  void Connect(std::uint16_t buffers) {
    input_ = std::make_unique<TMidiInput>(*service_, dispatcher_);
    input_->SetProductName(Unique("qidle") + ":idle");
    input_->SetSysexBufferCount(buffers);
    input_->SetOnMidiInput([this](TMidiInput& sender) { events_.push_back(sender.FetchEvent()); });
    input_->Open();
    ASSERT_TRUE(input_->IsOpen()) << "input error " << input_->Error();
    input_->Start();
    // The input port of our own input client is a destination for the output port.
    output_ = std::make_unique<TMidiOutput>(*service_, dispatcher_);
    const std::string prefix = Unique("qt") + "-in-";
    for (unsigned i = 0; i < service_->OutGetNumDevs(); ++i) {
      MidiOutCaps caps;
      if (service_->OutGetDevCaps(i, caps) == MMSYSERR_NOERROR &&
          caps.szPname.rfind(prefix, 0) == 0) {
        output_->SetProductName(caps.szPname);
      }
    }
    ASSERT_NE(output_->ProductName(), "") << "our input port is not listed";
    ASSERT_TRUE(output_->Open()) << "output error " << output_->Error();
    output_->SetOnmidioutput([this](TMidiOutput&) { ++done_; });
    // With two sources JACK mixes them down each cycle, and a late cycle of either can spoil the
    // mix: the idle one has done its part.
    idle_.reset();
  }

  void TearDown() override {
    if (output_ && output_->IsOpen()) {
      dispatcher_.DispatchUntil([&] { return output_->MessagesInFlight() == 0; }, kPatience);
    }
    output_.reset();
    input_.reset();
    idle_.reset();
    service_.reset();
  }

  static test::JackServer* server_;
  MidiDispatcher dispatcher_;
  std::unique_ptr<RtMidiService> service_;
  std::unique_ptr<RtMidiOut> idle_;
  std::unique_ptr<TMidiInput> input_;
  std::unique_ptr<TMidiOutput> output_;
  std::vector<std::unique_ptr<TMyMidiEvent>> events_;
  int done_ = 0;
  std::atomic<int> refuse_{0};  // the next piece: 1 throws, 2 makes RtMidi warn
};

test::JackServer* JackTest::server_ = nullptr;

// One connection carries everything, so that one server at a time is loaded.
TEST_F(JackTest, EveryDumpSizeShortMessagesAndABankArriveWholeAndInOrder) {
  Connect(128);
  const std::vector<Bytes> sent{Sysex(9, 1), Sysex(1180, 2), Sysex(2350, 3), Sysex(18183, 4)};
  // A message dropped after an xrun of a loaded machine is counted; the set is then sent again.
  for (int attempt = 0; attempt < 3; ++attempt) {
    events_.clear();
    const std::size_t losses = input_->InputLosses();
    for (const Bytes& m : sent) output_->SendLong(m);
    // 9, 1180, 2350, then the Global Data in 4096-byte buffers: 4 x 4096 + 1799.
    ASSERT_TRUE(dispatcher_.DispatchUntil(
        [&] { return events_.size() >= 8 || input_->InputLosses() != losses; }, kPatience))
        << events_.size() << " events";
    ASSERT_TRUE(
        dispatcher_.DispatchUntil([&] { return output_->MessagesInFlight() == 0; }, kPatience));
    if (input_->InputLosses() == losses) break;
  }
  std::vector<std::size_t> sizes;
  for (const auto& e : events_) {
    sizes.push_back(e->SysexSize);
    EXPECT_EQ(e->Status, 0xF0);
  }
  EXPECT_EQ(sizes, (std::vector<std::size_t>{9, 1180, 2350, 4096, 4096, 4096, 4096, 1799}));
  EXPECT_EQ(events_[0]->SysexData, sent[0]);
  EXPECT_EQ(events_[1]->SysexData, sent[1]);
  EXPECT_EQ(events_[2]->SysexData, sent[2]);
  Bytes joined;
  for (std::size_t i = 3; i < events_.size(); ++i) {
    joined.insert(joined.end(), events_[i]->SysexData.begin(), events_[i]->SysexData.end());
  }
  EXPECT_EQ(joined, sent[3]);
  EXPECT_EQ(output_->MessagesInFlight(), 0u);

  events_.clear();
  output_->SendShort(0x90, 0x3C, 0x40);
  output_->SendLong(Sysex(9));
  output_->SendShort(0xC0, 0x05, 0x00);
  ASSERT_TRUE(dispatcher_.DispatchUntil([&] { return events_.size() >= 3; }, kPatience));
  EXPECT_EQ(events_[0]->Status, 0x90);
  EXPECT_EQ(events_[0]->DataByte1, 0x3C);
  EXPECT_EQ(events_[0]->DataByte2, 0x40);
  EXPECT_EQ(events_[1]->SysexData, Sysex(9));
  EXPECT_EQ(events_[2]->Status, 0xC0);
  EXPECT_EQ(events_[2]->DataByte1, 0x05);

  // A dump dropped after an xrun of a loaded machine is counted; every other one arrives whole.
  events_.clear();
  const std::size_t lossesBefore = input_->InputLosses();
  for (unsigned i = 0; i < 128; ++i) output_->SendLong(Sysex(2350, i));
  const auto dropped = [&] { return input_->InputLosses() - lossesBefore; };
  ASSERT_TRUE(
      dispatcher_.DispatchUntil([&] { return events_.size() + dropped() >= 128; }, kPatience))
      << events_.size() << " events";
  EXPECT_LE(dropped(), 8u);
  unsigned next = 0;
  for (const auto& e : events_) {
    ASSERT_EQ(e->SysexSize, 2350);
    while (next < 128 && e->SysexData != Sysex(2350, next)) ++next;
    ASSERT_LT(next++, 128u) << "a dump out of order or not whole";
  }
  ASSERT_TRUE(
      dispatcher_.DispatchUntil([&] { return output_->MessagesInFlight() == 0; }, kPatience));
  EXPECT_TRUE(output_->Close());
}

// A piece RtMidi refuses, by throwing or by a warning on the sender's thread, fails its message
// with RtMidi's words in the MIDI log, and the messages after it still go.
TEST_F(JackTest, APieceRefusedInsideRtMidiFailsItsMessage) {
  Connect(16);
  MidiSystemLog::Main().Take();
  std::vector<MidiResult> results;
  output_->SetOnmidioutput([&](TMidiOutput& o) { results.push_back(o.DoneResult()); });
  for (int planted : {1, 2}) {
    refuse_ = planted;
    output_->SendLong(Sysex(2350, static_cast<unsigned>(planted)));
    ASSERT_TRUE(dispatcher_.DispatchUntil([&] { return results.size() == std::size_t(planted); },
                                          kPatience));
    EXPECT_NE(results.back(), MMSYSERR_NOERROR) << "refusal " << planted << " reported as sent";
  }
  EXPECT_EQ(refuse_, 0) << "the refusal was never reached";
  const auto log = MidiSystemLog::Main().Take();
  const auto said = [&](const char* words) {
    return std::any_of(log.begin(), log.end(), [&](const std::string& line) {
      return line.find(words) != std::string::npos;
    });
  };
  EXPECT_TRUE(said("the planted refusal"));
  EXPECT_TRUE(said("the planted warning"));
  output_->SendLong(Sysex(2350, 7));
  ASSERT_TRUE(dispatcher_.DispatchUntil([&] { return results.size() == 3; }, kPatience));
  EXPECT_EQ(results.back(), MMSYSERR_NOERROR);
  // Nothing refused arrives as a whole message; the one after does.
  ASSERT_TRUE(dispatcher_.DispatchUntil(
      [&] { return !events_.empty() && events_.back()->SysexData == Sysex(2350, 7); }, kPatience));
  for (const auto& e : events_) {
    EXPECT_NE(e->SysexData, Sysex(2350, 1));
    EXPECT_NE(e->SysexData, Sysex(2350, 2));
  }
}

// A cycle too late on the server can cut a SysEx on its way without a word on the port: the first
// SysEx to arrive after an xrun is dropped and counted, and those after it arrive whole.
TEST_F(JackTest, TheFirstSysexAfterAnXrunIsDroppedAsDamaged) {
  Connect(16);
  struct Late {
    std::atomic<bool> sleep{false};
    std::atomic<int> xruns{0};
  } late;
  jack_status_t status;
  jack_client_t* client = jack_client_open(Unique("qlate").c_str(), JackNoStartServer, &status);
  ASSERT_NE(client, nullptr);
  jack_set_process_callback(
      client,
      [](jack_nframes_t, void* user) {
        if (static_cast<Late*>(user)->sleep.exchange(false)) ::usleep(50000);
        return 0;
      },
      &late);
  jack_set_xrun_callback(
      client,
      [](void* user) {
        ++static_cast<Late*>(user)->xruns;
        return 0;
      },
      &late);
  ASSERT_EQ(jack_activate(client), 0);
  late.sleep = true;
  ASSERT_TRUE(dispatcher_.DispatchUntil([&] { return late.xruns > 0; }, kPatience));
  jack_deactivate(client);
  jack_client_close(client);

  output_->SendLong(Sysex(2350, 1));
  output_->SendLong(Sysex(2350, 2));
  ASSERT_TRUE(dispatcher_.DispatchUntil([&] { return !events_.empty(); }, kPatience));
  EXPECT_EQ(events_.front()->SysexData, Sysex(2350, 2));
  EXPECT_EQ(input_->InputLosses(), 1u);
}

}  // namespace
}  // namespace quorle
