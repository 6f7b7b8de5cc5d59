#include "protocol/FileNames.h"

#include <cstdio>

#include "protocol/DumpName.h"

namespace quorle {

bool IsForbiddenInFileName(char c) {
  return c == '\0' || std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos;
}

std::string ProposedFileName(std::string_view name) {
  std::string out;
  for (char c : name) {
    if (!IsForbiddenInFileName(c)) out += c;
  }
  return out;
}

std::string SplitFileName(const DumpKind& kind, int n, std::string_view name) {
  char number[16];
  std::snprintf(number, sizeof number, "%3.3d ", n);
  std::string out = std::string(kind.splitPrefix) + number;
  for (std::size_t p = 0; p < name.size(); ++p) {
    const char b = name[p];
    const auto u = static_cast<unsigned char>(b);
    // What one system would take, another refuses or shows as garbage.
    if (IsForbiddenInFileName(b) || u < 0x20 || u >= 0x7F) continue;
    // A blank is kept only where it follows a non-blank of the name itself, even one left out.
    if (b != ' ' || p == 0 || name[p - 1] != ' ') out += b;
  }
  if (out.back() == ' ') {
    out.back() = '.';
    out += "syx";
  } else {
    out += ".syx";
  }
  return out;
}

std::filesystem::path SplitFilePath(const std::filesystem::path& folder, const DumpKind& kind,
                                    int n, ByteView dump) {
  return folder / SplitFileName(kind, n, DumpName(kind, dump));
}

}  // namespace quorle
