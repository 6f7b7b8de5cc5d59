#include "protocol/SysexFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <random>

namespace quorle {

std::size_t RecordSize(FileKind kind) {
  switch (kind) {
    case FileKind::Program:
    case FileKind::ProgramBank:
      return kProgramKind.dumpSize;
    case FileKind::Mix:
    case FileKind::MixBank:
      return kMixKind.dumpSize;
    case FileKind::Global:
      return kGlobalDumpSize;
    case FileKind::Unknown:
      break;
  }
  return 0;
}

std::size_t RecordCount(FileKind kind) {
  switch (kind) {
    case FileKind::ProgramBank:
    case FileKind::MixBank:
      return kBankEntries;
    case FileKind::Unknown:
      return 0;
    default:
      return 1;
  }
}

bool AcceptsFileSize(FileKind kind, std::uintmax_t size) {
  const std::size_t record = RecordSize(kind);
  return record != 0 && size / record == RecordCount(kind);
}

bool IsSoundBank(const DumpKind& kind, ByteView content) {
  const FileKind bank =
      kind.opcode == kProgramKind.opcode ? FileKind::ProgramBank : FileKind::MixBank;
  if (!AcceptsFileSize(bank, content.size())) return false;
  for (std::size_t i = 0; i < kBankEntries; ++i) {
    const ByteView record = content.subspan(i * kind.dumpSize, kind.dumpSize);
    if (!CheckDumpFraming(kind, record) || record[7] != i) return false;
  }
  return true;
}

FileKind ClassifyFile(ByteView content) {
  const std::size_t size = content.size();
  if (size == kProgramKind.dumpSize && CheckDumpHeader(content, kProgramKind.opcode)) {
    return FileKind::Program;
  }
  if (size == kMixKind.dumpSize && CheckDumpHeader(content, kMixKind.opcode)) {
    return FileKind::Mix;
  }
  if (size == kProgramKind.BankFileSize()) return FileKind::ProgramBank;
  if (size == kMixKind.BankFileSize()) return FileKind::MixBank;
  if (size == kGlobalDumpSize) return FileKind::Global;
  return FileKind::Unknown;
}

std::string_view FileKindName(FileKind kind) {
  switch (kind) {
    case FileKind::Program:
      return "program";
    case FileKind::Mix:
      return "mix";
    case FileKind::ProgramBank:
      return "program-bank";
    case FileKind::MixBank:
      return "mix-bank";
    case FileKind::Global:
      return "global";
    case FileKind::Unknown:
      break;
  }
  return "unknown";
}

const DumpKind* DumpKindOf(FileKind kind) {
  switch (kind) {
    case FileKind::Program:
    case FileKind::ProgramBank:
      return &kProgramKind;
    case FileKind::Mix:
    case FileKind::MixBank:
      return &kMixKind;
    default:
      return nullptr;
  }
}

IoResult ReadWholeFile(const std::filesystem::path& path, Bytes& content) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) return {false, "it is a folder"};
  std::ifstream in(path, std::ios::binary);
  if (!in) return {false, std::strerror(errno)};
  // A file of known size is read in one go, many times faster than byte by byte; what grows
  // meanwhile, or has no size (a pipe), is read to its end after that.
  std::error_code sizeError;
  const std::uintmax_t size = std::filesystem::file_size(path, sizeError);
  content.resize(sizeError ? 0 : static_cast<std::size_t>(size));
  in.read(reinterpret_cast<char*>(content.data()), static_cast<std::streamsize>(content.size()));
  content.resize(static_cast<std::size_t>(in.gcount()));
  if (in) content.insert(content.end(), std::istreambuf_iterator<char>(in), {});
  if (in.bad()) return {false, "it could not be read"};
  return {};
}

IoResult WriteFileAtomically(const std::filesystem::path& path, ByteView content) {
  namespace fs = std::filesystem;
  const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
  std::random_device seed;
  fs::path temp;
  int fd = -1;
  for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
    temp =
        folder / ("." + path.filename().string() + "." + std::to_string(seed() % 1000000) + ".tmp");
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) return {false, std::strerror(errno)};

  auto fail = [&](int err) {
    ::close(fd);
    ::unlink(temp.c_str());
    return IoResult{false, std::strerror(err)};
  };
  std::size_t done = 0;
  while (done < content.size()) {
    const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail(errno);
    }
    done += static_cast<std::size_t>(n);
  }
  if (::fsync(fd) != 0) return fail(errno);
  if (::close(fd) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    return {false, std::strerror(err)};
  }
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    return {false, std::strerror(err)};
  }
  return {};
}

}  // namespace quorle
