#include "protocol/SysexFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
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

IoResult ReadWholeFile(const std::filesystem::path& path, Bytes& content, std::uintmax_t limit) {
  // Not blocking, so a FIFO is refused rather than waited on for a writer.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return {false, std::strerror(errno)};
  struct FdCloser {
    int fd;
    ~FdCloser() { ::close(fd); }
  } closer{fd};
  struct stat st {};
  if (::fstat(fd, &st) != 0) return {false, std::strerror(errno)};
  if (S_ISDIR(st.st_mode)) return {false, "it is a folder"};
  if (!S_ISREG(st.st_mode)) return {false, "it is not a regular file"};
  const auto tooLarge = [&](std::uintmax_t size) {
    return IoResult{false, "it is too large (" + std::to_string(size) + " bytes, at most " +
                               std::to_string(limit) + " are read)"};
  };
  if (static_cast<std::uintmax_t>(st.st_size) > limit) return tooLarge(st.st_size);

  // The file may grow while it is read: one byte past the limit is enough to tell.
  content.assign(static_cast<std::size_t>(st.st_size) + 1, 0);
  std::size_t done = 0;
  while (done < content.size()) {
    const ssize_t n = ::read(fd, content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return {false, std::strerror(errno)};
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
    if (done > limit) return tooLarge(done);
    if (done == content.size()) content.resize(std::min<std::uintmax_t>(limit, done * 2 - 1) + 1);
  }
  content.resize(done);
  return {};
}

IoResult WriteFileAtomically(const std::filesystem::path& link, ByteView content) {
  namespace fs = std::filesystem;
  // Renamed over a symbolic link, the new file would replace the link and leave its target stale.
  fs::path path = link;
  std::error_code ec;
  for (int hops = 0; fs::is_symlink(path, ec); ++hops) {
    const fs::path target = fs::read_symlink(path, ec);
    if (ec) return {false, ec.message()};
    if (hops == 40) return {false, std::strerror(ELOOP)};
    path = target.is_absolute() ? target : path.parent_path() / target;
  }
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
  // The file replaced keeps its owner where the system allows it, and its permissions.
  if (struct stat old{}; ::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
    if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
      // Only its owner or root may give a file away; the file is then the saver's own.
    }
    if (::fchmod(fd, old.st_mode & 07777) != 0) return fail(errno);
  }
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
