// Unpack then Pack: data packs into bytes that unpack to the same data and pack again to the same
// bytes, and any lengths and buffer sizes stay inside the buffers (each a heap block of its exact
// size, so the address sanitizer sees a step over its end).
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "protocol/Pack.h"

using quorle::Pack;
using quorle::PackedLength;
using quorle::Unpack;
using quorle::UnpackedLength;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const std::size_t n = in.ConsumeIntegralInRange<std::size_t>(0, 2 * size + 16);
  const std::size_t room = in.ConsumeIntegralInRange<std::size_t>(0, 2 * size + 16);
  const std::vector<std::uint8_t> bytes = in.ConsumeRemainingBytes<std::uint8_t>();

  // Any packed bytes, any count, any room.
  std::vector<std::uint8_t> unpacked(room);
  const std::size_t got = Unpack(bytes, unpacked, n);
  if (got > room || got > UnpackedLength(std::min(n, bytes.size()))) std::abort();
  std::vector<std::uint8_t> packed(room);
  const std::size_t put = Pack(bytes, packed, n);
  if (put > room || put > PackedLength(std::min(n, bytes.size()))) std::abort();

  // Canonical data: the bytes as the instrument's data, packed, unpacked and packed again.
  std::vector<std::uint8_t> canonical(PackedLength(bytes.size()));
  if (Pack(bytes, canonical, bytes.size()) != canonical.size()) std::abort();
  if (std::any_of(canonical.begin(), canonical.end(), [](std::uint8_t b) { return b > 0x7F; })) {
    std::abort();
  }
  std::vector<std::uint8_t> back(bytes.size());
  if (Unpack(canonical, back, canonical.size()) != bytes.size() || back != bytes) std::abort();
  std::vector<std::uint8_t> again(canonical.size());
  if (Pack(back, again, back.size()) != again.size() || again != canonical) std::abort();
  return 0;
}
