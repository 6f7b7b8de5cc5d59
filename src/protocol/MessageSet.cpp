#include "protocol/MessageSet.h"

#include <algorithm>

#include "protocol/Pack.h"

namespace quorle {

namespace {

Bytes Message(std::uint8_t opcode, std::initializer_list<std::uint8_t> data) {
  Bytes m(std::begin(kHeader), std::end(kHeader));
  m.push_back(opcode);
  m.insert(m.end(), data);
  m.push_back(kSysexEnd);
  return m;
}

// F0 first, F7 last and nowhere else, nothing at or above 80 hex between, the Andromeda header.
bool CheckFraming(ByteView message, std::size_t size) {
  if (message.size() != size || size < kHeaderSize + 1) return false;
  if (!std::equal(std::begin(kHeader), std::end(kHeader), message.begin())) return false;
  if (message.back() != kSysexEnd) return false;
  const auto inner = message.subspan(1, size - 2);
  return std::all_of(inner.begin(), inner.end(), [](std::uint8_t b) { return b < 0x80; });
}

}  // namespace

Bytes DumpRequest(const DumpKind& kind, std::uint8_t bank, std::uint8_t number) {
  return Message(kind.requestOpcode, {bank, number});
}

Bytes BankDumpRequest(const DumpKind& kind, std::uint8_t bank) {
  return Message(kind.bankRequestOpcode, {bank});
}

Bytes GlobalDumpRequest() {
  return Message(kGlobalRequestOpcode, {0x00});
}

Bytes IdentityRequest() {
  return {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7};
}

Bytes BuildDump(const DumpKind& kind, std::uint8_t bank, std::uint8_t number,
                std::span<const std::uint8_t> data) {
  Bytes dump(kind.dumpSize, 0);
  std::copy(std::begin(kHeader), std::end(kHeader), dump.begin());
  dump[5] = kind.opcode;
  dump[6] = bank;
  dump[7] = number;
  Pack(data.first(std::min(data.size(), kind.dataSize)),
       std::span<std::uint8_t>(dump).subspan(kPayloadOffset, kind.packedSize), kind.dataSize);
  dump.back() = kSysexEnd;
  return dump;
}

bool CheckDumpHeader(ByteView message, std::uint8_t opcode) {
  return message.size() > 5 && message[4] == kModelId && message[5] == opcode;
}

Identity RecogniseIdentityReply(ByteView message) {
  if (message.size() != kIdentityReplySize) return {IdentityResult::WrongLength, {}};
  static constexpr std::uint8_t kAndromeda[7] = {0x00, 0x00, 0x0E, 0x1D, 0x00, 0x00, 0x00};
  if (!std::equal(std::begin(kAndromeda), std::end(kAndromeda), message.begin() + 5)) {
    return {IdentityResult::NotAndromeda, {}};
  }
  std::string version;
  version += static_cast<char>(message[13]);
  version += '.';
  version += static_cast<char>(message[14]);
  version += static_cast<char>(message[15]);
  return {IdentityResult::Andromeda, version};
}

Bytes IdentityReply(std::string_view version, std::uint8_t device) {
  // The reply carries "a.bc" as the characters a, b and c behind a byte the reader skips.
  auto ch = [&](std::size_t i) -> std::uint8_t {
    return i < version.size() ? static_cast<std::uint8_t>(version[i]) & 0x7F : 0x30;
  };
  return {0xF0, 0x7E, device, 0x06, 0x02,  0x00,  0x00,  0x0E, 0x1D,
          0x00, 0x00, 0x00,   0x30, ch(0), ch(2), ch(3), 0xF7};
}

bool CheckDumpFraming(const DumpKind& kind, ByteView message) {
  return CheckFraming(message, kind.dumpSize) && message[5] == kind.opcode;
}

const DumpKind* FramedDumpKind(ByteView message) {
  for (const DumpKind* kind : {&kProgramKind, &kMixKind}) {
    if (CheckDumpFraming(*kind, message)) return kind;
  }
  return nullptr;
}

bool CheckGlobalFraming(ByteView message) {
  return CheckFraming(message, kGlobalDumpSize);
}

}  // namespace quorle
