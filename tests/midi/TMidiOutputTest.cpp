#include "midi/TMidiOutput.h"

#include <gtest/gtest.h>

#include "midi/EmidioutputError.h"
#include "midi/MidiTestSupport.h"
#include "midi/VirtualMidiService.h"

namespace quorle {
namespace {

using test::kPatience;
using test::Sysex;

template <class F>
void ExpectRaises(F call, const std::string& text) {
  try {
    call();
    ADD_FAILURE() << "nothing raised, expected \"" << text << "\"";
  } catch (const EmidioutputError& e) {
    EXPECT_EQ(std::string(e.what()), text);
  }
}

std::string Text(MidiResult code) {
  std::string text;
  MidiErrorText(code, text);
  return text;
}

struct OutputTest : ::testing::Test {
  MidiDispatcher dispatcher;
  VirtualMidiService service;
  std::shared_ptr<VirtualDevice> first = service.AddDevice("First");
  std::shared_ptr<VirtualDevice> synth = service.AddDevice("Andromeda A6");
  TMidiOutput output{service, dispatcher};
  int done = 0;

  void OpenOnSynth() {
    output.SetProductName("Andromeda A6");
    ASSERT_TRUE(output.Open());
    output.SetOnmidioutput([this](TMidiOutput&) { ++done; });
  }
};

TEST_F(OutputTest, CreationCountsDevicesAndLeavesTheNameEmpty) {
  EXPECT_EQ(output.DeviceCount(), 2u);
  EXPECT_EQ(output.DeviceID(), 0);
  EXPECT_EQ(output.ProductName(), "");
  EXPECT_FALSE(output.IsOpen());
  output.SetDeviceID(1);
  EXPECT_EQ(output.ProductName(), "Andromeda A6");
  output.SetDeviceID(-1);  // the default device passes the test
  EXPECT_EQ(output.DeviceID(), -1);
}

TEST_F(OutputTest, SendLongReturnsAtOnceAndTheDoneNoticeFreesTheCopy) {
  OpenOnSynth();
  const Bytes request{0xF0, 0x00, 0x00, 0x0E, 0x1D, 0x0A, 0x00, 0xF7};
  Bytes buffer = request;
  output.SendLong(buffer.data(), static_cast<std::uint16_t>(buffer.size()));
  buffer.assign(buffer.size(), 0);  // the caller's bytes may be reused at once
  ASSERT_TRUE(dispatcher.DispatchUntil([&] { return done == 1; }, kPatience));
  EXPECT_EQ(output.MessagesInFlight(), 0u);
  EXPECT_EQ(synth->Sent(), std::vector<Bytes>{request});
  dispatcher.WaitAndDispatch(std::chrono::milliseconds(20));
  EXPECT_EQ(done, 1);
}

TEST_F(OutputTest, MessagesLeaveInOrderAndAreReportedDoneInOrder) {
  OpenOnSynth();
  std::vector<Bytes> sent;
  for (unsigned i = 0; i < 20; ++i) {
    sent.push_back(i % 3 == 0 ? Bytes{0xB0, static_cast<std::uint8_t>(i), 0x7F}
                              : Sysex(9 + i * 100, i));
    if (i % 3 == 0) {
      output.SendShort(0xB0, static_cast<std::uint8_t>(i), 0x7F);
    } else {
      output.SendLong(sent.back());
    }
  }
  ASSERT_TRUE(synth->WaitForSent(20, kPatience));
  EXPECT_EQ(synth->Sent(), sent);
  ASSERT_TRUE(dispatcher.DispatchUntil([&] { return done == 13; }, kPatience));
  EXPECT_EQ(output.MessagesInFlight(), 0u);
}

TEST_F(OutputTest, CloseIsRefusedWhileMessagesAreStillQueued) {
  OpenOnSynth();
  synth->SetRate(1);  // a byte a second: the dump is surely still on its way
  output.SendLong(Sysex(2350));
  ExpectRaises([&] { output.Close(); }, Text(MIDIERR_STILLPLAYING));
  EXPECT_TRUE(output.IsOpen());
  EXPECT_EQ(output.Error(), MIDIERR_STILLPLAYING);
  synth->SetRate(0);
  ASSERT_TRUE(dispatcher.DispatchUntil([&] { return done == 1; }, kPatience));
  EXPECT_TRUE(output.Close());
  EXPECT_FALSE(output.IsOpen());
  EXPECT_FALSE(output.Close());  // nothing was open
}

TEST_F(OutputTest, SendingOnAClosedPortRaises) {
  TMyMidiEvent event;
  event.Status = 0x90;
  ExpectRaises([&] { output.SendEvent(event); }, "MIDI Output device not open");
  ExpectRaises([&] { output.SendShort(0x90, 1, 1); }, Text(MMSYSERR_INVALHANDLE));
  ExpectRaises([&] { output.SendLong(Sysex(9)); }, Text(MMSYSERR_INVALHANDLE));
  EXPECT_EQ(output.MessagesInFlight(), 0u);
}

TEST_F(OutputTest, SendEventSendsSysexOrShortAsTheEventHolds) {
  OpenOnSynth();
  TMyMidiEvent sysex;
  sysex.Status = 0xF0;
  sysex.SysexData = Sysex(30);
  sysex.SysexSize = 30;
  TMyMidiEvent note;
  note.Status = 0x90;
  note.DataByte1 = 0x3C;
  note.DataByte2 = 0x40;
  output.SendEvent(sysex);
  output.SendEvent(note);
  ASSERT_TRUE(synth->WaitForSent(2, kPatience));
  EXPECT_EQ(synth->Sent(), (std::vector<Bytes>{Sysex(30), Bytes{0x90, 0x3C, 0x40}}));
}

TEST_F(OutputTest, SettersRefuseWithTheirTexts) {
  ExpectRaises([&] { output.SetDeviceID(2); }, "Invalid device ID");
  EXPECT_EQ(output.DeviceID(), 0);
  ExpectRaises([&] { output.SetProductName("Nord Lead"); },
               "MIDI output Device Nord Lead not installed");
  OpenOnSynth();
  EXPECT_EQ(output.DeviceID(), 1);
  ExpectRaises([&] { output.SetDeviceID(0); }, "Change to DeviceID while device was open");
  ExpectRaises([&] { output.SetProductName("First"); },
               "Change to ProductName while device was open");
}

TEST_F(OutputTest, ADeviceHeldByAnotherPortDoesNotOpen) {
  TMidiOutput other(service, dispatcher);
  other.SetDeviceID(1);
  ASSERT_TRUE(other.Open());
  output.SetDeviceID(1);
  EXPECT_FALSE(output.Open());
  EXPECT_FALSE(output.IsOpen());
  EXPECT_EQ(output.Error(), MMSYSERR_ALLOCATED);
}

TEST_F(OutputTest, DestroyingAPortWithMessagesInFlightGivesThemUp) {
  synth->SetRate(1);
  {
    TMidiOutput port(service, dispatcher);
    port.SetDeviceID(1);
    ASSERT_TRUE(port.Open());
    for (unsigned i = 0; i < 4; ++i) port.SendLong(Sysex(100, i));
  }
  dispatcher.WaitAndDispatch(std::chrono::milliseconds(20));
  synth->SetRate(0);
  EXPECT_TRUE(synth->Sent().empty());
  // The device is free again.
  TMidiOutput again(service, dispatcher);
  again.SetDeviceID(1);
  EXPECT_TRUE(again.Open());
}

}  // namespace
}  // namespace quorle
