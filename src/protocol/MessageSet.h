#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "protocol/DumpKind.h"

namespace quorle {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

inline constexpr std::uint8_t kSysexStart = 0xF0;
inline constexpr std::uint8_t kSysexEnd = 0xF7;
inline constexpr std::uint8_t kModelId = 0x1D;
// F0, the Alesis identifier, the Andromeda model: the start of every message of the set.
inline constexpr std::uint8_t kHeader[5] = {0xF0, 0x00, 0x00, 0x0E, 0x1D};
inline constexpr std::size_t kHeaderSize = 6;  // including the opcode

inline constexpr std::uint8_t kGlobalRequestOpcode = 0x09;
inline constexpr std::size_t kGlobalDumpSize = 18183;
inline constexpr std::uint8_t kGlobalHeader[6] = {0xF0, 0x00, 0x00, 0x0E, 0x1D, 0x08};

inline constexpr std::size_t kIdentityReplySize = 17;

// Requests, each a whole SysEx message.
Bytes DumpRequest(const DumpKind& kind, std::uint8_t bank, std::uint8_t number);
Bytes BankDumpRequest(const DumpKind& kind, std::uint8_t bank);
Bytes GlobalDumpRequest();
Bytes IdentityRequest();
// A whole dump of the kind addressed to bank and entry, its data packed from kind.dataSize bytes.
Bytes BuildDump(const DumpKind& kind, std::uint8_t bank, std::uint8_t number,
                std::span<const std::uint8_t> data);

// True when byte 4 is the Andromeda model and byte 5 the opcode; bytes 0 to 3 are not examined.
bool CheckDumpHeader(ByteView message, std::uint8_t opcode);

// How an identity reply was recognised.
enum class IdentityResult { WrongLength, NotAndromeda, Andromeda };
struct Identity {
  IdentityResult result;
  std::string version;  // "2.05": byte 13, ".", bytes 14 and 15, each as a character
};
Identity RecogniseIdentityReply(ByteView message);
// The 17-byte reply an Andromeda of the given version ("2.05") sends.
Bytes IdentityReply(std::string_view version, std::uint8_t device = 0x7F);

// Whether message is one whole, well-formed dump of its kind: F0 first, F7 last and nowhere else,
// every byte between below 80 hex, the Andromeda header and the kind's opcode. Anything else would
// put a corrupt message on the wire.
bool CheckDumpFraming(const DumpKind& kind, ByteView message);
// The kind message is a whole, well-formed dump of: the Program or the Mix kind; nullptr when it
// is neither.
const DumpKind* FramedDumpKind(ByteView message);
// The same for the Global Data, whose content is opaque: header F0 00 00 0E 1D and the size.
bool CheckGlobalFraming(ByteView message);

}  // namespace quorle
