#include "protocol/BackupFile.h"

#include <algorithm>
#include <tuple>

namespace quorle {

std::string BackupFile::NameOf(FileKind kind, int bank) {
  if (kind == FileKind::Global) return bank == -1 ? "Global Data.syx" : "";
  const DumpKind* dump = DumpKindOf(kind);
  if (!dump || RecordCount(kind) != kBankEntries || bank < 0 || bank > dump->LastBank()) {
    return "";
  }
  const std::string what = kind == FileKind::ProgramBank ? "Programs " : "Mixes ";
  if (bank == 0) return what + "User.syx";
  if (dump->IsCardBank(bank))
    return what + "Card " + std::to_string(bank - dump->firstCardBank + 1) + ".syx";
  // Programs have two preset banks, Mixes one.
  if (dump->firstCardBank > 2) return what + "Preset " + std::to_string(bank) + ".syx";
  return what + "Preset.syx";
}

std::vector<BackupFile> BackupFiles(int programCardBanks, int mixCardBanks, bool withPresets) {
  std::vector<BackupFile> files;
  auto add = [&](FileKind kind, int bank) {
    files.push_back({kind, bank, BackupFile::NameOf(kind, bank)});
  };
  add(FileKind::Global, -1);
  for (const auto& [kind, dump, cardBanks] :
       {std::tuple{FileKind::ProgramBank, &kProgramKind, programCardBanks},
        std::tuple{FileKind::MixBank, &kMixKind, mixCardBanks}}) {
    add(kind, 0);
    for (int k = 0; k < std::min(cardBanks, 14); ++k) add(kind, dump->firstCardBank + k);
  }
  if (withPresets) {
    for (int bank = 1; bank < kProgramKind.firstCardBank; ++bank) add(FileKind::ProgramBank, bank);
    for (int bank = 1; bank < kMixKind.firstCardBank; ++bank) add(FileKind::MixBank, bank);
  }
  return files;
}

}  // namespace quorle
