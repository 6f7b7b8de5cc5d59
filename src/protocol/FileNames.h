#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "protocol/MessageSet.h"

namespace quorle {

// Characters that a file name cannot hold on any of the platforms the program runs on.
bool IsForbiddenInFileName(char c);

// The file name proposed for a received dump: its 16 name bytes without the forbidden characters;
// blanks stay, trailing ones included.
std::string ProposedFileName(std::string_view name);

// The name of the file that entry n of a split bank is written to, without its folder:
// "PRG005 Bass DeepSub.syx". Runs of blanks shrink to one and trailing blanks become the dot;
// control bytes and bytes of 80 hex and up are left out too, so the name is valid everywhere.
std::string SplitFileName(const DumpKind& kind, int n, std::string_view name);
// Where entry n of a split bank goes in folder: every split, in the window and the command line,
// names its files here.
std::filesystem::path SplitFilePath(const std::filesystem::path& folder, const DumpKind& kind,
                                    int n, ByteView dump);

}  // namespace quorle
