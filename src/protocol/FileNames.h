#pragma once

#include <string>
#include <string_view>

#include "protocol/DumpKind.h"

namespace quorle {

// Characters that a file name cannot hold on any of the platforms the program runs on.
bool IsForbiddenInFileName(char c);

// The file name proposed for a received dump: its 16 name bytes without the forbidden characters;
// blanks stay, trailing ones included.
std::string ProposedFileName(std::string_view name);

// The name of the file that entry n of a split bank is written to, without its folder:
// "PRG005 Bass DeepSub.syx". Runs of blanks shrink to one and trailing blanks become the dot.
std::string SplitFileName(const DumpKind& kind, int n, std::string_view name);

}  // namespace quorle
