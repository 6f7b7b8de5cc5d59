#include "library/BankComposer.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <stdexcept>
#include <utility>

#include "protocol/DumpName.h"
#include "protocol/SysexFile.h"

namespace quorle::library {

namespace {

bool InBank(int slot) {
  return slot >= 0 && slot < static_cast<int>(kBankEntries);
}

// The bytes a bank file takes from a dump put into a slot: all but the bank and entry bytes,
// which MakeBank sets.
bool SameContent(ByteView a, ByteView b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (i != 6 && i != 7 && a[i] != b[i]) return false;
  }
  return true;
}

}  // namespace

BankComposer::BankComposer(const DumpKind& kind) : kind_(kind) {}

bool BankComposer::Start(ByteView base, std::string source) {
  if (base.size() != kind_.BankFileSize() || !IsSoundBank(kind_, base)) return false;
  base_.assign(base.begin(), base.end());
  source_ = std::move(source);
  for (int i = 0; i < static_cast<int>(kBankEntries); ++i) {
    const ByteView record = BaseRecord(i);
    slots_[static_cast<std::size_t>(i)] = Slot{Bytes(record.begin(), record.end()), std::nullopt};
  }
  history_.clear();
  done_ = saved_ = 0;
  ++revision_;
  return true;
}

ByteView BankComposer::BaseRecord(int slot) const {
  return ByteView(base_).subspan(static_cast<std::size_t>(slot) * kind_.dumpSize, kind_.dumpSize);
}

const BankComposer::Slot& BankComposer::At(int slot) const {
  if (!InBank(slot)) throw std::out_of_range("slot " + std::to_string(slot));
  return slots_[static_cast<std::size_t>(slot)];
}

std::string BankComposer::Name(int slot) const {
  const Slot& s = At(slot);
  return s.dump.empty() ? std::string(kNameLength, ' ') : DumpName(kind_, s.dump);
}

std::string BankComposer::Cell(int slot) const {
  char number[8];
  std::snprintf(number, sizeof number, "%3.3d ", slot);
  return number + Name(slot);
}

bool BankComposer::Changed(int slot) const {
  return Started() && !SameContent(At(slot).dump, BaseRecord(slot));
}

bool BankComposer::Put(int first, const std::vector<Dropped>& dumps) {
  if (!Started() || !InBank(first) || dumps.empty()) return false;
  for (const Dropped& d : dumps) {
    if (d.dump.size() != kind_.dumpSize || !CheckDumpFraming(kind_, d.dump)) return false;
  }
  Change change;
  for (std::size_t i = 0; i < dumps.size() && InBank(first + static_cast<int>(i)); ++i) {
    const int slot = first + static_cast<int>(i);
    change.before.emplace_back(slot, At(slot));
    change.after.emplace_back(slot, Slot{dumps[i].dump, dumps[i].id});
  }
  Record(std::move(change));
  return true;
}

bool BankComposer::Swap(int a, int b) {
  if (!Started() || !InBank(a) || !InBank(b) || a == b) return false;
  Change change;
  change.before = {{a, At(a)}, {b, At(b)}};
  change.after = {{a, At(b)}, {b, At(a)}};
  Record(std::move(change));
  return true;
}

void BankComposer::Record(Change change) {
  // A change after some undos forgets what was undone; a save point among it can never return.
  if (saved_ > done_) saved_ = std::numeric_limits<std::size_t>::max();
  history_.resize(done_);
  Apply(change.after);
  history_.push_back(std::move(change));
  done_ = history_.size();
}

void BankComposer::Apply(const std::vector<std::pair<int, Slot>>& slots) {
  ++revision_;
  for (const auto& [slot, content] : slots) slots_[static_cast<std::size_t>(slot)] = content;
}

void BankComposer::Undo() {
  if (!CanUndo()) return;
  --done_;
  Apply(history_[done_].before);
}

void BankComposer::Redo() {
  if (!CanRedo()) return;
  Apply(history_[done_].after);
  ++done_;
}

std::vector<std::pair<int, DumpId>> BankComposer::Choices() const {
  std::vector<std::pair<int, DumpId>> choices;
  for (int i = 0; i < static_cast<int>(kBankEntries); ++i) {
    if (Changed(i) && At(i).from) choices.emplace_back(i, *At(i).from);
  }
  return choices;
}

Bytes BankComposer::Build() const {
  std::vector<std::pair<int, Bytes>> put;
  for (int i = 0; i < static_cast<int>(kBankEntries); ++i) {
    if (Changed(i)) put.emplace_back(i, At(i).dump);
  }
  return MakeBank(kind_, base_, put);
}

}  // namespace quorle::library
