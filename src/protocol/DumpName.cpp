#include "protocol/DumpName.h"

#include <algorithm>
#include <array>

#include "protocol/Pack.h"

namespace quorle {

std::string ReadName(std::span<const std::uint8_t> unpacked) {
  std::string name(kNameLength, ' ');
  for (std::size_t i = 0; i < kNameLength && kNameOffset + i < unpacked.size(); ++i) {
    name[i] = static_cast<char>(unpacked[kNameOffset + i]);
  }
  return name;
}

std::string PadName(std::string_view text) {
  std::string name(text.substr(0, kNameLength));
  name.resize(kNameLength, ' ');
  return name;
}

void WriteName(std::span<std::uint8_t> unpacked, std::string_view text) {
  const std::string name = PadName(text);
  for (std::size_t i = 0; i < kNameLength && kNameOffset + i < unpacked.size(); ++i) {
    unpacked[kNameOffset + i] = static_cast<std::uint8_t>(name[i]);
  }
}

bool IsValidNameText(std::string_view text) {
  return text.size() <= kNameLength &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c <= 0x7E; });
}

std::string DumpName(const DumpKind& kind, ByteView dump) {
  std::array<std::uint8_t, kMaxDumpSize> data{};
  if (dump.size() < kPayloadOffset) return std::string(kNameLength, ' ');
  Unpack(dump.subspan(kPayloadOffset), data,
         std::min(kind.packedSize, dump.size() - kPayloadOffset));
  return ReadName(data);
}

Bytes RenameDump(const DumpKind& kind, ByteView dump, std::string_view name) {
  Bytes out(dump.begin(), dump.end());
  if (dump.size() != kind.dumpSize) return out;
  std::array<std::uint8_t, kMaxDumpSize> data{};
  Unpack(dump.subspan(kPayloadOffset, kind.packedSize), data, kind.packedSize);
  WriteName(data, name);
  Pack(std::span<const std::uint8_t>(data).first(kind.dataSize),
       std::span<std::uint8_t>(out).subspan(kPayloadOffset, kind.packedSize), kind.dataSize);
  return out;
}

void AddressDump(std::span<std::uint8_t> dump, std::uint8_t bank, std::uint8_t number) {
  if (dump.size() < 8) return;
  dump[6] = bank;
  dump[7] = number;
}

std::string Latin1ToUtf8(std::string_view text) {
  std::string out;
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x80) {
      out += c;
    } else {
      out += static_cast<char>(0xC0 | (u >> 6));
      out += static_cast<char>(0x80 | (u & 0x3F));
    }
  }
  return out;
}

std::string PrintableName(std::string_view name) {
  std::string shown;
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    // Control characters would garble a terminal; the JSON form keeps them exactly.
    shown += (u < 0x20 || (u >= 0x7F && u < 0xA0)) ? '?' : c;
  }
  return Latin1ToUtf8(shown);
}

std::string NameLine(std::string_view name) {
  return PrintableName(name.substr(0, name.find_last_not_of(' ') + 1));
}

}  // namespace quorle
