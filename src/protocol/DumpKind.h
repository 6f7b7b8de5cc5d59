#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace quorle {

// Programs and Mixes differ only in these constants; every transfer is written once over them.
struct DumpKind {
  std::string_view name;               // "Program" or "Mix"
  std::uint8_t opcode;                 // of the dump
  std::uint8_t requestOpcode;          // of the single-dump request
  std::uint8_t bankRequestOpcode;      // of the bank request
  std::size_t dumpSize;                // whole message, F0 to F7
  std::size_t packedSize;              // packed payload from offset 8
  std::size_t dataSize;                // unpacked data
  std::size_t cardProgramBanksOffset;  // in the unpacked data
  std::size_t cardMixBanksOffset;      // in the unpacked data
  std::uint8_t firstCardBank;          // bank number of card bank 1
  std::string_view splitPrefix;        // "PRG" or "MIX"

  constexpr std::size_t RecordSize() const { return dumpSize; }
  constexpr std::size_t BankFileSize() const { return 128 * dumpSize; }
  constexpr bool IsCardBank(int bank) const { return bank >= firstCardBank; }
  // The User bank and the card's take a dump; the presets do not.
  constexpr bool TakesDumps(int bank) const { return bank == 0 || IsCardBank(bank); }
  // The highest bank number: card bank 14, the most a card holds.
  constexpr int LastBank() const { return firstCardBank + 13; }
};

inline constexpr std::size_t kPayloadOffset = 8;
inline constexpr std::size_t kNameOffset = 2;
inline constexpr std::size_t kNameLength = 16;
inline constexpr std::size_t kBankEntries = 128;

inline constexpr DumpKind kProgramKind{"Program", 0x00, 0x01, 0x0A, 2350, 2341,
                                       2048,      1948, 1949, 3,    "PRG"};
inline constexpr DumpKind kMixKind{"Mix", 0x04, 0x05, 0x0B, 1180, 1171, 1024, 848, 849, 2, "MIX"};

// Both dump kinds fit the largest one's buffers.
inline constexpr std::size_t kMaxDumpSize = 2350;

}  // namespace quorle
