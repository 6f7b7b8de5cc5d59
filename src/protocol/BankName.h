#pragma once

#include <string>

#include "protocol/DumpKind.h"
#include "protocol/WireTime.h"

namespace quorle {

// "User", "Preset 1", "Preset", "Card 2": a bank as the instrument's panel names it; empty for a
// bank number the kind does not have.
std::string BankPlace(const DumpKind& kind, int bank);

// "Programs User", "Mixes Card 2": a bank as every status, and its backup file, names it. A bank
// number the kind does not have is "Programs bank 20".
std::string BankName(const DumpKind& kind, int bank);

}  // namespace quorle
