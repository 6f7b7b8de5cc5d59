#pragma once

// What the bank operations (fetch, send, rename, split) share.
#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>

#include "dialogs/BankChooser.h"
#include "protocol/BankName.h"
#include "protocol/DumpKind.h"
#include "protocol/MessageSet.h"

namespace quorle {

inline bool IsProgram(const DumpKind& kind) {
  return kind.opcode == kProgramKind.opcode;
}

// " 005/127 - Name": the progress window's line for entry n.
inline std::string EntryCaption(std::size_t n, const std::string& name) {
  char number[16];
  std::snprintf(number, sizeof number, "%.3d", static_cast<int>(n));
  return std::string(" ") + number + "/127 - " + name;
}

// "Program 010": one entry of a bank, as a pass over it names a lone dump.
inline std::string EntryName(const DumpKind& kind, std::size_t n) {
  char number[16];
  std::snprintf(number, sizeof number, "%.3d", static_cast<int>(n));
  return std::string(kind.name) + " " + number;
}

// The bank numbers a request may carry: User, the presets and the fourteen card banks.
inline bool IsBankNumber(const DumpKind& kind, int bank) {
  return bank >= 0 && bank <= kind.LastBank();
}

// An Andromeda dump that did not arrive whole and sound as one of kind: what a bad link makes of
// an answer. A sound dump of the other kind is no answer at all, not a damaged one.
inline bool IsDamagedDump(const DumpKind& kind, ByteView m) {
  if (m.size() < kHeaderSize || !std::equal(std::begin(kHeader), std::end(kHeader), m.begin()))
    return false;
  if (m[5] != kProgramKind.opcode && m[5] != kMixKind.opcode) return false;
  const DumpKind& other = IsProgram(kind) ? kMixKind : kProgramKind;
  if (m.size() == other.dumpSize && CheckDumpFraming(other, m)) return false;
  return !(m.size() == kind.dumpSize && CheckDumpFraming(kind, m));
}

// A send to a card bank the inserted card lacks, once the card's size is known (banksOnCard
// -1: not known): the status that refuses it, or nothing.
inline std::optional<std::string> NotOnCardRefusal(const DumpKind& kind, int bank,
                                                   int banksOnCard) {
  if (!kind.IsCardBank(bank) || banksOnCard < 0 || bank - kind.firstCardBank < banksOnCard) {
    return std::nullopt;
  }
  return " " + BankName(kind, bank) + " is not on the card (" + std::to_string(banksOnCard) +
         (banksOnCard == 1 ? " bank" : " banks") + "): nothing was sent";
}

inline std::string BankRefusal(const DumpKind& kind) {
  return IsProgram(kind) ? " is not a Program Bank Dump" : " is not a Mix Bank Dump";
}

}  // namespace quorle
