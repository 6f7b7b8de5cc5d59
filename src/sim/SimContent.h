#pragma once

#include <cstdint>
#include <string>

#include "protocol/DumpKind.h"
#include "protocol/MessageSet.h"

namespace quorle {

// The content of a fresh simulated instrument. The same seed always gives the same content, and
// each entry depends only on the seed, its kind, bank and entry number.

// Version bytes at the start of unpacked data, as the instrument writes them.
inline constexpr std::uint8_t kProgramVersion[2] = {0xA6, 0x0A};
inline constexpr std::uint8_t kMixVersion[2] = {0xB6, 0x0A};
inline constexpr std::uint8_t kGlobalOpcode = 0x08;

// A 16-character name. Entries cycle through plausible names, runs of blanks, leading blanks,
// names filling all 16 characters and names holding characters that file names cannot hold.
std::string SeededName(const DumpKind& kind, std::uint64_t seed, int bank, int entry);

// One whole dump addressed to bank and entry, reporting the given card-bank counts. Its data
// holds every byte value from 00 to FF.
Bytes SeededDump(const DumpKind& kind, std::uint64_t seed, int bank, int entry,
                 int programCardBanks, int mixCardBanks);

// The Global Data: F0 00 00 0E 1D 08, 18,176 data bytes, F7.
Bytes SeededGlobalDump(std::uint64_t seed);

// Writes the card-bank counts into a whole dump of the kind, repacking it only when they differ,
// so a dump that already reports them stays byte for byte as it was.
void ReportCardBanks(const DumpKind& kind, Bytes& dump, int programCardBanks, int mixCardBanks);

}  // namespace quorle
