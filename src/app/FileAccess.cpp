#include "app/FileAccess.h"

#include <filesystem>

#include "protocol/SysexFile.h"

namespace quorle {

Bytes ReadFileOrThrow(const std::string& path) {
  Bytes content;
  if (const IoResult r = ReadWholeFile(path, content, kLargestFileSize); !r.ok) {
    throw FileError("Cannot read " + path + ": " + r.error);
  }
  return content;
}

void WriteFileOrThrow(const std::string& path, ByteView content) {
  if (const IoResult r = WriteFileAtomically(path, content); !r.ok) {
    throw FileError("Cannot write " + path + ": " + r.error);
  }
}

std::string FolderOf(const std::string& path) {
  std::string folder = std::filesystem::path(path).parent_path().string();
  if (folder.empty() || folder.back() != std::filesystem::path::preferred_separator) {
    folder += std::filesystem::path::preferred_separator;
  }
  return folder;
}

std::string FileNameOf(const std::string& path) {
  return std::filesystem::path(path).filename().string();
}

std::filesystem::path FolderPath(const std::string& folder) {
  std::filesystem::path path = std::filesystem::absolute(folder).lexically_normal();
  if (!path.has_filename()) path = path.parent_path();
  return path;
}

}  // namespace quorle
