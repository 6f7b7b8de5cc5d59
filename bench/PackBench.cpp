#include <benchmark/benchmark.h>

#include <array>

#include "protocol/DumpName.h"
#include "protocol/Pack.h"

namespace {

// A bank rename packs and unpacks 128 Programs; this is the cost of one of them.
void BM_UnpackPackProgram(benchmark::State& state) {
  std::array<std::uint8_t, 2350> packed{};
  std::array<std::uint8_t, 2350> data{};
  for (std::size_t i = 0; i < 2048; ++i) data[i] = static_cast<std::uint8_t>(i * 31);
  for (auto _ : state) {
    quorle::Pack(std::span<const std::uint8_t>(data).first(2048), packed, 2048);
    quorle::Unpack(std::span<const std::uint8_t>(packed).first(2341), data, 2341);
    benchmark::DoNotOptimize(data);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 2048);
}
BENCHMARK(BM_UnpackPackProgram);

}  // namespace
