#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "library/Library.h"
#include "protocol/DumpKind.h"
#include "protocol/MessageSet.h"

namespace quorle::library {

// One Program or Mix bank being put together from a base bank and library dumps: the 128 slots,
// which of them differ from the base, and the history of every change for Undo and Redo. What it
// builds is MakeBank over the base with the changed slots, so the command line's make-bank and
// the window write the same bytes for the same choices.
class BankComposer {
 public:
  struct Slot {
    Bytes dump;                  // as stored in the library or the base, byte-exact
    std::optional<DumpId> from;  // the library dump it came from; nothing for the base's own
  };

  explicit BankComposer(const DumpKind& kind);

  const DumpKind& Kind() const { return kind_; }
  // Starts over from a bank file's bytes (a file, a bank the library saw whole, the instrument);
  // the history goes. False, and nothing changes, when base is not a sound bank of the kind.
  bool Start(ByteView base, std::string source);
  bool Started() const { return !base_.empty(); }
  // Where the base came from, as the window shows it.
  const std::string& Source() const { return source_; }

  const Slot& At(int slot) const;
  // The slot's name bytes as the dump holds them, and "005 " before them as the rename grid
  // shows a cell.
  std::string Name(int slot) const;
  std::string Cell(int slot) const;
  // Whether the slot would be written otherwise than the base holds it.
  bool Changed(int slot) const;

  // Puts library dumps into consecutive slots from first (those past slot 127 are left out), one
  // change for Undo. False, and nothing changes, for a dump that is not a whole dump of the
  // bank's kind, or a slot outside the bank.
  struct Dropped {
    DumpId id;
    Bytes dump;
  };
  bool Put(int first, const std::vector<Dropped>& dumps);
  // The two slots trade places. False for a slot outside the bank or a slot onto itself.
  bool Swap(int a, int b);

  bool CanUndo() const { return done_ > 0; }
  bool CanRedo() const { return done_ < history_.size(); }
  void Undo();
  void Redo();

  // Changes since the last save or start.
  bool Unsaved() const { return done_ != saved_; }
  void MarkSaved() { saved_ = done_; }
  // Counts every start, change, undo and redo: what was shown at one count is still all there is.
  std::uint64_t Revision() const { return revision_; }

  // The library choices as make-bank takes them: each changed slot with its dump's library id,
  // where it has one.
  std::vector<std::pair<int, DumpId>> Choices() const;
  // The bank file: the base with every changed slot put in, through MakeBank.
  Bytes Build() const;

 private:
  // One step of the history: the slots it touched, as they were before and after it.
  struct Change {
    std::vector<std::pair<int, Slot>> before, after;
  };
  void Apply(const std::vector<std::pair<int, Slot>>& slots);
  void Record(Change change);
  ByteView BaseRecord(int slot) const;

  const DumpKind& kind_;
  Bytes base_;
  std::string source_;
  std::array<Slot, kBankEntries> slots_;
  std::vector<Change> history_;
  std::size_t done_ = 0;   // steps of history_ in effect
  std::size_t saved_ = 0;  // done_ when last saved
  std::uint64_t revision_ = 0;
};

}  // namespace quorle::library
