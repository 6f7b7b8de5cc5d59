#pragma once

#include <cstddef>
#include <vector>

namespace quorle {

// What to do next while collecting a bank.
enum class CollectStep : int {
  Wait,      // keep listening
  AskBank,   // send the bank request (again)
  AskEntry,  // send the single request for Entry()
  Done,      // nothing more to ask: every entry is in, or given up (Missing() names them)
  NoReply,   // kTries requests brought no answer at all: the instrument is gone
  Damaged,   // kTries tries of Entry() brought only damaged dumps
};

// Which entries of one bank are in and which are still to come, and what to ask the instrument
// next: the whole bank first (asked again while nothing at all comes), then each entry still
// missing singly, one at a time. Every request gets kTries tries. Plain logic: the window sends
// the requests, times the waits and hands in what arrives.
class EntryCollector {
 public:
  static constexpr int kTries = 3;
  using Step = CollectStep;

  // The whole bank, asked for at once; what the run leaves out is asked for singly.
  static EntryCollector WholeBank();
  // Only these entries, each asked for singly.
  static EntryCollector Entries(const std::vector<std::size_t>& entries);

  // An entry that comes damaged kTries times is given up and the rest still asked for, rather
  // than ending the collection: a verification sends such an entry again.
  bool keepGoingWhenDamaged = false;

  // The first request: AskBank or AskEntry (Done when nothing is wanted).
  Step Start();
  // A sound dump of the bank for entry n arrived; filled tells whether it took a slot (an entry
  // not wanted or already held is passed over).
  Step Took(std::size_t n, bool& filled);
  // A dump arrived that cannot be used: damaged, short, of the wrong kind.
  Step Damaged();
  // The wait for the latest request ran out.
  Step Silence();

  bool AskingBank() const { return askingBank_; }
  // Whether anything of the bank run has come; until then a wait is the reply time-out.
  bool Heard() const { return heard_; }
  std::size_t Entry() const { return entry_; }
  int Try() const { return tries_; }
  bool Held(std::size_t n) const { return n < held_.size() && held_[n]; }
  std::size_t HeldCount() const;
  // Entries that came in answer to a single request, after the bank run.
  std::size_t FetchedAgain() const { return fetchedAgain_; }
  // Wanted entries not held.
  std::vector<std::size_t> Missing() const;

 private:
  explicit EntryCollector(std::vector<bool> wanted, bool wholeBank);
  Step EndBankRun();
  Step NextEntry();
  Step TryFailed();

  std::vector<bool> wanted_, held_, givenUp_;
  bool askingBank_;
  bool heard_ = false;
  int bankTries_ = 1;
  std::size_t entry_ = 0;
  int tries_ = 0;
  bool damaged_ = false;  // a try of Entry() brought a damaged dump
  std::size_t fetchedAgain_ = 0;
};

}  // namespace quorle
