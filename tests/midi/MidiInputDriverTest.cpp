#include "midi/MidiInputDriver.h"

#include <gtest/gtest.h>

#include <vector>

#include "midi/MidiSystemLog.h"
#include "midi/MidiTestSupport.h"
#include "midi/VirtualMidiService.h"

namespace quorle {
namespace {

struct Delivery {
  unsigned message;
  std::uintptr_t p1;
  Bytes bytes;  // of a long buffer, as recorded when it was handed back
};

void Record(void*, unsigned message, void* instance, std::uintptr_t p1, std::uintptr_t) {
  auto* out = static_cast<std::vector<Delivery>*>(instance);
  Delivery d{message, p1, {}};
  if (message == MIM_LONGDATA || message == MIM_LONGERROR) {
    const auto* h = reinterpret_cast<MidiHdr*>(p1);
    d.bytes.assign(h->lpData, h->lpData + h->dwBytesRecorded);
  }
  out->push_back(std::move(d));
}

struct DriverTest : ::testing::Test {
  VirtualMidiService owner;
  std::vector<Delivery> deliveries;
  MidiInputDriver driver{owner, &Record, &deliveries};
  std::vector<Bytes> blocks;
  std::vector<MidiHdr> headers;

  void Lodge(std::size_t count, std::size_t size) {
    blocks.assign(count, Bytes(size));
    headers.assign(count, MidiHdr{});
    for (std::size_t i = 0; i < count; ++i) {
      headers[i].lpData = blocks[i].data();
      headers[i].dwBufferLength = static_cast<std::uint32_t>(size);
      ASSERT_EQ(driver.Prepare(&headers[i]), MMSYSERR_NOERROR);
      ASSERT_EQ(driver.AddBuffer(&headers[i]), MMSYSERR_NOERROR);
    }
  }
};

TEST_F(DriverTest, AMessageLongerThanOneBufferFillsSeveralInOrder) {
  Lodge(3, 4096);
  driver.Start();
  const Bytes message = test::Sysex(5000);
  driver.Receive(message);
  ASSERT_EQ(deliveries.size(), 2u);
  EXPECT_EQ(deliveries[0].message, MIM_LONGDATA);
  EXPECT_EQ(deliveries[0].p1, reinterpret_cast<std::uintptr_t>(&headers[0]));
  EXPECT_EQ(deliveries[0].bytes, Bytes(message.begin(), message.begin() + 4096));
  EXPECT_EQ(deliveries[1].p1, reinterpret_cast<std::uintptr_t>(&headers[1]));
  EXPECT_EQ(deliveries[1].bytes, Bytes(message.begin() + 4096, message.end()));
  EXPECT_EQ(headers[0].dwFlags & (MHDR_DONE | MHDR_INQUEUE), MHDR_DONE);
  EXPECT_EQ(headers[2].dwFlags & MHDR_INQUEUE, MHDR_INQUEUE);
}

TEST_F(DriverTest, WhatFindsNoBufferWaitsInOrderForTheNextOneAndResetDropsIt) {
  Lodge(1, 16);
  driver.Start();
  const Bytes first = test::Sysex(40);
  driver.Receive(first);  // fills the one buffer; the rest waits for it to come back
  driver.Receive(Bytes{0x90, 0x3C, 0x40});
  driver.Receive(test::Sysex(8, 3));
  ASSERT_EQ(deliveries.size(), 1u);
  EXPECT_EQ(deliveries[0].bytes, Bytes(first.begin(), first.begin() + 16));

  for (int i = 0; i < 2; ++i) ASSERT_EQ(driver.AddBuffer(&headers[0]), MMSYSERR_NOERROR);
  // The short message keeps its place behind the SysEx, ahead of the next one.
  ASSERT_EQ(deliveries.size(), 4u);
  EXPECT_EQ(deliveries[1].bytes, Bytes(first.begin() + 16, first.begin() + 32));
  EXPECT_EQ(deliveries[2].bytes, Bytes(first.begin() + 32, first.end()));
  EXPECT_EQ(deliveries[3].message, MIM_DATA);
  EXPECT_EQ(deliveries[3].p1, 0x403C90u);
  ASSERT_EQ(driver.AddBuffer(&headers[0]), MMSYSERR_NOERROR);
  ASSERT_EQ(deliveries.size(), 5u);
  EXPECT_EQ(deliveries[4].bytes, test::Sysex(8, 3));

  driver.Receive(test::Sysex(40));
  ASSERT_EQ(driver.Reset(), MMSYSERR_NOERROR);
  const std::size_t afterReset = deliveries.size();
  ASSERT_EQ(driver.Start(), MMSYSERR_NOERROR);
  ASSERT_EQ(driver.AddBuffer(&headers[0]), MMSYSERR_NOERROR);
  EXPECT_EQ(deliveries.size(), afterReset);  // what waited was given up with the reset
}

TEST(DriverStore, WhatFindsNoRoomIsCountedAndWhatWaitsArrivesWholeAcrossTheStoresEnd) {
  VirtualMidiService owner;
  std::vector<Delivery> deliveries;
  MidiInputDriver driver(owner, &Record, &deliveries, 64);  // small, so that it fills and wraps
  Bytes block(16);
  MidiHdr header{block.data(), 16, 0, nullptr, 0, nullptr};
  const auto lodge = [&](int times) {
    for (int i = 0; i < times; ++i) {
      ASSERT_EQ(driver.Prepare(&header), MMSYSERR_NOERROR);
      ASSERT_EQ(driver.AddBuffer(&header), MMSYSERR_NOERROR);
    }
  };
  lodge(1);
  driver.Start();
  const Bytes m1 = test::Sysex(20, 1), m2 = test::Sysex(20, 2), m3 = test::Sysex(20, 3);
  driver.Receive(m1);  // 16 bytes filed; the message waits for the rest
  driver.Receive(m2);
  driver.Receive(m3);  // 24 + 24 bytes of the 64 are taken: no room
  ASSERT_EQ(deliveries.size(), 2u);
  EXPECT_EQ(deliveries[1].message, MIM_OVERFLOW);
  EXPECT_EQ(deliveries[1].p1, 1u);
  EXPECT_EQ(driver.Lost(), 1u);

  lodge(3);
  // The next one no longer fits before the end of the store and starts at its beginning.
  const Bytes m4 = test::Sysex(28, 4);
  driver.Receive(m4);
  lodge(2);
  // Nothing is left over: the next message starts in the buffer lodged beforehand.
  lodge(1);
  const Bytes m5 = test::Sysex(20, 5);
  driver.Receive(m5);
  lodge(1);
  std::vector<Bytes> messages(1);
  for (const Delivery& d : deliveries) {
    if (d.message != MIM_LONGDATA) continue;
    messages.back().insert(messages.back().end(), d.bytes.begin(), d.bytes.end());
    if (messages.back().back() == kSysexEnd) messages.emplace_back();
  }
  messages.pop_back();
  EXPECT_EQ(messages, (std::vector<Bytes>{m1, m2, m4, m5}));
  EXPECT_EQ(deliveries.size(), 9u);  // two buffers each and the overflow: nothing else
}

// As ALSA's sequencer delivers SysEx: in pieces of 256 bytes.
void Pieces(MidiInputDriver& driver, ByteView message, std::size_t from, std::size_t to) {
  for (std::size_t pos = from; pos < to; pos += 256) {
    driver.ReceivePiece(message.subspan(pos, std::min<std::size_t>(256, to - pos)));
  }
}

TEST_F(DriverTest, ASysexJoinedAcrossLostInputIsNeverHandedOnWholeNorIsTheTailThatFollows) {
  Lodge(40, 4096);
  driver.Start();
  MidiSystemLog::Main().Take();
  const Bytes first = test::Sysex(2350, 1), second = test::Sysex(2350, 2),
              third = test::Sysex(2350, 3);
  Pieces(driver, first, 0, 768);
  driver.InputLost();  // the kernel emptied the pool: the rest of first and the head of second
  Pieces(driver, second, 1024, second.size());
  Pieces(driver, third, 0, third.size());
  driver.Receive(Bytes{0x90, 0x3C, 0x40});

  ASSERT_EQ(deliveries.size(), 3u);
  EXPECT_EQ(deliveries[0].message, MIM_INPUTLOST);
  EXPECT_EQ(deliveries[0].p1, 1u);
  EXPECT_EQ(deliveries[1].message, MIM_LONGDATA);
  EXPECT_EQ(deliveries[1].bytes, third);
  EXPECT_EQ(deliveries[2].message, MIM_DATA);
  EXPECT_EQ(driver.InputLosses(), 1u);
  const auto log = MidiSystemLog::Main().Take();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_NE(log[0].find("MIDI input overflowed"), std::string::npos);
  EXPECT_NE(log[0].find("(loss 1 "), std::string::npos);

  // One cut short by a new one goes on as it is, seen as damaged; one too long to join goes on
  // cut short, and its rest is dropped.
  Pieces(driver, first, 0, 512);
  Pieces(driver, second, 0, second.size());
  const Bytes huge = test::Sysex(MidiInputDriver::kJoinBytes + 300, 4);
  Pieces(driver, huge, 0, huge.size());
  std::vector<Delivery> done(deliveries.begin() + 3, deliveries.end());
  ASSERT_GE(done.size(), 3u);
  EXPECT_EQ(done[0].message, MIM_LONGERROR);
  EXPECT_EQ(done[0].bytes, Bytes(first.begin(), first.begin() + 512));
  EXPECT_EQ(done[1].bytes, second);
  Bytes cut;
  for (std::size_t i = 2; i < done.size(); ++i)
    cut.insert(cut.end(), done[i].bytes.begin(), done[i].bytes.end());
  EXPECT_EQ(cut, Bytes(huge.begin(), huge.begin() + MidiInputDriver::kJoinBytes));
  EXPECT_EQ(done.back().message, MIM_LONGERROR);
}

TEST_F(DriverTest, AnUnterminatedMessageIsReportedAsAnError) {
  Lodge(1, 64);
  driver.Start();
  driver.Receive(Bytes{0xF0, 0x01, 0x02});
  ASSERT_EQ(deliveries.size(), 1u);
  EXPECT_EQ(deliveries[0].message, MIM_LONGERROR);
}

TEST_F(DriverTest, ShortMessagesArePackedAndNothingArrivesBeforeStart) {
  driver.Receive(Bytes{0x90, 0x3C, 0x7F});
  EXPECT_TRUE(deliveries.empty());
  driver.Start();
  driver.Receive(Bytes{0x90, 0x3C, 0x7F});
  driver.Receive(Bytes{0xC0, 0x05});
  driver.Receive(Bytes{0xFE});
  driver.Receive(Bytes{0x3C});  // a data byte without status is nothing
  ASSERT_EQ(deliveries.size(), 3u);
  EXPECT_EQ(deliveries[0].p1, 0x7F3C90u);
  EXPECT_EQ(deliveries[1].p1, 0x05C0u);
  EXPECT_EQ(deliveries[2].p1, 0xFEu);
}

TEST_F(DriverTest, BuffersMustBePreparedAndCannotBeUnpreparedWhileLodged) {
  Bytes block(8);
  MidiHdr header{block.data(), 8, 0, nullptr, 0, nullptr};
  EXPECT_EQ(driver.AddBuffer(&header), MIDIERR_UNPREPARED);
  ASSERT_EQ(driver.Prepare(&header), MMSYSERR_NOERROR);
  EXPECT_EQ(driver.Prepare(&header), MMSYSERR_NOERROR);  // again: no change
  ASSERT_EQ(driver.AddBuffer(&header), MMSYSERR_NOERROR);
  EXPECT_EQ(driver.AddBuffer(&header), MIDIERR_STILLPLAYING);
  EXPECT_EQ(driver.Unprepare(&header), MIDIERR_STILLPLAYING);
  EXPECT_EQ(driver.Close(), MIDIERR_STILLPLAYING);
  MidiHdr empty;
  EXPECT_EQ(driver.Prepare(&empty), MMSYSERR_INVALPARAM);
}

TEST_F(DriverTest, ResetHandsEveryBufferBackEmptyAndStopsInput) {
  Lodge(2, 32);
  driver.Start();
  ASSERT_EQ(driver.Reset(), MMSYSERR_NOERROR);
  ASSERT_EQ(deliveries.size(), 2u);
  EXPECT_TRUE(deliveries[0].bytes.empty());
  EXPECT_EQ(deliveries[1].p1, reinterpret_cast<std::uintptr_t>(&headers[1]));
  driver.Receive(Bytes{0x90, 1, 1});
  EXPECT_EQ(deliveries.size(), 2u);
  EXPECT_EQ(driver.Unprepare(&headers[0]), MMSYSERR_NOERROR);
  EXPECT_EQ(driver.Close(), MMSYSERR_NOERROR);
  driver.Start();
  driver.Receive(Bytes{0x90, 1, 1});
  EXPECT_EQ(deliveries.size(), 2u);  // closed: no callback ever again
}

}  // namespace
}  // namespace quorle
