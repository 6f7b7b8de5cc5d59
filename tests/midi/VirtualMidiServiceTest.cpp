#include "midi/VirtualMidiService.h"

#include <gtest/gtest.h>

#include "midi/CompositeMidiService.h"
#include "midi/MidiTestSupport.h"
#include "midi/TMidiInput.h"
#include "midi/TMidiOutput.h"

namespace quorle {
namespace {

using test::kPatience;
using test::Sysex;

struct VirtualTest : ::testing::Test {
  MidiDispatcher dispatcher;
  std::shared_ptr<VirtualMidiService> service = std::make_shared<VirtualMidiService>();
  std::vector<Bytes> received;

  void Collect(TMidiInput& input) {
    input.SetOnMidiInput([this](TMidiInput& sender) {
      auto event = sender.FetchEvent();
      received.push_back(event->SysexData.empty()
                             ? Bytes{event->Status, event->DataByte1, event->DataByte2}
                             : event->SysexData);
    });
  }
  bool WaitForReceived(std::size_t n) {
    return dispatcher.DispatchUntil([&] { return received.size() >= n; }, kPatience);
  }
};

// The simulator answers requests from inside its receiver, on the service's own thread.
TEST_F(VirtualTest, AReceiverMayAnswerByInjectingWithoutDeadlock) {
  std::shared_ptr<VirtualDevice> synth;
  synth = service->AddDevice("Sim", [&synth](ByteView request) {
    Bytes reply(request.begin(), request.end());
    reply[1] = 0x42;
    synth->Inject(reply);
  });
  TMidiInput input(*service, dispatcher);
  TMidiOutput output(*service, dispatcher);
  Collect(input);
  input.Open();
  input.Start();
  ASSERT_TRUE(output.Open());
  for (unsigned i = 0; i < 10; ++i) output.SendLong(Sysex(9, i));
  ASSERT_TRUE(WaitForReceived(10));
  for (unsigned i = 0; i < 10; ++i) {
    Bytes expected = Sysex(9, i);
    expected[1] = 0x42;
    EXPECT_EQ(received[i], expected);
  }
  EXPECT_EQ(synth->Sent().size(), 10u);
}

TEST_F(VirtualTest, ALoopbackReturnsWhatIsSentAtTheWireRateWhenAsked) {
  auto loop = service->AddLoopback("Loop");
  loop->SetRate(100000);
  TMidiInput input(*service, dispatcher);
  TMidiOutput output(*service, dispatcher);
  Collect(input);
  input.Open();
  input.Start();
  ASSERT_TRUE(output.Open());
  const std::vector<Bytes> messages{Sysex(2350, 1), Bytes{0x90, 0x3C, 0x40}, Sysex(1180, 2),
                                    Sysex(9, 3)};
  for (const Bytes& m : messages) output.SendLong(m);
  ASSERT_TRUE(WaitForReceived(messages.size()));
  EXPECT_EQ(received, messages);
}

TEST_F(VirtualTest, InjectedMessagesAreDroppedUntilAnInputPortHasStarted) {
  auto device = service->AddDevice("Device");
  TMidiInput input(*service, dispatcher);
  Collect(input);
  device->Inject(Sysex(9, 1));  // no port open
  input.Open();
  device->Inject(Sysex(9, 2));  // open, not started
  input.Start();
  device->Inject(Sysex(9, 3));
  ASSERT_TRUE(WaitForReceived(1));
  dispatcher.WaitAndDispatch(std::chrono::milliseconds(20));
  EXPECT_EQ(received, std::vector<Bytes>{Sysex(9, 3)});
}

TEST_F(VirtualTest, ACompositeListsTheServicesInOrderAndOpensThroughTheRightOne) {
  auto real = std::make_shared<VirtualMidiService>();
  real->AddDevice("Hardware 1");
  real->AddDevice("Hardware 2");
  auto sim = service->AddDevice("Simulated Andromeda");
  CompositeMidiService composite({real, service});
  ASSERT_EQ(composite.InGetNumDevs(), 3u);
  ASSERT_EQ(composite.OutGetNumDevs(), 3u);
  std::vector<std::string> names;
  for (unsigned i = 0; i < 3; ++i) {
    MidiOutCaps caps;
    ASSERT_EQ(composite.OutGetDevCaps(i, caps), MMSYSERR_NOERROR);
    names.push_back(caps.szPname);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Hardware 1", "Hardware 2", "Simulated Andromeda"}));
  MidiInCaps caps;
  EXPECT_EQ(composite.InGetDevCaps(3, caps), MMSYSERR_BADDEVICEID);

  TMidiOutput output(composite, dispatcher);
  output.SetProductName("Simulated Andromeda");
  EXPECT_EQ(output.DeviceID(), 2);
  ASSERT_TRUE(output.Open());
  int done = 0;
  output.SetOnmidioutput([&](TMidiOutput&) { ++done; });
  output.SendLong(Sysex(9));
  ASSERT_TRUE(dispatcher.DispatchUntil([&] { return done == 1; }, kPatience));
  EXPECT_EQ(sim->Sent(), std::vector<Bytes>{Sysex(9)});
  EXPECT_TRUE(output.Close());

  TMidiInput input(composite, dispatcher);
  input.SetDeviceID(2);
  Collect(input);
  input.Open();
  input.Start();
  sim->Inject(Sysex(5000, 4));
  ASSERT_TRUE(WaitForReceived(2));
  EXPECT_EQ(received[0].size(), 4096u);
  input.Close();
}

TEST(MidiOutputDriver, AbandonReportsEverythingGivenUpAndRefusesLaterSends) {
  // Each done notice as header and result, in one list.
  std::vector<std::uintptr_t> done;
  VirtualMidiService owner;
  MidiOutputDriver driver(
      owner,
      [](void*, unsigned message, void* instance, std::uintptr_t p1, std::uintptr_t p2) {
        auto* out = static_cast<std::vector<std::uintptr_t>*>(instance);
        if (message == MOM_DONE) out->insert(out->end(), {p1, p2});
      },
      &done);
  Bytes data = Sysex(9);
  MidiHdr a{data.data(), 9, 0, nullptr, 0, nullptr}, b = a;
  ASSERT_EQ(driver.Prepare(&a), MMSYSERR_NOERROR);
  ASSERT_EQ(driver.Prepare(&b), MMSYSERR_NOERROR);
  ASSERT_EQ(driver.LongMsg(&a), MMSYSERR_NOERROR);
  ASSERT_EQ(driver.LongMsg(&b), MMSYSERR_NOERROR);
  MidiOutputDriver::Item item;
  ASSERT_TRUE(driver.TryNext(item));  // a is being sent and never comes back
  EXPECT_EQ(driver.Close(), MIDIERR_STILLPLAYING);
  driver.Abandon();
  // Neither left: never to be taken for sent.
  EXPECT_EQ(done,
            (std::vector<std::uintptr_t>{reinterpret_cast<std::uintptr_t>(&a), MIDIERR_NOTREADY,
                                         reinterpret_cast<std::uintptr_t>(&b), MIDIERR_NOTREADY}));
  driver.Finish(item);  // too late: not reported twice
  EXPECT_EQ(done.size(), 4u);
  EXPECT_EQ(driver.LongMsg(&a), MIDIERR_NODEVICE);
  EXPECT_EQ(driver.Unprepare(&a), MMSYSERR_NOERROR);
  EXPECT_EQ(driver.Close(), MMSYSERR_NOERROR);
}

}  // namespace
}  // namespace quorle
