#include "app/ProgramFiles.h"

#include <fcntl.h>
#include <gelf.h>
#include <libelf.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

namespace quorle {

namespace {

namespace fs = std::filesystem;

// A version block is at most 64 KiB (its length is one 16-bit word); a section far larger than
// that is not ours and is not read into memory.
constexpr std::size_t kMaxSection = 1 << 20;

struct File {
  int fd;
  ~File() {
    if (fd >= 0) ::close(fd);
  }
};

bool IsFile(const fs::path& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec);
}

}  // namespace

std::string RunningProgramPath() {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : self.string();
}

std::string ResolveProgramFile(const std::string& name) {
  if (name.empty()) return RunningProgramPath();
  if (name.find('/') != std::string::npos) return name;
  const fs::path beside = fs::path(RunningProgramPath()).parent_path() / name;
  if (IsFile(beside)) return beside.string();
  if (const char* path = std::getenv("PATH")) {
    std::string folders = path;
    for (std::size_t start = 0; start <= folders.size();) {
      const std::size_t end = std::min(folders.find(':', start), folders.size());
      const fs::path candidate = fs::path(folders.substr(start, end - start)) / name;
      if (end > start && IsFile(candidate)) return candidate.string();
      start = end + 1;
    }
  }
  return beside.string();
}

std::optional<std::vector<std::uint8_t>> ReadVersionSection(const std::string& path) {
  if (elf_version(EV_CURRENT) == EV_NONE) return std::nullopt;
  const File file{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
  if (file.fd < 0) return std::nullopt;
  // Declared after the file, so libelf lets go of it before it is closed.
  const std::unique_ptr<Elf, int (*)(Elf*)> elf(elf_begin(file.fd, ELF_C_READ_MMAP, nullptr),
                                                elf_end);
  if (!elf || elf_kind(elf.get()) != ELF_K_ELF) return std::nullopt;
  std::size_t names = 0;
  if (elf_getshdrstrndx(elf.get(), &names) != 0) return std::nullopt;
  for (Elf_Scn* section = elf_nextscn(elf.get(), nullptr); section;
       section = elf_nextscn(elf.get(), section)) {
    GElf_Shdr header;
    if (!gelf_getshdr(section, &header)) return std::nullopt;
    const char* name = elf_strptr(elf.get(), names, header.sh_name);
    if (!name || std::strcmp(name, kVersionSectionName) != 0) continue;
    if (header.sh_type == SHT_NOBITS || header.sh_size > kMaxSection) return std::nullopt;
    const Elf_Data* data = elf_rawdata(section, nullptr);
    if (!data || !data->d_buf) return std::nullopt;
    const auto* bytes = static_cast<const std::uint8_t*>(data->d_buf);
    return std::vector<std::uint8_t>(bytes, bytes + data->d_size);
  }
  return std::nullopt;
}

}  // namespace quorle
