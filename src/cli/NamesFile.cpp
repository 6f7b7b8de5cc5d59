#include "cli/NamesFile.h"

#include <fstream>
#include <iostream>
#include <optional>

#include "cli/OfflineCommands.h"
#include "protocol/DumpKind.h"
#include "protocol/DumpName.h"

namespace quorle {

namespace {

// The characters of a UTF-8 line, or nothing when it is no UTF-8.
std::optional<std::vector<char32_t>> Characters(const std::string& line) {
  std::vector<char32_t> out;
  for (std::size_t i = 0; i < line.size();) {
    const auto lead = static_cast<unsigned char>(line[i]);
    std::size_t extra = 0;
    char32_t c = lead;
    if (lead >= 0x80) {
      if ((lead & 0xE0) == 0xC0) {
        extra = 1;
      } else if ((lead & 0xF0) == 0xE0) {
        extra = 2;
      } else if ((lead & 0xF8) == 0xF0) {
        extra = 3;
      } else {
        return std::nullopt;
      }
      c = lead & (0x3F >> extra);
    }
    if (i + extra >= line.size()) return std::nullopt;
    for (std::size_t k = 1; k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(line[i + k]);
      if ((next & 0xC0) != 0x80) return std::nullopt;
      c = (c << 6) | (next & 0x3F);
    }
    out.push_back(c);
    i += extra + 1;
  }
  return out;
}

}  // namespace

NamesFile::NamesFile(const std::string& file, bool typedOnly)
    : file_(file == "-" ? "standard input" : file) {
  std::ifstream stream;
  if (file != "-") {
    stream.open(file, std::ios::binary);
    if (!stream) throw Refusal(file + ": cannot be read");
  }
  std::istream& in = file == "-" ? std::cin : stream;
  for (std::string line; std::getline(in, line);) {
    // A file edited on Windows ends its lines with CR LF.
    if (!line.empty() && line.back() == '\r') line.pop_back();
    // Editors on Windows may also start the file with a byte-order mark.
    if (lines_.empty() && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
    lines_.push_back(std::move(line));
  }
  if (lines_.size() != kBankEntries) {
    throw Refusal(file_ + ": " + std::to_string(lines_.size()) +
                  " lines, one for each of the 128 entries expected");
  }
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const auto characters = Characters(lines_[i]);
    bool fits = characters && characters->size() <= kNameLength &&
                (!typedOnly || IsValidNameText(lines_[i]));
    // What `info --names` can print for a name: printable ASCII and Latin-1 letters.
    for (std::size_t k = 0; fits && k < characters->size(); ++k) {
      const char32_t c = (*characters)[k];
      fits = (c >= 0x20 && c <= 0x7E) || (c >= 0xA0 && c <= 0xFF);
    }
    if (!fits) throw BadLine(i);
  }
}

Refusal NamesFile::BadLine(std::size_t i) const {
  return Refusal(file_ + " line " + std::to_string(i + 1) + ": \"" + lines_[i] +
                 "\": a name has at most 16 printable ASCII characters");
}

std::string NamesFile::NameFor(int i, const std::string& oldName) const {
  const std::string& line = lines_.at(static_cast<std::size_t>(i));
  if (line == NameLine(oldName)) return oldName;
  if (!IsValidNameText(line)) throw BadLine(static_cast<std::size_t>(i));
  return PadName(line);
}

}  // namespace quorle
