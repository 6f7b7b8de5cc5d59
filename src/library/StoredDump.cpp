#include "library/StoredDump.h"

#include "library/Library.h"

#include <algorithm>

#include "protocol/Pack.h"

namespace quorle::library {

namespace {

constexpr std::size_t kAddressSize = 2;  // bytes 6 and 7

bool IsCompact(const DumpKind& kind, ByteView stored) {
  return stored.size() == kAddressSize + kind.dataSize;
}

// Packing the data gives back the very bytes of the dump unless the bits of its last packed byte
// that stand for no data are set.
bool PacksBackExactly(const DumpKind& kind, ByteView dump) {
  const std::size_t usedBits = 8 * kind.dataSize - 7 * (kind.packedSize - 1);
  return (dump[kPayloadOffset + kind.packedSize - 1] >> usedBits) == 0;
}

}  // namespace

DumpData UnpackDump(const DumpKind& kind, ByteView dump) {
  DumpData data;
  data.kind = &kind;
  if (dump.size() > kPayloadOffset) {
    Unpack(dump.subspan(kPayloadOffset), data.bytes,
           std::min(kind.packedSize, dump.size() - kPayloadOffset));
  }
  return data;
}

Sha256::Digest SoundDigest(const DumpData& data) {
  const DumpKind& kind = *data.kind;
  std::array<std::uint8_t, kMaxDumpSize + 1> input;
  input[0] = kind.opcode;
  std::copy_n(data.bytes.begin(), kind.dataSize, input.begin() + 1);
  // The name and the card counts say nothing of the sound: a renamed copy, or one fetched while
  // another card was in, is the same sound.
  std::fill_n(input.begin() + 1 + kNameOffset, kNameLength, 0);
  input[1 + kind.cardProgramBanksOffset] = 0;
  input[1 + kind.cardMixBanksOffset] = 0;
  return Sha256::Of({input.data(), kind.dataSize + 1});
}

std::string SoundOf(const DumpKind& kind, ByteView dump) {
  return Sha256::ToHex(SoundDigest(UnpackDump(kind, dump)));
}

Bytes StoredForm(const DumpKind& kind, ByteView dump, const DumpData& data) {
  if (!PacksBackExactly(kind, dump)) return Bytes(dump.begin(), dump.end());
  Bytes compact(kAddressSize + kind.dataSize);
  compact[0] = dump[6];
  compact[1] = dump[7];
  std::copy_n(data.bytes.begin(), kind.dataSize, compact.begin() + kAddressSize);
  return compact;
}

Bytes DumpFromStored(const DumpKind& kind, ByteView stored) {
  if (!IsCompact(kind, stored)) return Bytes(stored.begin(), stored.end());
  return BuildDump(kind, stored[0], stored[1], stored.subspan(kAddressSize));
}

bool StoredHolds(const DumpKind& kind, ByteView stored, const DumpData& data) {
  if (IsCompact(kind, stored)) return std::ranges::equal(stored.subspan(kAddressSize), data.Used());
  return std::ranges::equal(UnpackDump(kind, stored).Used(), data.Used());
}

const DumpKind* KindByOpcode(int opcode) {
  if (opcode == kProgramKind.opcode) return &kProgramKind;
  if (opcode == kMixKind.opcode) return &kMixKind;
  return nullptr;
}

}  // namespace quorle::library
