#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>

#include "protocol/MessageSet.h"

namespace quorle {

// A file that could not be read or written; its text names the file and the reason.
class FileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A file the user chose: a regular file no larger than the largest file kind.
Bytes ReadFileOrThrow(const std::string& path);
// All or nothing: a failed write leaves any earlier file of that name as it was.
void WriteFileOrThrow(const std::string& path, ByteView content);
// The folder of a path, ending with the separator, as the window keeps its last folders.
std::string FolderOf(const std::string& path);
// The file's name without its folder, as the status texts show it.
std::string FileNameOf(const std::string& path);
// A folder the user named, absolute and without a trailing separator, so that its name is its
// last part: "Backups/A/" is "A".
std::filesystem::path FolderPath(const std::string& folder);

}  // namespace quorle
