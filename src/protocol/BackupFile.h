#pragma once

#include <string>
#include <vector>

#include "protocol/SysexFile.h"

namespace quorle {

// One file of a whole-instrument backup: a bank file or the Global Data file, under a fixed name.
struct BackupFile {
  FileKind kind = FileKind::Global;  // ProgramBank, MixBank or Global
  int bank = -1;                     // the instrument's bank number; -1 for the Global Data
  std::string name;                  // "Programs Card 1.syx"

  const DumpKind* Dump() const { return DumpKindOf(kind); }
  bool IsPreset() const { return bank > 0 && Dump() && !Dump()->IsCardBank(bank); }
  // Card bank k counts from 1; 0 for the other banks.
  int CardBank() const {
    return Dump() && Dump()->IsCardBank(bank) ? bank - Dump()->firstCardBank + 1 : 0;
  }
  std::size_t Size() const { return RecordSize(kind) * RecordCount(kind); }

  // A backup's files are named by what they hold, so a file found on its own says what it is:
  // "Global Data.syx", "Programs User.syx", "Mixes Card 2.syx", "Programs Preset 1.syx".
  // Empty for a bank number the kind does not have.
  static std::string NameOf(FileKind kind, int bank);
  static constexpr const char* kManifestName = "backup.json";
};

// The files of a backup in the order they are fetched: the Global Data, the User and card banks
// of Programs, then of Mixes, then with presets the preset banks.
std::vector<BackupFile> BackupFiles(int programCardBanks, int mixCardBanks, bool withPresets);

}  // namespace quorle
