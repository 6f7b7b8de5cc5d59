#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "protocol/MessageSet.h"

namespace quorle {

// One single-dump file to join: its name (for the refusals) and its bytes.
struct JoinPart {
  std::string name;
  Bytes content;
};

// 128 single Program or 128 single Mix files as one bank file, dump i addressed to entry i; the
// bank byte stays as each file has it. Empty with the reason, naming the file, in error when the
// parts are not 128 sound dumps of one kind.
Bytes JoinBank(const std::vector<JoinPart>& parts, std::string& error);

// The entry a split file's name starts with: "PRG005 Bass.syx" is Program 5. -1 for a name that
// does not start with a kind's prefix and three digits.
int SplitEntry(const DumpKind& kind, std::string_view fileName);

}  // namespace quorle
