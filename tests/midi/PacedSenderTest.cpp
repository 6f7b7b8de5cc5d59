#include "midi/PacedSender.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <vector>

#include "midi/AlsaSeqOutput.h"
#include "midi/MidiTestSupport.h"

namespace quorle {
namespace {

using std::chrono::milliseconds;
using Clock = PacedSender::Clock;

// A clock that moves only when the sender sleeps, so the schedule is exact and instant.
class FakeTiming : public PacedSender::Timing {
 public:
  Clock::time_point Now() override { return now; }
  void SleepUntil(Clock::time_point when) override { now = std::max(now, when); }
  Clock::time_point now{};
};

struct Piece {
  milliseconds at;
  Bytes bytes;
};

struct PacedTest : ::testing::Test {
  FakeTiming clock;
  std::vector<Piece> sent;
  PacedSender::SendPiece Record() {
    return [this](ByteView piece, std::string&) {
      sent.push_back({std::chrono::duration_cast<milliseconds>(clock.now.time_since_epoch()),
                      Bytes(piece.begin(), piece.end())});
      return true;
    };
  }
  static bool Always() { return true; }
};

// The Global Data over ALSA: 256-byte SysEx events at the wire rate, each after the last has had
// its time on the wire; sent once the last has had its own, and the next message after all of them.
TEST_F(PacedTest, ALongMessageGoesInWholePiecesEachAfterTheWireTimeOfTheOneBefore) {
  PacedSender paced(3125, AlsaSeqOutput::kPieceSize, &clock);
  const Bytes global = test::Sysex(kGlobalDumpSize, 7);
  std::string error;
  ASSERT_EQ(paced.Send(global, Record(), Always, error), PacedSender::Outcome::Sent);
  ASSERT_EQ(sent.size(), 72u);                                         // 71 x 256 + 7
  EXPECT_EQ(clock.now.time_since_epoch(), WireTime(kGlobalDumpSize));  // 5.82 s
  Bytes joined;
  for (std::size_t i = 0; i < sent.size(); ++i) {
    EXPECT_EQ(sent[i].bytes.size(), i + 1 < sent.size() ? 256u : 7u) << "piece " << i;
    // 256 bytes at 3125 a second: 81.92 ms on the wire.
    EXPECT_EQ(sent[i].at.count(), static_cast<long>(i * 81920 / 1000)) << "piece " << i;
    joined.insert(joined.end(), sent[i].bytes.begin(), sent[i].bytes.end());
  }
  EXPECT_EQ(joined, global);
  EXPECT_EQ(sent.front().bytes.front(), kSysexStart);
  EXPECT_EQ(sent.back().bytes.back(), kSysexEnd);

  const Bytes program = test::Sysex(2350, 1);
  ASSERT_EQ(paced.Send(program, Record(), Always, error), PacedSender::Outcome::Sent);
  EXPECT_EQ(sent[72].at, milliseconds(5818));  // 18,183 bytes take 5.82 s on the wire
  EXPECT_EQ(sent.size(), 72u + 10u);
}

TEST_F(PacedTest, ARefusedPieceStopsTheMessageAndAResetStopsItBetweenPieces) {
  PacedSender paced(3125, 256, &clock);
  std::string error;
  int calls = 0;
  const auto refuseThird = [&](ByteView, std::string& e) {
    if (++calls < 3) return true;
    e = "snd_seq_event_output_direct failed: Cannot allocate memory";
    return false;
  };
  EXPECT_EQ(paced.Send(test::Sysex(2350), refuseThird, Always, error),
            PacedSender::Outcome::Refused);
  EXPECT_EQ(calls, 3);
  EXPECT_EQ(error, "snd_seq_event_output_direct failed: Cannot allocate memory");

  // Given up by a reset while it waits for its second piece's turn.
  int asked = 0;
  const auto wantedOnce = [&] { return ++asked == 1; };
  EXPECT_EQ(paced.Send(test::Sysex(2350), Record(), wantedOnce, error),
            PacedSender::Outcome::GivenUp);
  EXPECT_EQ(sent.size(), 1u);

  // Unpaced and uncut: one piece, at once.
  sent.clear();
  PacedSender whole(0, 0, &clock);
  const auto before = clock.now;
  ASSERT_EQ(whole.Send(test::Sysex(18183), Record(), Always, error), PacedSender::Outcome::Sent);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].bytes.size(), 18183u);
  EXPECT_EQ(clock.now, before);
}

// What the ALSA output needs of a port name and of the kernel's pool, without a sequencer.
TEST(AlsaSeqOutput, FindsTheAddressInRtMidisNamesAndSizesThePoolForTheGlobalData) {
  using Address = std::pair<int, int>;
  EXPECT_EQ(AlsaSeqOutput::AddressOf("Midi Through:Midi Through Port-0 14:0"), Address(14, 0));
  EXPECT_EQ(AlsaSeqOutput::AddressOf("UM-ONE:UM-ONE MIDI 1 24:0"), Address(24, 0));
  EXPECT_EQ(AlsaSeqOutput::AddressOf("a:b 1:2:3"), std::nullopt);
  EXPECT_EQ(AlsaSeqOutput::AddressOf("Simulated Andromeda"), std::nullopt);
  EXPECT_EQ(AlsaSeqOutput::AddressOf("x 300:0"), std::nullopt);
  EXPECT_EQ(AlsaSeqOutput::AddressOf("x 20:"), std::nullopt);

  // 71 events of 256 bytes take 1 + 10 cells of 28 bytes, the last of 7 bytes 1 + 1.
  const std::size_t cells = AlsaSeqOutput::PoolCells(kGlobalDumpSize, 256, 28);
  EXPECT_EQ(cells, 71u * 11 + 2);
  EXPECT_GT(cells, AlsaSeqOutput::kDefaultPoolCells);  // why the default pool refuses it
  EXPECT_LT(cells * 2, AlsaSeqOutput::kMaxPoolCells);
}

TEST(AlsaSeqOutput, WithoutASequencerOpeningFailsWithAlsasOwnWords) {
  if (::access("/dev/snd/seq", F_OK) == 0) GTEST_SKIP() << "this machine has a sequencer";
  AlsaSeqOutput output;
  const std::string error = output.Open("Quorle-test", "Midi Through:Midi Through Port-0 14:0");
  EXPECT_EQ(error.rfind("snd_seq_open failed: ", 0), 0u) << error;
  std::string sendError;
  EXPECT_FALSE(output.Send(test::Sysex(9), sendError));
  EXPECT_NE(sendError, "");
}

}  // namespace
}  // namespace quorle
