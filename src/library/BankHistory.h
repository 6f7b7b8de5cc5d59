#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "library/BankComposer.h"
#include "library/Library.h"

namespace quorle::library {

// One slot of an instrument bank as the library last saw it there.
struct SlotSeen {
  DumpId id = 0;
  How how = How::Fetched;         // Fetched, Sent, or Replaced (kept just before a send)
  std::string seen;               // ISO-8601, UTC
  std::string name;               // as the library lists it
  bool onlyOnInstrument = false;  // no file or backup holds the dump
};

// An instrument bank as the library last saw each of its slots: what a fetch found, what was
// sent there, or what a safety copy kept. Newer than any one sighting of the whole bank, because
// every later send of a single dump or a renamed bank counts for its slots.
struct LastSeenBank {
  const DumpKind* kind = nullptr;
  int bank = 0;
  std::array<std::optional<SlotSeen>, kBankEntries> entries;

  bool Whole() const;
  // The oldest and the newest sighting among the slots; empty when none was seen.
  std::string Oldest() const;
  std::string Newest() const;
};

// A bank the composer offers to start from: an instrument bank as last seen slot by slot, or a
// bank the library saw whole once.
struct BankToStartFrom {
  std::optional<LastSeenBank> lastSeen;
  std::optional<WholeBank> whole;
  std::string seen;  // the newest sighting it holds, ISO-8601
};

// Every instrument bank of the kind whose slots were all seen, as last seen, and every bank seen
// whole: newest first.
std::vector<BankToStartFrom> BanksToStartFrom(const Library& library, const DumpKind& kind);
// The bank file's bytes of one of them; nothing when the library no longer holds it whole.
std::optional<Bytes> BankFileOf(const Library& library, const BankToStartFrom& bank);

// What a send of the composed bank to the instrument's bank would do besides the composer's own
// changes, as far as the library knows that bank.
struct SendPreview {
  struct Other {
    int slot = 0;
    std::string was;      // the name last seen there, trailing blanks trimmed
    std::string becomes;  // the name the composed bank puts there
  };
  std::vector<Other> others;  // slots not changed in the composer whose sound or name differs
  int unseen = 0;             // slots not changed in the composer that the library never saw there
};
SendPreview PreviewSend(const Library& library, const BankComposer& composer, int bank);

}  // namespace quorle::library
