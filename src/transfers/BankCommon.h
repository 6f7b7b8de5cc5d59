#pragma once

// What the bank operations (fetch, send, rename, split) share.
#include <cstdio>
#include <string>

#include "dialogs/BankChooser.h"
#include "protocol/DumpKind.h"

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

// The bank numbers a request may carry: User, the presets and the fourteen card banks.
inline bool IsBankNumber(const DumpKind& kind, int bank) {
  return bank >= 0 && bank < kind.firstCardBank + BankChooser::kCardBanks;
}

inline std::string BankRefusal(const DumpKind& kind) {
  return IsProgram(kind) ? " is not a Program Bank Dump" : " is not a Mix Bank Dump";
}

}  // namespace quorle
