#include <benchmark/benchmark.h>

#include <thread>
#include <vector>

#include "midi/MidiInputDriver.h"
#include "midi/TMidiEventRing.h"
#include "midi/VirtualMidiService.h"

namespace quorle {
namespace {

// Put, Peek and Remove of one event on one thread: the cost of the hand-over itself.
void BM_RingPutPeekRemove(benchmark::State& state) {
  auto ring = TMidiEventRing::Create(1024);
  TMidiRingItem item{1, 0x7F3C90, nullptr}, out;
  for (auto _ : state) {
    ring->Put(item);
    ring->Peek(out);
    ring->Remove();
    benchmark::DoNotOptimize(out);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RingPutPeekRemove);

// A producer thread against the consumer, through a ring of the default capacity.
void BM_RingAcrossThreads(benchmark::State& state) {
  constexpr std::uint32_t kEvents = 1 << 20;
  for (auto _ : state) {
    auto ring = TMidiEventRing::Create(1024);
    std::thread producer([&] {
      for (std::uint32_t i = 0; i < kEvents; ++i) {
        while (!ring->Put({i, i, nullptr})) std::this_thread::yield();
      }
    });
    TMidiRingItem out;
    for (std::uint32_t taken = 0; taken < kEvents;) {
      if (ring->Peek(out)) {
        ring->Remove();
        ++taken;
      }
    }
    producer.join();
  }
  state.SetItemsProcessed(state.iterations() * kEvents);
}
BENCHMARK(BM_RingAcrossThreads)->Unit(benchmark::kMillisecond)->UseRealTime();

struct HandedBack {
  MidiHdr* headers[8];
  int count = 0;
};

// The callback runs on the thread that files: it only notes the buffer, as the real one files it.
void NoteBuffer(void*, unsigned message, void* instance, std::uintptr_t p1, std::uintptr_t) {
  auto* back = static_cast<HandedBack*>(instance);
  if (message == MIM_LONGDATA && back->count < 8) {
    back->headers[back->count++] = reinterpret_cast<MidiHdr*>(p1);
  }
}

// Filling receive buffers with one message of the given size, and lodging them again.
void BM_BufferFiller(benchmark::State& state) {
  VirtualMidiService owner;
  HandedBack back;
  MidiInputDriver driver(owner, &NoteBuffer, &back);
  std::vector<Bytes> blocks(8, Bytes(4096));
  std::vector<MidiHdr> headers(8);
  for (std::size_t i = 0; i < 8; ++i) {
    headers[i].lpData = blocks[i].data();
    headers[i].dwBufferLength = 4096;
    driver.Prepare(&headers[i]);
    driver.AddBuffer(&headers[i]);
  }
  driver.Start();
  Bytes message(static_cast<std::size_t>(state.range(0)), 0x11);
  message.front() = 0xF0;
  message.back() = 0xF7;
  for (auto _ : state) {
    driver.Receive(message);
    for (int i = 0; i < back.count; ++i) driver.AddBuffer(back.headers[i]);
    back.count = 0;
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
  driver.Reset();
}
BENCHMARK(BM_BufferFiller)->Arg(9)->Arg(2350)->Arg(18183);

}  // namespace
}  // namespace quorle
