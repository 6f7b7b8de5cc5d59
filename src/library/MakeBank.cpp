#include <set>
#include <stdexcept>

#include "library/Library.h"
#include "protocol/DumpName.h"
#include "protocol/SysexFile.h"

namespace quorle::library {

Bytes MakeBank(const DumpKind& kind, ByteView base,
               const std::vector<std::pair<int, Bytes>>& slots) {
  if (!IsSoundBank(kind, base)) {
    throw std::invalid_argument("the base is not a " + std::string(kind.name) + " bank file");
  }
  Bytes bank(base.begin(), base.end());
  std::set<int> seen;
  for (const auto& [slot, dump] : slots) {
    if (slot < 0 || slot >= static_cast<int>(kBankEntries)) {
      throw std::invalid_argument("slot " + std::to_string(slot) + " is outside 0 to 127");
    }
    if (!seen.insert(slot).second) {
      throw std::invalid_argument("slot " + std::to_string(slot) + " is given twice");
    }
    if (!CheckDumpFraming(kind, dump)) {
      throw std::invalid_argument("the dump for slot " + std::to_string(slot) + " is not a " +
                                  std::string(kind.name));
    }
    const auto record = std::span<std::uint8_t>(bank).subspan(slot * kind.dumpSize, kind.dumpSize);
    const std::uint8_t address = record[6];
    std::copy(dump.begin(), dump.end(), record.begin());
    AddressDump(record, address, static_cast<std::uint8_t>(slot));
  }
  return bank;
}

}  // namespace quorle::library
