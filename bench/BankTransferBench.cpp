// Whole-bank transfers through the main window over the in-process simulated Andromeda: what the
// program costs per dump, how close a paced fetch comes to the link's own time, and how a bank
// send spaces its dumps on the wire.
#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchWindow.h"
#include "dialogs/TdlgSendBank.h"
#include "dialogs/TfrmSplitBank.h"
#include "dialogs/TfrmSplitMixBank.h"
#include "protocol/SysexFile.h"
#include "sim/SimulatedAndromeda.h"

namespace quorle::bench {
namespace {

using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;
constexpr double kEntries = static_cast<double>(kBankEntries);

const DumpKind& KindOf(const benchmark::State& state) {
  return state.range(0) == 0 ? kProgramKind : kMixKind;
}

double CpuSeconds(clockid_t clock) {
  timespec t{};
  clock_gettime(clock, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Wall time, the main thread's CPU time (the window: dispatch, collector, file write) and the
// whole process's (the simulator and the MIDI service's thread too), summed over the runs; and
// for a fetch, the wall time until the last dump was collected, before the file is written.
struct Meter {
  double wall = 0, mainCpu = 0, processCpu = 0, collectWall = 0;
  Clock::time_point wallStart{};
  double mainStart = 0, processStart = 0;

  void Start() {
    mainStart = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    processStart = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
    wallStart = Clock::now();
  }
  void Stop(Clock::time_point collected = {}) {
    if (collected > wallStart) collectWall += Seconds(collected - wallStart).count();
    wall += Seconds(Clock::now() - wallStart).count();
    mainCpu += CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - mainStart;
    processCpu += CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - processStart;
  }
  void Report(benchmark::State& state) const {
    const double dumps = kEntries * static_cast<double>(state.iterations());
    state.counters["dumps_per_s"] = dumps / wall;
    state.counters["wall_us_per_dump"] = wall / dumps * 1e6;
    state.counters["main_cpu_us_per_dump"] = mainCpu / dumps * 1e6;
    state.counters["process_cpu_us_per_dump"] = processCpu / dumps * 1e6;
    if (collectWall > 0) {
      state.counters["collected_dumps_per_s"] = dumps / collectWall;
      state.counters["collected_us_per_dump"] = collectWall / dumps * 1e6;
    }
  }
};

// Scripts the window's bank chooser to pick bank 0 (User) and its file chooser to answer file.
void AnswerFetch(BenchWindow& w, const std::filesystem::path& file) {
  w.Host().file = file.string();
  w.Host().answerDialog = [](Dialog& d) {
    if (auto* programs = dynamic_cast<TfrmSplitBank*>(&d)) {
      programs->rbUserClick();
      programs->btnOKClick();
    } else if (auto* mixes = dynamic_cast<TfrmSplitMixBank*>(&d)) {
      mixes->rbUserClick();
      mixes->btnOKClick();
    }
    return ModalResult::OK;
  };
}

void ClickGetBank(TfrmMain& f, const DumpKind& kind) {
  &kind == &kProgramKind ? f.btnGetBankClick(0) : f.btnGetMixBankClick(0);
}

bool Saved(BenchWindow& w) {
  return w.Host().status.ends_with("\" saved to disk") && w.Form().ReceivedCount == 128;
}

// A bank fetched from the simulator: request, 128 dumps, the file written once at the end.
// Args: kind (0 Program, 1 Mix), the simulator's rate in bytes per second (0 = at once).
void BM_FetchBank(benchmark::State& state) {
  const DumpKind& kind = KindOf(state);
  const auto rate = static_cast<unsigned>(state.range(1));
  // Both directions run at the rate: the request out, then the 128 dumps back.
  const auto bytes = BankDumpRequest(kind, 0).size() + kBankEntries * kind.dumpSize;
  const auto limit = std::chrono::seconds(60 + (rate == 0 ? 0 : 2 * bytes / rate));
  BenchWindow w(rate);
  AnswerFetch(w, w.Folder() / "bank.syx");
  Meter meter;
  for (auto _ : state) {
    meter.Start();
    ClickGetBank(w.Form(), kind);
    const bool done = w.WaitIdle(limit);
    meter.Stop(w.Host().progressGoneTime);
    if (!done || !Saved(w)) {
      state.SkipWithError(("fetch did not end saved: " + w.Host().status).c_str());
      return;
    }
  }
  meter.Report(state);
  if (rate != 0) {
    // Both directions run at the rate: the request out, then the 128 dumps back.
    const double bytes =
        static_cast<double>(BankDumpRequest(kind, 0).size() + kBankEntries * kind.dumpSize);
    const double link = bytes / rate;
    const double wall = meter.wall / static_cast<double>(state.iterations());
    state.counters["link_s"] = link;
    state.counters["wall_s"] = wall;
    state.counters["wall_over_link"] = wall / link;
  }
}

// The short runs: each kind (0 Program, 1 Mix), 30 iterations, three repetitions summed up.
void EachKindRepeated(benchmark::internal::Benchmark* b) {
  b->ArgName("kind")
      ->Arg(0)
      ->Arg(1)
      ->Iterations(30)
      ->Repetitions(3)
      ->ReportAggregatesOnly(true)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
}

BENCHMARK(BM_FetchBank)
    ->ArgNames({"kind", "rate"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Iterations(30)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_FetchBank)
    ->ArgNames({"kind", "rate"})
    ->Args({0, 100000})
    ->Args({1, 100000})
    ->Args({1, 31250})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The receive path alone: the 128 dumps come ready-made from a device that sends at once, so
// neither the simulator's work nor its pacing is in the figure; the file write still is.
void BM_ReceiveBank(benchmark::State& state) {
  const DumpKind& kind = KindOf(state);
  BenchWindow w(0);
  std::vector<Bytes> dumps;
  for (int i = 0; i < 128; ++i) dumps.push_back(w.Midi().Simulator().Dump(kind, 0, i));
  w.UseEndpoint();
  AnswerFetch(w, w.Folder() / "bank.syx");
  Meter meter;
  for (auto _ : state) {
    meter.Start();
    ClickGetBank(w.Form(), kind);
    for (const Bytes& dump : dumps) w.Endpoint().Inject(dump);
    const bool done = w.WaitIdle();
    meter.Stop(w.Host().progressGoneTime);
    if (!done || !Saved(w)) {
      state.SkipWithError(("fetch did not end saved: " + w.Host().status).c_str());
      return;
    }
  }
  meter.Report(state);
}
BENCHMARK(BM_ReceiveBank)->Apply(EachKindRepeated);

// The simulator's side of a fetch on its own: answering the request with the 128 dumps.
void BM_SimulatorAnswersBank(benchmark::State& state) {
  const DumpKind& kind = KindOf(state);
  SimSettings settings;
  settings.rate = 0;
  SimulatedAndromeda sim(settings);
  const Bytes request = BankDumpRequest(kind, 0);
  Meter meter;
  for (auto _ : state) {
    meter.Start();
    const auto answer = sim.Receive(request);
    meter.Stop();
    if (answer.size() != kBankEntries) {
      state.SkipWithError("the simulator did not answer with a bank");
      break;
    }
  }
  meter.Report(state);
}
BENCHMARK(BM_SimulatorAnswersBank)->Apply(EachKindRepeated);

// What the end of a fetch costs on its own: the bank file written atomically (synced, renamed).
void BM_WriteBankFile(benchmark::State& state) {
  const DumpKind& kind = KindOf(state);
  const auto dir = std::filesystem::temp_directory_path() / "quorle-bench-write";
  std::filesystem::create_directories(dir);
  const Bytes content(kBankEntries * kind.dumpSize, 0x11);
  Meter meter;
  for (auto _ : state) {
    meter.Start();
    const bool written = WriteFileAtomically(dir / "bank.syx", content).ok;
    meter.Stop();
    if (!written) {
      state.SkipWithError("write failed");
      break;
    }
  }
  meter.Report(state);
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_WriteBankFile)->Apply(EachKindRepeated);

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
  std::nth_element(values.begin(), middle, values.end());
  return *middle;
}

// A Program bank sent to a capturing device that takes bytes at the given rate (0 = at once).
// The gap is the silence on its wire between one dump's last byte and the next dump's first.
void BM_SendBank(benchmark::State& state) {
  constexpr int kSendDelay = 10;
  const auto rate = static_cast<unsigned>(state.range(0));
  BenchWindow w(0);
  w.UseEndpoint();
  w.Endpoint().SetRate(rate);
  TfrmMain& f = w.Form();
  f.SendDelay = kSendDelay;
  const Bytes bank = w.Midi().Simulator().BankFile(kProgramKind, 0);
  const auto file = w.Folder() / "send.syx";
  if (!WriteFileAtomically(file, bank).ok) {
    state.SkipWithError("cannot write the bank file");
    return;
  }
  w.Host().file = file.string();
  w.Host().answerDialog = [](Dialog& d) {
    if (auto* send = dynamic_cast<TdlgSendBank*>(&d)) {
      send->rbUserClick();
      send->BitBtn1Click();
    }
    return ModalResult::OK;
  };
  // The engine rounds each message's wire time down to whole microseconds.
  const double wire =
      rate == 0 ? 0.0 : static_cast<double>(kProgramKind.dumpSize * 1000000 / rate) * 1e-6;
  std::vector<double> gaps, lags;
  double wall = 0;
  for (auto _ : state) {
    w.TakeArrivals();
    const auto start = Clock::now();
    f.btnSendBankClick();
    const bool done = w.WaitFor([&] { return f.ControlsEnabled() && w.ArrivalCount() >= 128; });
    wall += Seconds(Clock::now() - start).count();
    const auto arrivals = w.TakeArrivals();
    if (!done || arrivals.size() != 128 || !w.Host().status.ends_with(" sent to Andromeda")) {
      state.SkipWithError(("send did not end sent: " + w.Host().status).c_str());
      return;
    }
    for (std::size_t i = 1; i < arrivals.size(); ++i) {
      gaps.push_back((Seconds(arrivals[i] - arrivals[i - 1]).count() - wire) * 1e3);
    }
    lags.push_back(Seconds(w.Host().statusTime - arrivals.back()).count() * 1e3);
  }
  const double bound = (kEntries * wire + (kEntries - 1) * kSendDelay * 1e-3);
  state.counters["send_delay_ms"] = kSendDelay;
  state.counters["gap_min_ms"] = *std::min_element(gaps.begin(), gaps.end());
  state.counters["gap_median_ms"] = Median(gaps);
  state.counters["done_lag_min_ms"] = *std::min_element(lags.begin(), lags.end());
  state.counters["done_lag_max_ms"] = *std::max_element(lags.begin(), lags.end());
  state.counters["link_s"] = bound;
  state.counters["wall_over_link"] = wall / static_cast<double>(state.iterations()) / bound;
}
BENCHMARK(BM_SendBank)
    ->ArgName("rate")
    ->Arg(0)
    ->Arg(100000)
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The MIDI wire itself takes 96 s for a Program bank: only on request.
[[maybe_unused]] const bool kWireRuns = [] {
  if (!std::getenv("QUORLE_BENCH_WIRE")) return false;
  benchmark::RegisterBenchmark("BM_FetchBank", BM_FetchBank)
      ->ArgNames({"kind", "rate"})
      ->Args({0, 3125})
      ->Iterations(1)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
  return true;
}();

}  // namespace
}  // namespace quorle::bench
