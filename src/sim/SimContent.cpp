#include "sim/SimContent.h"

#include <algorithm>
#include <array>
#include <numeric>
#include <string_view>

#include "protocol/DumpName.h"
#include "protocol/Pack.h"

namespace quorle {

namespace {

// SplitMix64: small, fast and the same on every platform, unlike the standard distributions.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  std::size_t Below(std::size_t n) { return static_cast<std::size_t>(Next() % n); }
  template <std::size_t N>
  std::string_view Pick(const std::array<std::string_view, N>& words) {
    return words[Below(N)];
  }

 private:
  std::uint64_t state_;
};

Random EntryRandom(std::uint64_t seed, std::uint8_t opcode, int bank, int entry) {
  Random mix(seed ^ (std::uint64_t{opcode} << 56) ^ (std::uint64_t(bank) << 40) ^
             (std::uint64_t(entry) << 24));
  mix.Next();
  return Random(mix.Next());
}

constexpr std::array<std::string_view, 16> kCategories = {
    "Bass",  "Lead",  "Pad", "Keys", "Brass", "Str",   "Organ", "Bell",
    "Pluck", "Sweep", "FX",  "Drum", "Arp",   "Choir", "Synth", "Seq"};
constexpr std::array<std::string_view, 24> kWords = {
    "Deep",   "Warm",   "Glass",   "Hyper",  "Analog", "Fat",  "Soft",   "Dark",
    "Bright", "Rez",    "Sub",     "Wide",   "Saw",    "Sync", "Mono",   "Poly",
    "Dirty",  "Hollow", "Vintage", "Cosmic", "Solar",  "Ice",  "Velvet", "Storm"};
// Characters that file names cannot hold, each in a name the way a musician might use it.
constexpr std::array<std::string_view, 8> kForbiddenForms = {"<Air>", "\"Vox\"", "Rise?", "Keys|EP",
                                                             "Hit*",  "A\\B",    "Solo:", "1/2"};

std::string Words(Random& random, std::size_t count, std::string_view separator) {
  std::string text(random.Pick(kCategories));
  for (std::size_t i = 0; i < count; ++i) {
    text += separator;
    text += random.Pick(kWords);
  }
  return text;
}

std::string NameFor(Random& random, int entry) {
  std::string text;
  switch (entry % 8) {
    case 0:
    case 7:
      text = Words(random, 1, " ");
      break;
    case 1:  // a run of blanks inside
      text = std::string(random.Pick(kCategories)) + std::string(2 + random.Below(3), ' ') +
             std::string(random.Pick(kWords));
      break;
    case 2:  // leading blanks
      text = std::string(1 + random.Below(3), ' ') + Words(random, 1, " ");
      break;
    case 3:  // every one of the 16 characters used
      text = Words(random, 4, "");
      while (text.size() < kNameLength) text += static_cast<char>('0' + random.Below(10));
      text.resize(kNameLength);
      break;
    case 4:  // a colon
      text = std::string(random.Pick(kCategories)) + ": " + std::string(random.Pick(kWords));
      break;
    case 5:  // a slash
      text = std::string(random.Pick(kCategories)) + "/" + std::string(random.Pick(kWords));
      break;
    case 6:  // one of the other characters that file names cannot hold
      text =
          std::string(random.Pick(kCategories)) + " " + std::string(random.Pick(kForbiddenForms));
      break;
  }
  return PadName(text);
}

const std::uint8_t* VersionBytes(const DumpKind& kind) {
  return kind.opcode == kProgramKind.opcode ? kProgramVersion : kMixVersion;
}

}  // namespace

std::string SeededName(const DumpKind& kind, std::uint64_t seed, int bank, int entry) {
  Random random = EntryRandom(seed, kind.opcode, bank, entry);
  return NameFor(random, entry);
}

Bytes SeededDump(const DumpKind& kind, std::uint64_t seed, int bank, int entry,
                 int programCardBanks, int mixCardBanks) {
  Random random = EntryRandom(seed, kind.opcode, bank, entry);
  std::array<std::uint8_t, kMaxDumpSize> data{};
  const std::span<std::uint8_t> used(data.data(), kind.dataSize);

  used[0] = VersionBytes(kind)[0];
  used[1] = VersionBytes(kind)[1];
  WriteName(used, NameFor(random, entry));
  // Every byte value once, shuffled, then noise: values with bit 7 set must survive a transfer.
  constexpr std::size_t kValuesAt = kNameOffset + kNameLength;
  std::iota(used.begin() + kValuesAt, used.begin() + kValuesAt + 256, 0);
  for (std::size_t i = 255; i > 0; --i) {
    std::swap(used[kValuesAt + i], used[kValuesAt + random.Below(i + 1)]);
  }
  for (std::size_t i = kValuesAt + 256; i < used.size(); i += 8) {
    const std::uint64_t bits = random.Next();
    for (std::size_t b = 0; b < 8 && i + b < used.size(); ++b) {
      used[i + b] = static_cast<std::uint8_t>(bits >> (8 * b));
    }
  }
  used[kind.cardProgramBanksOffset] = static_cast<std::uint8_t>(programCardBanks);
  used[kind.cardMixBanksOffset] = static_cast<std::uint8_t>(mixCardBanks);

  Bytes dump(kind.dumpSize, 0);
  std::copy(std::begin(kHeader), std::end(kHeader), dump.begin());
  dump[5] = kind.opcode;
  AddressDump(dump, static_cast<std::uint8_t>(bank), static_cast<std::uint8_t>(entry));
  Pack(used, std::span<std::uint8_t>(dump).subspan(kPayloadOffset, kind.packedSize), kind.dataSize);
  dump.back() = kSysexEnd;
  return dump;
}

Bytes SeededGlobalDump(std::uint64_t seed) {
  Random random(seed ^ 0x61F1A7C0DEull);
  Bytes dump(kGlobalDumpSize, 0);
  std::copy(std::begin(kGlobalHeader), std::end(kGlobalHeader), dump.begin());
  const std::size_t first = sizeof kGlobalHeader;
  // Every data byte value once, then noise.
  std::iota(dump.begin() + first, dump.begin() + first + 128, 0);
  for (std::size_t i = first + 128; i + 1 < dump.size(); ++i) {
    dump[i] = static_cast<std::uint8_t>(random.Next() & 0x7F);
  }
  dump.back() = kSysexEnd;
  return dump;
}

void ReportCardBanks(const DumpKind& kind, Bytes& dump, int programCardBanks, int mixCardBanks) {
  if (dump.size() != kind.dumpSize) return;
  std::array<std::uint8_t, kMaxDumpSize> data{};
  const auto packed = std::span<std::uint8_t>(dump).subspan(kPayloadOffset, kind.packedSize);
  Unpack(packed, data, kind.packedSize);
  const auto program = static_cast<std::uint8_t>(programCardBanks);
  const auto mix = static_cast<std::uint8_t>(mixCardBanks);
  if (data[kind.cardProgramBanksOffset] == program && data[kind.cardMixBanksOffset] == mix) return;
  data[kind.cardProgramBanksOffset] = program;
  data[kind.cardMixBanksOffset] = mix;
  Pack(std::span<const std::uint8_t>(data).first(kind.dataSize), packed, kind.dataSize);
}

}  // namespace quorle
