#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/BackupFile.h"

namespace quorle {

// backup.json: what a backup folder holds and how to tell that it is still intact. Written last,
// so a folder with a manifest had every file in when it was written.
struct BackupManifest {
  struct Entry {
    BackupFile file;
    std::size_t size = 0;
    std::string sha256;              // 64 lower-case hexadecimal digits
    std::vector<std::string> names;  // the 128 names of a bank, as Latin-1 bytes; none for Global
  };

  std::string created;   // UTC, "2024-05-01T18:30:00Z"
  std::string identity;  // the identity reply, hexadecimal bytes separated by blanks
  std::string version;   // the instrument's software version, "2.05"
  int programCardBanks = 0;
  int mixCardBanks = 0;
  std::vector<Entry> entries;

  std::string ToJson() const;
  // Nothing, with the reason in error, for a text that is no manifest of this program. A file
  // name that is not the fixed name of its kind and bank is refused, so a manifest never points
  // outside its folder.
  static std::optional<BackupManifest> FromJson(std::string_view text, std::string& error);
};

}  // namespace quorle
