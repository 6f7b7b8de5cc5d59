#include "midi/TMidiInput.h"

#include <gtest/gtest.h>

#include <vector>

#include "midi/EMidiInputError.h"
#include "midi/MidiTestSupport.h"
#include "midi/VirtualMidiService.h"

namespace quorle {
namespace {

using test::kPatience;
using test::Sysex;

// Expects `call` to raise EMidiInputError with exactly `text`.
template <class F>
void ExpectRaises(F call, const std::string& text) {
  try {
    call();
    ADD_FAILURE() << "nothing raised, expected \"" << text << "\"";
  } catch (const EMidiInputError& e) {
    EXPECT_EQ(std::string(e.what()), text);
  }
}

struct InputTest : ::testing::Test {
  MidiDispatcher dispatcher;
  VirtualMidiService service;
  std::shared_ptr<VirtualDevice> first = service.AddDevice("First");
  std::shared_ptr<VirtualDevice> synth = service.AddDevice("Andromeda A6");
  TMidiInput input{service, dispatcher};
  std::vector<std::unique_ptr<TMyMidiEvent>> events;

  void OpenOnSynth() {
    input.SetProductName("Andromeda A6");
    input.Open();
    ASSERT_TRUE(input.IsOpen());
    input.Start();
  }
  void FetchEach() {
    input.SetOnMidiInput([this](TMidiInput& sender) { events.push_back(sender.FetchEvent()); });
  }
  bool WaitForEvents(std::size_t n) {
    return dispatcher.DispatchUntil([&] { return events.size() >= n; }, kPatience);
  }
  bool WaitForPending(std::uint16_t n) {
    return dispatcher.DispatchUntil([&] { return input.PendingCount() >= n; }, kPatience);
  }
};

TEST(TMidiInputCreate, WithoutInputDevicesCreationFailsWithInvalidDeviceId) {
  MidiDispatcher dispatcher;
  VirtualMidiService empty;
  ExpectRaises([&] { TMidiInput input(empty, dispatcher); }, "Invalid device ID");
}

TEST_F(InputTest, CreationSelectsDeviceZeroWithTheDefaults) {
  EXPECT_EQ(input.DeviceID(), 0);
  EXPECT_EQ(input.ProductName(), "First");
  EXPECT_EQ(input.DeviceCount(), 2u);
  EXPECT_EQ(input.Capacity(), 1024);
  EXPECT_EQ(input.SysexBufferSize(), 4096);
  EXPECT_EQ(input.SysexBufferCount(), 16);
  EXPECT_FALSE(input.SysexOnly());
  EXPECT_EQ(input.Error(), 0);
}

TEST_F(InputTest, SettersRefuseWithTheirTextsAndKeepTheOldValues) {
  ExpectRaises([&] { input.SetDeviceID(2); }, "Invalid device ID");
  EXPECT_EQ(input.DeviceID(), 0);
  ExpectRaises([&] { input.SetProductName("Nord Lead"); },
               "MIDI Input Device Nord Lead not installed ");
  ExpectRaises([&] { input.SetProductName("andromeda a6"); },
               "MIDI Input Device andromeda a6 not installed ");
  EXPECT_EQ(input.ProductName(), "First");

  OpenOnSynth();
  EXPECT_EQ(input.DeviceID(), 1);
  ExpectRaises([&] { input.SetSysexBufferSize(1024); },
               "Change to SysexBufferSize while device was open");
  EXPECT_EQ(input.SysexBufferSize(), 4096);
  ExpectRaises([&] { input.SetSysexBufferCount(2); },
               "Change to SysexBuffercount while device was open");
  EXPECT_EQ(input.SysexBufferCount(), 16);
  ExpectRaises([&] { input.SetDeviceID(0); }, "Change to DeviceID while device was open");
  ExpectRaises([&] { input.SetProductName("First"); },
               "Change to ProductName while device was open");
  EXPECT_EQ(input.DeviceID(), 1);
  input.Close();
  input.SetSysexBufferSize(1024);
  EXPECT_EQ(input.SysexBufferSize(), 1024);
}

TEST_F(InputTest, AProgramDumpFitsOneBufferAndArrivesAsOneEvent) {
  FetchEach();
  OpenOnSynth();
  const Bytes dump = Sysex(2350, 1);
  synth->Inject(dump);
  ASSERT_TRUE(WaitForEvents(1));
  ASSERT_NE(events[0], nullptr);
  EXPECT_EQ(events[0]->Status, 0xF0);
  EXPECT_EQ(events[0]->DataByte1, 0);
  EXPECT_EQ(events[0]->SysexSize, 2350);
  EXPECT_EQ(events[0]->SysexData, dump);
  EXPECT_EQ(input.PendingCount(), 0);
}

TEST_F(InputTest, AMessageLongerThanOneBufferArrivesAsSeveralEventsInOrder) {
  FetchEach();
  OpenOnSynth();
  const Bytes message = Sysex(5000, 2);
  synth->Inject(message);
  ASSERT_TRUE(WaitForEvents(2));
  EXPECT_EQ(events[0]->SysexSize, 4096);
  EXPECT_EQ(events[1]->SysexSize, 904);
  Bytes joined = events[0]->SysexData;
  joined.insert(joined.end(), events[1]->SysexData.begin(), events[1]->SysexData.end());
  EXPECT_EQ(joined, message);
}

TEST_F(InputTest, BuffersGoBackSoAStreamLongerThanThePoolGetsThrough) {
  input.SetSysexBufferCount(2);
  FetchEach();
  OpenOnSynth();
  synth->SetRate(200000);  // spaced on the wire, as dumps of a bank are
  for (unsigned i = 0; i < 12; ++i) synth->Inject(Sysex(1180, i));
  ASSERT_TRUE(WaitForEvents(12));
  for (unsigned i = 0; i < 12; ++i) EXPECT_EQ(events[i]->SysexData, Sysex(1180, i)) << i;
}

TEST_F(InputTest, EventsWaitingBeforeAHandlerIsSetReachItOldestFirst) {
  OpenOnSynth();
  synth->Inject(Bytes{0x90, 0x3C, 0x40});
  synth->Inject(Sysex(9, 5));
  synth->Inject(Bytes{0xA0, 0x3C, 0x10});
  // Once the third is in, the notices of the first two have been posted: spend them unhandled.
  ASSERT_TRUE(WaitForPending(3));
  dispatcher.Dispatch();
  std::vector<std::uint8_t> statuses;
  input.SetOnMidiInput([&](TMidiInput& sender) {
    auto event = sender.FetchEvent();
    statuses.push_back(event->Status);
    if (event->Status == 0x90) {
      EXPECT_EQ(event->DataByte1, 0x3C);
      EXPECT_EQ(event->DataByte2, 0x40);
      EXPECT_EQ(event->SysexSize, 0);
      EXPECT_TRUE(event->SysexData.empty());
    }
  });
  synth->Inject(Bytes{0xB0, 0x07, 0x64});
  ASSERT_TRUE(dispatcher.DispatchUntil(
      [&] { return !statuses.empty() && input.PendingCount() + statuses.size() == 4; }, kPatience));
  dispatcher.WaitAndDispatch(std::chrono::milliseconds(20));
  // One call for the new event, and one more if the third's notice was still on its way.
  ASSERT_GE(statuses.size(), 1u);
  ASSERT_LE(statuses.size(), 2u);
  EXPECT_EQ(statuses[0], 0x90);
  if (statuses.size() == 2) {
    EXPECT_EQ(statuses[1], 0xF0);
  }
}

TEST_F(InputTest, FetchEventAnswersNothingWhenClosedOrEmpty) {
  EXPECT_EQ(input.FetchEvent(), nullptr);
  OpenOnSynth();
  EXPECT_EQ(input.FetchEvent(), nullptr);
}

TEST_F(InputTest, SysexOnlyDropsShortMessagesAndMayChangeWhileOpen) {
  FetchEach();
  input.SetSysexOnly(true);
  OpenOnSynth();
  synth->Inject(Bytes{0x90, 0x3C, 0x40});
  synth->Inject(Sysex(9));
  ASSERT_TRUE(WaitForEvents(1));
  EXPECT_EQ(events[0]->Status, 0xF0);
  input.SetSysexOnly(false);
  synth->Inject(Bytes{0xFE});  // active sensing never arrives
  synth->Inject(Bytes{0x80, 0x3C, 0x00});
  ASSERT_TRUE(WaitForEvents(2));
  EXPECT_EQ(events[1]->Status, 0x80);
}

TEST_F(InputTest, WithoutReceiveBuffersShortMessagesArriveButSysexNever) {
  input.SetSysexBufferCount(0);
  FetchEach();
  OpenOnSynth();
  synth->Inject(Sysex(9));
  synth->Inject(Bytes{0xC0, 0x05});
  ASSERT_TRUE(WaitForEvents(1));
  EXPECT_EQ(events[0]->Status, 0xC0);
  EXPECT_EQ(events[0]->DataByte1, 0x05);
  EXPECT_EQ(input.PendingCount(), 0);
}

TEST_F(InputTest, ACapacityBeyondTheRingLimitMakesEveryOpenFail) {
  input.SetCapacity(5462);
  input.Open();
  EXPECT_FALSE(input.IsOpen());
  input.Start();  // does nothing while closed
  EXPECT_EQ(input.PendingCount(), 0);
  input.SetCapacity(5461);
  input.Open();
  EXPECT_TRUE(input.IsOpen());
}

TEST_F(InputTest, OverflowIsReportedAndTheFirstEventsKept) {
  input.SetCapacity(2);
  int overflows = 0;
  input.SetOnOverflow([&](TMidiInput&) { ++overflows; });
  OpenOnSynth();
  for (std::uint8_t i = 0; i < 3; ++i) synth->Inject(Bytes{0x90, i, 0x40});
  ASSERT_TRUE(dispatcher.DispatchUntil([&] { return overflows == 1; }, kPatience));
  ASSERT_EQ(input.PendingCount(), 2);
  EXPECT_EQ(input.FetchEvent()->DataByte1, 0);
  EXPECT_EQ(input.FetchEvent()->DataByte1, 1);
}

TEST_F(InputTest, CloseDropsWaitingEventsAndReopenStartsClean) {
  OpenOnSynth();
  synth->Inject(Sysex(9));
  synth->Inject(Bytes{0x90, 1, 1});
  ASSERT_TRUE(WaitForPending(2));
  input.Close();
  EXPECT_FALSE(input.IsOpen());
  EXPECT_EQ(input.PendingCount(), 0);
  EXPECT_EQ(input.FetchEvent(), nullptr);
  input.Close();  // closing a closed port does nothing
  FetchEach();
  OpenOnSynth();
  dispatcher.Dispatch();  // notices of the old session find nothing to hand out
  synth->Inject(Sysex(20, 9));
  ASSERT_TRUE(WaitForEvents(1));
  EXPECT_EQ(events[0]->SysexData, Sysex(20, 9));
}

TEST_F(InputTest, ADeviceHeldByAnotherPortDoesNotOpenAndNothingIsRaised) {
  TMidiInput other(service, dispatcher);
  other.SetProductName("Andromeda A6");
  other.Open();
  ASSERT_TRUE(other.IsOpen());
  input.SetProductName("Andromeda A6");
  input.Open();
  EXPECT_FALSE(input.IsOpen());
  EXPECT_EQ(input.Error(), MMSYSERR_ALLOCATED);
}

TEST_F(InputTest, AHandlerMayReplaceItselfAsTheRequestSlotDoes) {
  std::vector<std::string> trace;
  input.SetOnMidiInput([&](TMidiInput& sender) {
    trace.push_back("first " + std::to_string(sender.FetchEvent()->SysexSize));
    sender.SetOnMidiInput([&](TMidiInput& s) {
      trace.push_back("second " + std::to_string(s.FetchEvent()->SysexSize));
    });
  });
  OpenOnSynth();
  synth->Inject(Sysex(9));
  synth->Inject(Sysex(17));
  ASSERT_TRUE(dispatcher.DispatchUntil([&] { return trace.size() == 2; }, kPatience));
  EXPECT_EQ(trace, (std::vector<std::string>{"first 9", "second 17"}));
}

// A handler that shows a modal dialog runs a nested loop; the next event waits for it.
TEST_F(InputTest, AHandlerRunningANestedLoopIsNotReentered) {
  int depth = 0, maxDepth = 0, calls = 0;
  input.SetOnMidiInput([&](TMidiInput& sender) {
    maxDepth = std::max(maxDepth, ++depth);
    ++calls;
    sender.FetchEvent();
    if (calls == 1) {
      synth->Inject(Sysex(9, 1));
      EXPECT_TRUE(dispatcher.DispatchUntil([&] { return sender.PendingCount() == 1; }, kPatience));
      dispatcher.WaitAndDispatch(std::chrono::milliseconds(10));
    }
    --depth;
  });
  OpenOnSynth();
  synth->Inject(Sysex(9));
  ASSERT_TRUE(dispatcher.DispatchUntil([&] { return calls == 2; }, kPatience));
  EXPECT_EQ(maxDepth, 1);
}

TEST_F(InputTest, TimestampsCountFromStartAndNeverGoBack) {
  FetchEach();
  OpenOnSynth();
  for (std::uint8_t i = 0; i < 5; ++i) synth->Inject(Bytes{0x90, i, 1});
  ASSERT_TRUE(WaitForEvents(5));
  for (int i = 1; i < 5; ++i) EXPECT_LE(events[i - 1]->Timestamp, events[i]->Timestamp);
}

TEST_F(InputTest, DestroyingAnOpenPortWithNoticesStillQueuedIsHarmless) {
  auto port = std::make_unique<TMidiInput>(service, dispatcher);
  port->SetProductName("Andromeda A6");
  port->Open();
  port->Start();
  int calls = 0;
  port->SetOnMidiInput([&](TMidiInput&) { ++calls; });
  synth->Inject(Sysex(9));
  ASSERT_TRUE(
      dispatcher.DispatchUntil([&] { return calls == 1 || port->PendingCount() == 1; }, kPatience));
  synth->Inject(Sysex(9));
  synth->Inject(Bytes{0x90, 1, 1});
  port.reset();
  dispatcher.WaitAndDispatch(std::chrono::milliseconds(50));
  SUCCEED();
}

}  // namespace
}  // namespace quorle
