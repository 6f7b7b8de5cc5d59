#include "protocol/BackupFile.h"

#include <algorithm>
#include <tuple>

#include "protocol/BankName.h"

namespace quorle {

std::string BackupFile::NameOf(FileKind kind, int bank) {
  if (kind == FileKind::Global) return bank == -1 ? "Global Data.syx" : "";
  const DumpKind* dump = DumpKindOf(kind);
  if (!dump || RecordCount(kind) != kBankEntries || bank < 0 || bank > dump->LastBank()) {
    return "";
  }
  return BankName(*dump, bank) + ".syx";
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
