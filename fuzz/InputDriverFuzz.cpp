// The input port's buffer filling fed a random stream of MIDI messages, with the port lodging
// buffers of random count and size and giving them back at random points: every SysEx byte comes
// out once and in order, each buffer holds the bytes of one message only and none is overrun,
// short messages keep their place, and stray data bytes go nowhere.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <deque>
#include <memory>
#include <vector>

#include "midi/MidiInputDriver.h"

namespace {

using namespace quorle;

// The driver needs an owner; no call reaches it.
class NoService : public MidiService {
 public:
  unsigned InGetNumDevs() override { return 0; }
  MidiResult InGetDevCaps(unsigned, MidiInCaps&) override { return MMSYSERR_BADDEVICEID; }
  MidiResult InOpen(HMIDIIN*, unsigned, MidiCallback, void*, std::uint32_t) override {
    return MMSYSERR_BADDEVICEID;
  }
  MidiResult InClose(HMIDIIN) override { return MMSYSERR_INVALHANDLE; }
  unsigned OutGetNumDevs() override { return 0; }
  MidiResult OutGetDevCaps(unsigned, MidiOutCaps&) override { return MMSYSERR_BADDEVICEID; }
  MidiResult OutOpen(HMIDIOUT*, unsigned, MidiCallback, void*, std::uint32_t) override {
    return MMSYSERR_BADDEVICEID;
  }
  MidiResult OutClose(HMIDIOUT) override { return MMSYSERR_INVALHANDLE; }
};

struct Message {
  Bytes bytes;
  bool sysex = false;
};

struct Delivery {
  unsigned kind;
  std::uint32_t packed = 0;
  Bytes bytes;
  std::uint32_t length = 0;  // of the buffer
};

struct Port {
  std::vector<Delivery> deliveries;
  std::deque<MidiHdr*> handedBack;
};

void Callback(void*, unsigned kind, void* instance, std::uintptr_t p1, std::uintptr_t) {
  auto& port = *static_cast<Port*>(instance);
  if (kind == MIM_DATA) {
    port.deliveries.push_back({kind, static_cast<std::uint32_t>(p1), {}, 0});
    return;
  }
  auto* header = reinterpret_cast<MidiHdr*>(p1);
  if (header->dwBytesRecorded > header->dwBufferLength) std::abort();
  port.deliveries.push_back({kind, 0,
                             Bytes(header->lpData, header->lpData + header->dwBytesRecorded),
                             header->dwBufferLength});
  port.handedBack.push_back(header);
}

// The status byte's message, with the data bytes it takes.
Bytes ShortMessage(FuzzedDataProvider& in) {
  std::uint8_t status = in.ConsumeIntegralInRange<std::uint8_t>(0x80, 0xFF);
  if (status == 0xF0 || status == 0xF7) status = 0xFE;
  std::size_t data = 2;
  if ((status & 0xE0) == 0xC0 || status == 0xF1 || status == 0xF3) data = 1;
  if (status >= 0xF4 && status != 0xF2) data = 0;
  Bytes m{status};
  for (std::size_t i = 0; i < data; ++i) m.push_back(in.ConsumeIntegral<std::uint8_t>() & 0x7F);
  return m;
}

std::uint32_t Packed(const Bytes& m) {
  std::uint32_t packed = 0;
  for (std::size_t i = 0; i < m.size() && i < 3; ++i) packed |= std::uint32_t{m[i]} << (8 * i);
  return packed;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const auto count = in.ConsumeIntegralInRange<std::size_t>(1, 6);
  const auto length = in.ConsumeIntegralInRange<std::uint32_t>(1, 96);

  NoService service;
  Port port;
  MidiInputDriver driver(service, &Callback, &port);
  // Heap blocks of their exact size, so a write past one is seen.
  std::vector<std::unique_ptr<std::uint8_t[]>> blocks;
  std::vector<MidiHdr> headers(count);
  for (MidiHdr& h : headers) {
    blocks.push_back(std::make_unique<std::uint8_t[]>(length));
    h.lpData = blocks.back().get();
    h.dwBufferLength = length;
    if (driver.Prepare(&h) != MMSYSERR_NOERROR || driver.AddBuffer(&h) != MMSYSERR_NOERROR) {
      std::abort();
    }
  }
  driver.Start();

  auto giveBack = [&](std::size_t n) {
    for (; n > 0 && !port.handedBack.empty(); --n) {
      MidiHdr* h = port.handedBack.front();
      port.handedBack.pop_front();
      if (driver.AddBuffer(h) != MMSYSERR_NOERROR) std::abort();
    }
  };

  std::vector<Message> sent;
  while (in.remaining_bytes() > 0) {
    switch (in.ConsumeIntegralInRange(0, 3)) {
      case 0: {  // SysEx, now and then cut off before its F7
        Bytes m{kSysexStart};
        for (std::uint8_t b : in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange(0, 300))) {
          m.push_back(b & 0x7F);
        }
        if (in.ConsumeIntegralInRange(0, 7) != 0) m.push_back(kSysexEnd);
        driver.Receive(m);
        sent.push_back({std::move(m), true});
        break;
      }
      case 1: {
        Bytes m = ShortMessage(in);
        driver.Receive(m);
        sent.push_back({std::move(m), false});
        break;
      }
      case 2:
        giveBack(in.ConsumeIntegralInRange<std::size_t>(0, count));
        break;
      default:  // data bytes without a status
        driver.Receive(Bytes{static_cast<std::uint8_t>(in.ConsumeIntegral<std::uint8_t>() & 0x7F)});
        break;
    }
  }
  while (!port.handedBack.empty()) giveBack(count);

  // Walk the deliveries along what was sent.
  std::size_t index = 0, offset = 0;
  for (const Delivery& d : port.deliveries) {
    if (index == sent.size()) std::abort();  // more came out than went in
    const Message& m = sent[index];
    if (d.kind == MIM_DATA) {
      if (m.sysex || d.packed != Packed(m.bytes)) std::abort();
      ++index;
      continue;
    }
    if (!m.sysex || d.bytes.empty() || offset + d.bytes.size() > m.bytes.size() ||
        !std::equal(d.bytes.begin(), d.bytes.end(), m.bytes.begin() + offset)) {
      std::abort();
    }
    offset += d.bytes.size();
    if (offset == m.bytes.size()) {
      // The piece that ends a message says whether the message was whole.
      if (d.kind != (m.bytes.back() == kSysexEnd ? MIM_LONGDATA : MIM_LONGERROR)) std::abort();
      ++index;
      offset = 0;
    } else if (d.kind != MIM_LONGDATA || d.bytes.size() != d.length) {
      std::abort();  // a buffer goes back before the message ends only when it is full
    }
  }
  if (index != sent.size()) std::abort();  // something never came out
  driver.Reset();
  driver.Close();
  return 0;
}
