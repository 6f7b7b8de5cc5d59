#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "protocol/DumpKind.h"
#include "protocol/MessageSet.h"

namespace quorle {

// A verified send: what went to the instrument, part by part (a bank, or one entry), and how the
// instrument's copy compares when read back. Entries that did not take are sent again, singly,
// for up to kRounds rounds, each with twice the pause after each dump of the round before.
class SendVerification {
 public:
  static constexpr int kRounds = 3;
  // The least pause the rounds double, so a send delay of 0 still grows.
  static constexpr int kLeastPause = 10;

  struct Part {
    const DumpKind* kind = nullptr;
    int bank = 0;
    std::map<std::size_t, Bytes> sent;  // by entry, as sent (addressed to bank and entry)
    std::string label;                  // how a failure names the part; empty for a lone part
  };

  // verifiedStatus: what the send says once all took; failStatus: the start of what it says
  // when some did not.
  SendVerification(std::vector<Part> parts, int sendDelay, std::string verifiedStatus,
                   std::string failStatus);

  const Part& Current() const { return parts_[part_]; }
  // Whether Current() is a whole bank read back for the first time (else its entries singly).
  bool WholeBank() const { return round_ == 0 && Current().sent.size() == kBankEntries; }
  int Round() const { return round_; }
  // The pause after each dump of this round's send.
  int Pause() const;

  // Whether two dumps of kind hold the same sound: their unpacked data less the card counts,
  // which the instrument writes itself.
  static bool SameSound(const DumpKind& kind, ByteView a, ByteView b);
  // The entries of Current() that did not take: readBack(n) is what came back, empty if nothing.
  std::vector<std::size_t> Compare(const std::function<ByteView(std::size_t)>& readBack) const;

  // After Compare: false when every entry took or the rounds are used up (the part then moves
  // on, remembering what failed); true when another round is to send these entries again.
  bool NextRound(const std::vector<std::size_t>& failed);
  // Moves to the next part; false when there is none.
  bool NextPart();

  // The closing status: verifiedStatus, or failStatus and what did not take.
  std::string Status() const;
  bool Verified() const { return failures_.empty(); }

 private:
  std::vector<Part> parts_;
  std::size_t part_ = 0;
  int round_ = 0;
  int sendDelay_;
  int workedPause_ = 0;  // the longest pause a part needed before it took
  std::string verifiedStatus_, failStatus_;
  std::vector<std::string> failures_;
};

}  // namespace quorle
