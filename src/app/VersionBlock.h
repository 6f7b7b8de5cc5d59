#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorle {

// A program's version block, laid out as a Windows version resource (VS_VERSIONINFO: a fixed
// part, string tables per translation under "StringFileInfo", and "VarFileInfo\Translation"),
// so one reader serves the ELF section on Linux and a resource on Windows.

// What a version block holds, for writing one.
struct VersionBlockContent {
  struct Table {
    std::uint16_t language = 0x0409;
    std::uint16_t codePage = 1252;
    std::vector<std::pair<std::string, std::string>> strings;  // key, value; UTF-8
  };
  // Up to four numbers each, for the fixed part; the strings carry the texts users see.
  std::vector<std::uint16_t> fileVersion, productVersion;
  std::vector<Table> tables;
  // Entries of "\VarFileInfo\Translation": language in the low 16 bits, code page in the high.
  std::vector<std::uint32_t> translations;
};

std::vector<std::uint8_t> WriteVersionBlock(const VersionBlockContent& content);

// One value found in a block: its bytes, and whether they are UTF-16 text.
struct VersionValue {
  std::span<const std::uint8_t> bytes;
  bool text = false;
};

// The value at path ("\StringFileInfo\040904E4\FileVersion", "\VarFileInfo\Translation"), keys
// matched without regard to case as the platform does. Nothing when the path is absent or the
// block is damaged on the way there; never reads outside block, whatever its lengths say.
std::optional<VersionValue> QueryVersionValue(std::span<const std::uint8_t> block,
                                              std::string_view path);

// A text value as UTF-8, up to its terminating zero; unpaired surrogates become U+FFFD.
std::string VersionValueText(const VersionValue& value);

}  // namespace quorle
