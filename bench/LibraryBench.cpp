#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "BenchLibrary.h"
#include "library/InstrumentView.h"
#include "library/Library.h"
#include "protocol/SysexFile.h"
#include "sim/SimContent.h"

namespace quorle::bench {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Median and 99th percentile of the times of single searches, in milliseconds.
void ReportTimes(benchmark::State& state, std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  if (ms.empty()) return;
  state.counters["median_ms"] = ms[ms.size() / 2];
  state.counters["p99_ms"] = ms[std::min(ms.size() - 1, ms.size() * 99 / 100)];
  state.counters["max_ms"] = ms.back();
}

// Bank files in the page cache into a new library on disk, until it is closed.
void BM_LibraryImportBankFiles(benchmark::State& state) {
  const fs::path dir =
      fs::temp_directory_path() / ("quorle-bench-import-" + std::to_string(::getpid()));
  fs::create_directories(dir / "banks");
  constexpr int kFiles = 40;
  for (int i = 0; i < kFiles; ++i) {
    const DumpKind& kind = i % 2 ? kMixKind : kProgramKind;
    Bytes file;
    for (int entry = 0; entry < 128; ++entry) {
      const Bytes dump = SeededDump(kind, 1000 + i, 0, entry, 1, 1);
      file.insert(file.end(), dump.begin(), dump.end());
    }
    WriteFileAtomically(dir / "banks" / ("bank " + std::to_string(i) + ".syx"), file);
    ReadWholeFile(dir / "banks" / ("bank " + std::to_string(i) + ".syx"), file);
  }
  std::size_t dumps = 0;
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove(dir / "library.sqlite");
    auto library = std::make_unique<library::Library>(dir / "library.sqlite");
    state.ResumeTiming();
    dumps += library->Import({dir / "banks"}).fresh;
    // Closing writes the log back into the library file.
    library.reset();
  }
  fs::remove_all(dir);
  state.counters["dumps_per_s"] =
      benchmark::Counter(static_cast<double>(dumps), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_LibraryImportBankFiles)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

// The library of 100,000 dumps: how long its import took, and its file against its dumps' bytes.
void BM_LibraryHundredThousand(benchmark::State& state) {
  const BenchLibrary& b = HundredThousandDumps();
  for (auto _ : state) {
    benchmark::DoNotOptimize(fs::file_size(b.file));
  }
  state.counters["dumps"] = static_cast<double>(b.dumps);
  state.counters["import_dumps_per_s"] = static_cast<double>(b.dumps) / b.importSeconds;
  state.counters["file_MiB"] = static_cast<double>(fs::file_size(b.file)) / (1 << 20);
  state.counters["file_over_dumps"] =
      static_cast<double>(fs::file_size(b.file)) / static_cast<double>(b.dumpBytes);
}
BENCHMARK(BM_LibraryHundredThousand)->Iterations(1)->Unit(benchmark::kMillisecond);

// What the window does at a keystroke: the first 200 rows and the count.
void Timed(benchmark::State& state, const std::vector<library::Query>& queries) {
  library::Library library(HundredThousandDumps().file);
  std::vector<double> ms;
  std::size_t i = 0;
  for (auto _ : state) {
    const library::Query& q = queries[i++ % queries.size()];
    const auto start = Clock::now();
    benchmark::DoNotOptimize(library.Search(q));
    benchmark::DoNotOptimize(library.Count(q));
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  ReportTimes(state, std::move(ms));
}

// Three letters out of the names the library holds, and a few that match little or nothing.
void BM_LibrarySearchThreeLetters(benchmark::State& state) {
  static constexpr std::array<const char*, 28> kTexts = {
      "pad", "bas", "lea", "key", "bra", "str", "org", "bel", "plu", "swe",
      "arp", "dru", "cho", "syn", "seq", "dee", "war", "gla", "hyp", "ana",
      "sof", "dar", "rez", "sub", "ice", "vel", "zzz", "q7x"};
  std::vector<library::Query> queries;
  for (const char* text : kTexts) {
    library::Query q;
    q.text = text;
    queries.push_back(q);
  }
  Timed(state, queries);
}
BENCHMARK(BM_LibrarySearchThreeLetters)->Iterations(1000)->Unit(benchmark::kMillisecond);

void BM_LibraryDuplicatesOnly(benchmark::State& state) {
  library::Query q;
  q.duplicatesOnly = true;
  Timed(state, {q});
}
BENCHMARK(BM_LibraryDuplicatesOnly)->Iterations(200)->Unit(benchmark::kMillisecond);

// From choosing an instrument bank to its 128 slots as last seen, each bank in turn.
void BM_LibraryInstrumentBank(benchmark::State& state) {
  library::Library library(HundredThousandDumps().file);
  constexpr std::array<int, 5> kBanks = {0, 1, 2, kProgramKind.firstCardBank,
                                         kProgramKind.firstCardBank + 1};
  std::vector<double> ms;
  std::size_t i = 0;
  for (auto _ : state) {
    const auto start = Clock::now();
    const library::InstrumentBankView view =
        library::InstrumentBank(library, kProgramKind, kBanks[i++ % kBanks.size()]);
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    if (!view.entries[127].id) state.SkipWithError("a slot fetched was not seen");
  }
  ReportTimes(state, std::move(ms));
}
BENCHMARK(BM_LibraryInstrumentBank)->Iterations(200)->Unit(benchmark::kMillisecond);

// The count of dumps only the instrument holds, as the window's count line asks it.
void BM_LibraryOnlyOnInstrumentCount(benchmark::State& state) {
  library::Library library(HundredThousandDumps().file);
  library::Query q;
  q.onlyOnInstrument = true;
  std::vector<double> ms;
  for (auto _ : state) {
    const auto start = Clock::now();
    const std::size_t count = library.Count(q);
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    if (count != HundredThousandDumps().onlyOnInstrument) state.SkipWithError("a wrong count");
  }
  ReportTimes(state, std::move(ms));
}
BENCHMARK(BM_LibraryOnlyOnInstrumentCount)->Iterations(200)->Unit(benchmark::kMillisecond);

// The look at every file the places name, as the window takes it when it opens: each file's size
// and time against those of its content last confirmed.
void BM_LibraryCheckFiles(benchmark::State& state) {
  library::Library library(HundredThousandDumps().file);
  for (auto _ : state) {
    const library::FileCheck check = library.CheckFiles();
    state.counters["files"] = static_cast<double>(check.files);
    if (check.gone != 0) state.SkipWithError("a place found gone");
  }
}
BENCHMARK(BM_LibraryCheckFiles)->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quorle::bench
