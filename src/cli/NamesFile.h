#pragma once

#include <string>
#include <vector>

#include "cli/OfflineCommands.h"

namespace quorle {

// The new names of a bank's 128 entries, one a line, as `info --names` prints them.
class NamesFile {
 public:
  // Reads file ("-": standard input). Throws Refusal unless it holds 128 lines, each of which can
  // stand for a name: at most 16 characters, none of them a control character; with typedOnly,
  // printable ASCII only, as a new name takes.
  NamesFile(const std::string& file, bool typedOnly);

  // The 16 name bytes entry i gets. A line as `info --names` shows the old name keeps the old
  // bytes, whatever they hold; any other line is a new name of printable ASCII characters, padded
  // with blanks. Throws Refusal, naming the line, for one that is neither.
  std::string NameFor(int i, const std::string& oldName) const;

 private:
  Refusal BadLine(std::size_t i) const;

  std::string file_;
  std::vector<std::string> lines_;
};

}  // namespace quorle
