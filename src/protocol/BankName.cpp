#include "protocol/BankName.h"

namespace quorle {

std::string BankPlace(const DumpKind& kind, int bank) {
  if (bank == 0) return "User";
  if (bank < 0 || bank > kind.LastBank()) return "";
  if (kind.IsCardBank(bank)) return "Card " + std::to_string(bank - kind.firstCardBank + 1);
  // Programs have two preset banks, Mixes one.
  if (kind.firstCardBank > 2) return "Preset " + std::to_string(bank);
  return "Preset";
}

std::string BankName(const DumpKind& kind, int bank) {
  const std::string what = &kind == &kProgramKind ? "Programs " : "Mixes ";
  const std::string place = BankPlace(kind, bank);
  return what + (place.empty() ? "bank " + std::to_string(bank) : place);
}

}  // namespace quorle
