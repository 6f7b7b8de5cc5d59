#pragma once

#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "protocol/DumpKind.h"
#include "protocol/MessageSet.h"

namespace quorle {

// Places of one bank a send is about to overwrite: all 128 entries, or some.
struct ReplacedPlaces {
  const DumpKind* kind = nullptr;
  int bank = 0;
  std::vector<std::size_t> entries;
};

// What the window logic tells about the dumps it moves, so a catalogue can keep track of what the
// instrument held and when. The window never includes the catalogue; a front end connects one.
class DumpListener {
 public:
  // One dump a send is about to overwrite, with the place it is fetched from.
  struct Replaced {
    const DumpKind* kind;
    ByteView dump;
    int bank;
    int entry;
  };
  virtual ~DumpListener() = default;
  // A dump fetched from the instrument's bank and entry (single, bank, split, rename, backup).
  // Returns false when it could not be recorded; the transfer goes on regardless.
  virtual bool DumpFetched(const DumpKind& kind, ByteView dump, int bank, int entry) = 0;
  // All 128 entries of one bank fetched in one run (bank fetch, split, rename, backup), each
  // already reported by DumpFetched: the bank as it stood, whole.
  virtual bool BankFetched(std::span<const Replaced> entries) {
    (void)entries;
    return true;
  }
  // A dump sent to the instrument's bank and entry (single, bank, rename, restore).
  virtual bool DumpSent(const DumpKind& kind, ByteView dump, int bank, int entry) = 0;
  // What a send is about to overwrite, fetched just before it: must be kept before the send starts.
  // note names what replaces it. False when it could not be kept: the send must not start.
  virtual bool KeepReplaced(const DumpKind& kind, ByteView dump, int bank, int entry,
                            const std::string& note) = 0;
  // Many at once (a bank, a restore's banks): all kept, or none and false.
  virtual bool KeepReplacedAll(std::span<const Replaced> dumps, const std::string& note) = 0;
  // A fetch, split or rename wrote this file whole (each file of a split), or a backup this
  // folder: the catalogue takes their dumps as held there.
  virtual void FileWritten(const std::filesystem::path& file) { (void)file; }
  // Of the bank's slots just fetched, how many dumps exist nowhere else: no file or backup holds
  // them.
  virtual int NowhereElse(const DumpKind& kind, int bank) {
    (void)kind;
    (void)bank;
    return 0;
  }
};

}  // namespace quorle
