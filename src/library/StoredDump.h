#pragma once

#include <array>
#include <span>

#include "protocol/DumpKind.h"
#include "protocol/MessageSet.h"
#include "protocol/Sha256.h"

namespace quorle::library {

// A dump's data, unpacked from its 7-bit form: the first kind.dataSize bytes are used.
struct DumpData {
  const DumpKind* kind = nullptr;
  std::array<std::uint8_t, kMaxDumpSize> bytes{};

  std::span<const std::uint8_t> Used() const { return {bytes.data(), kind->dataSize}; }
};

// The data of a whole dump of the kind.
DumpData UnpackDump(const DumpKind& kind, ByteView dump);

// The sound: SHA-256 of the kind's opcode and the data with the name and the card counts zeroed.
Sha256::Digest SoundDigest(const DumpData& data);

// What the library stores of a framed dump: its bank and entry bytes and its unpacked data, which
// packs back to the very same bytes; the dump as it is when its unused bits would not survive.
Bytes StoredForm(const DumpKind& kind, ByteView dump, const DumpData& data);
// The dump, byte-exact, from what StoredForm gave.
Bytes DumpFromStored(const DumpKind& kind, ByteView stored);
// Whether the stored dump holds this data (name and card counts included).
bool StoredHolds(const DumpKind& kind, ByteView stored, const DumpData& data);

// The kind by its dump opcode; nullptr for any other.
const DumpKind* KindByOpcode(int opcode);

}  // namespace quorle::library
