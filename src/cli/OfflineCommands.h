#pragma once

#include <filesystem>
#include <ostream>
#include <stdexcept>
#include <string>

#include "protocol/DumpName.h"
#include "protocol/MessageSet.h"

namespace quorle {

// An input the command refuses: reported on one line, exit status 1.
class Refusal : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A file named on the command line: a regular file no larger than the largest file kind.
Bytes ReadOrRefuse(const std::filesystem::path& file);
// Writes a file whole or not at all, refusing with the reason.
void WriteOrRefuse(const std::filesystem::path& file, ByteView content);

// Commands on .syx files that need no instrument. Each throws Refusal for an input it refuses.
// names: one name a line, trailing blanks trimmed, as a rename of the bank reads them back.
void InfoCommand(const std::filesystem::path& file, bool json, std::ostream& out,
                 bool names = false);
// What info reports on content read from a file called name; any bytes, any length.
void WriteInfo(const std::string& name, ByteView content, bool json, std::ostream& out,
               bool names = false);
void RenameCommand(const std::filesystem::path& file, int index, const std::string& name,
                   const std::filesystem::path& output, std::ostream& out);
void SplitCommand(const std::filesystem::path& file, const std::filesystem::path& folder,
                  std::ostream& out);

}  // namespace quorle
