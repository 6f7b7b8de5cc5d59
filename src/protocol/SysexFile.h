#pragma once

#include <cstdint>
#include <filesystem>
#include <limits>
#include <string>
#include <string_view>

#include "protocol/MessageSet.h"

namespace quorle {

// The kinds of SysEx file the program reads and writes; a file is recognised by its size.
enum class FileKind { Program, Mix, ProgramBank, MixBank, Global, Unknown };

// Size of one record of the kind, and how many whole records a file of the kind holds.
std::size_t RecordSize(FileKind kind);
std::size_t RecordCount(FileKind kind);
// A file is accepted when its size in whole records (rounded down) is the kind's record count;
// the surplus of a longer file is not read.
bool AcceptsFileSize(FileKind kind, std::uintmax_t size);

// Whether a bank file of the kind holds every record as a whole dump standing at its own place
// (record i carries entry byte i), so a damaged or shuffled file never reaches the instrument.
bool IsSoundBank(const DumpKind& kind, ByteView content);

// The kind of a file by its exact size and, for single dumps, its opcode; "unknown" otherwise.
FileKind ClassifyFile(ByteView content);
std::string_view FileKindName(FileKind kind);
// The dump kind inside a Program or Mix file or bank file; nullptr for the others.
const DumpKind* DumpKindOf(FileKind kind);

// Whole-file reading and all-or-nothing writing.
struct IoResult {
  bool ok = true;
  std::string error;  // the reason, as the system gives it
};
// The largest file any kind accepts: a Program bank file with the surplus a shorter record leaves.
// What the user chooses is read with this limit.
constexpr std::uintmax_t kLargestFileSize = (kBankEntries + 1) * kProgramKind.dumpSize - 1;
// Reads a regular file of at most limit bytes; anything else (a folder, a FIFO, a device, a larger
// file) is refused before a byte is read, so a stray choice can neither hang nor exhaust memory.
IoResult ReadWholeFile(const std::filesystem::path& path, Bytes& content,
                       std::uintmax_t limit = std::numeric_limits<std::uintmax_t>::max());
// Writes a temporary file in the same folder and renames it over path, so a failure never leaves
// a half-written file behind and an existing file survives until the new one is complete. A
// symbolic link is written through to its target, and an existing file keeps its permissions.
IoResult WriteFileAtomically(const std::filesystem::path& path, ByteView content);

}  // namespace quorle
