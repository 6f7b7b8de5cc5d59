#include "transfers/EntryCollector.h"

#include <algorithm>

#include "protocol/DumpKind.h"

namespace quorle {

EntryCollector::EntryCollector(std::vector<bool> wanted, bool wholeBank)
    : wanted_(std::move(wanted)),
      held_(kBankEntries),
      givenUp_(kBankEntries),
      askingBank_(wholeBank) {}

EntryCollector EntryCollector::WholeBank() {
  return EntryCollector(std::vector<bool>(kBankEntries, true), true);
}

EntryCollector EntryCollector::Entries(const std::vector<std::size_t>& entries) {
  std::vector<bool> wanted(kBankEntries);
  for (std::size_t n : entries) {
    if (n < kBankEntries) wanted[n] = true;
  }
  return EntryCollector(std::move(wanted), false);
}

EntryCollector::Step EntryCollector::Start() {
  return askingBank_ ? Step::AskBank : NextEntry();
}

EntryCollector::Step EntryCollector::Took(std::size_t n, bool& filled) {
  filled = n < kBankEntries && wanted_[n] && !held_[n];
  if (!filled) return Step::Wait;
  held_[n] = true;
  heard_ = true;
  if (askingBank_) {
    // The instrument sends its bank in order: after the last entry nothing more of it comes.
    return n + 1 == kBankEntries || Missing().empty() ? EndBankRun() : Step::Wait;
  }
  ++fetchedAgain_;
  // Entries of the bank run may still come late, while another one is asked for.
  return n == entry_ ? NextEntry() : Step::Wait;
}

EntryCollector::Step EntryCollector::Damaged() {
  heard_ = true;
  if (askingBank_) return Step::Wait;
  damaged_ = true;
  return TryFailed();
}

EntryCollector::Step EntryCollector::Silence() {
  if (!askingBank_) return TryFailed();
  if (heard_) return EndBankRun();
  if (bankTries_ == kTries) return Step::NoReply;
  ++bankTries_;
  return Step::AskBank;
}

std::size_t EntryCollector::HeldCount() const {
  return static_cast<std::size_t>(std::count(held_.begin(), held_.end(), true));
}

std::vector<std::size_t> EntryCollector::Missing() const {
  std::vector<std::size_t> missing;
  for (std::size_t n = 0; n < kBankEntries; ++n) {
    if (wanted_[n] && !held_[n]) missing.push_back(n);
  }
  return missing;
}

EntryCollector::Step EntryCollector::EndBankRun() {
  askingBank_ = false;
  return NextEntry();
}

EntryCollector::Step EntryCollector::NextEntry() {
  for (std::size_t n = 0; n < kBankEntries; ++n) {
    if (wanted_[n] && !held_[n] && !givenUp_[n]) {
      entry_ = n;
      tries_ = 1;
      damaged_ = false;
      return Step::AskEntry;
    }
  }
  return Step::Done;
}

EntryCollector::Step EntryCollector::TryFailed() {
  if (tries_ < kTries) {
    ++tries_;
    return Step::AskEntry;
  }
  // Silence on every try means the instrument is gone; a damaged dump on any, a bad link.
  if (!damaged_) return Step::NoReply;
  if (!keepGoingWhenDamaged) return Step::Damaged;
  givenUp_[entry_] = true;
  return NextEntry();
}

}  // namespace quorle
