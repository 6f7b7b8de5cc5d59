#include "protocol/BankJoin.h"

#include "protocol/SysexFile.h"

namespace quorle {

Bytes JoinBank(const std::vector<JoinPart>& parts, std::string& error) {
  const DumpKind* kind = nullptr;
  for (const JoinPart& part : parts) {
    const FileKind fileKind = ClassifyFile(part.content);
    const DumpKind* partKind =
        fileKind == FileKind::Program || fileKind == FileKind::Mix ? DumpKindOf(fileKind) : nullptr;
    if (!partKind || !CheckDumpFraming(*partKind, part.content)) {
      error = part.name + " is not a Program Dump or Mix Dump";
      return {};
    }
    if (kind && partKind != kind) {
      // Both are named: either may be the odd one out.
      error = part.name + " is a " + std::string(partKind->name) + " and " + parts.front().name +
              " a " + std::string(kind->name) + ": a bank holds one kind";
      return {};
    }
    kind = partKind;
  }
  if (parts.size() != kBankEntries) {
    error = "a bank takes 128 files, not " + std::to_string(parts.size());
    return {};
  }
  Bytes bank;
  bank.reserve(kBankEntries * kind->dumpSize);
  for (std::size_t i = 0; i < parts.size(); ++i) {
    bank.insert(bank.end(), parts[i].content.begin(), parts[i].content.end());
    bank[i * kind->dumpSize + 7] = static_cast<std::uint8_t>(i);
  }
  return bank;
}

int SplitEntry(const DumpKind& kind, std::string_view fileName) {
  if (fileName.size() < kind.splitPrefix.size() + 3 || !fileName.starts_with(kind.splitPrefix)) {
    return -1;
  }
  int n = 0;
  for (char c : fileName.substr(kind.splitPrefix.size(), 3)) {
    if (c < '0' || c > '9') return -1;
    n = n * 10 + (c - '0');
  }
  const std::string_view rest = fileName.substr(kind.splitPrefix.size() + 3);
  // "PRG0051.syx" is no prefix of the split's names.
  if (!rest.empty() && rest.front() != ' ' && rest.front() != '.') return -1;
  return n < static_cast<int>(kBankEntries) ? n : -1;
}

}  // namespace quorle
