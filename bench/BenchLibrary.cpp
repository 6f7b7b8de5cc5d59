#include "BenchLibrary.h"

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>

#include "library/Library.h"
#include "protocol/DumpName.h"
#include "protocol/SysexFile.h"
#include "sim/SimContent.h"

namespace quorle::bench {

namespace fs = std::filesystem;

namespace {

// The banks of an instrument with two cards in: Programs User, Preset 1 and 2, Card 1 and 2;
// Mixes User, Preset, Card 1 and 2.
constexpr int kProgramBanks = 5;
constexpr int kMixBanks = 4;
constexpr int kSeeds = 83;
constexpr int kRenamedPerSeed = 64;
constexpr int kFetchedBanks = 20;

void WriteFile(const fs::path& path, const Bytes& bytes) {
  if (!WriteFileAtomically(path, bytes).ok) std::abort();
}

// QUORLE_BENCH_LIBRARY names a folder to build the library in and leave it for a look afterwards.
fs::path Folder() {
  if (const char* kept = std::getenv("QUORLE_BENCH_LIBRARY"); kept && *kept) return kept;
  return fs::temp_directory_path() / ("quorle-bench-library-" + std::to_string(::getpid()));
}

void RemoveFolder() {
  std::error_code ec;
  fs::remove_all(Folder(), ec);
}

BenchLibrary Build() {
  BenchLibrary b;
  b.banks = Folder() / "banks";
  b.file = Folder() / "library.sqlite";
  const char* kept = std::getenv("QUORLE_BENCH_LIBRARY");
  const bool keep = kept && *kept;
  std::error_code ec;
  if (keep && fs::exists(b.file, ec)) fs::remove_all(Folder());
  fs::create_directories(b.banks);
  if (!keep) std::atexit(RemoveFolder);
  for (int seed = 1; seed <= kSeeds; ++seed) {
    for (const DumpKind* kind : {&kProgramKind, &kMixKind}) {
      const int banks = kind == &kProgramKind ? kProgramBanks : kMixBanks;
      for (int bank = 0; bank < banks; ++bank) {
        Bytes file;
        Bytes renamed;
        for (int entry = 0; entry < 128; ++entry) {
          const Bytes dump = SeededDump(*kind, static_cast<std::uint64_t>(seed), bank, entry, 2, 2);
          file.insert(file.end(), dump.begin(), dump.end());
          // Some of the User Programs again under other names: the same sounds renamed.
          if (kind == &kProgramKind && bank == 0 && entry < kRenamedPerSeed) {
            const Bytes copy =
                RenameDump(*kind, dump, "Copy " + std::to_string(seed * 1000 + entry));
            renamed.insert(renamed.end(), copy.begin(), copy.end());
          }
          b.dumpBytes += dump.size();
          ++b.dumps;
        }
        const std::string name = std::string(kind->splitPrefix) + " seed " + std::to_string(seed) +
                                 " bank " + std::to_string(bank) + ".syx";
        WriteFile(b.banks / name, file);
        if (!renamed.empty()) {
          WriteFile(b.banks / ("Renamed seed " + std::to_string(seed) + ".syx"), renamed);
          b.dumpBytes += renamed.size();
          b.dumps += kRenamedPerSeed;
        }
      }
    }
  }
  // Read once, so the import measures the library and not the disk.
  for (const auto& entry : fs::directory_iterator(b.banks)) {
    Bytes content;
    ReadWholeFile(entry.path(), content);
  }
  const auto start = std::chrono::steady_clock::now();
  {
    library::Library library(b.file);
    const auto report = library.Import({b.banks});
    if (report.fresh != b.dumps) std::abort();
  }
  b.importSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  // Fetches over the years: the imported sounds, with every fourth slot one no file holds.
  library::Library library(b.file);
  for (int fetch = 0; fetch < kFetchedBanks; ++fetch) {
    const int content = fetch % kProgramBanks;
    const int bank = content < 3 ? content : kProgramKind.firstCardBank + content - 3;
    std::vector<Bytes> dumps;
    for (int entry = 0; entry < 128; ++entry) {
      const int seed = entry % 4 == 0 ? kSeeds + 1 + fetch : 1 + fetch;
      dumps.push_back(
          SeededDump(kProgramKind, static_cast<std::uint64_t>(seed), content, entry, 2, 2));
    }
    std::vector<library::Library::Seen> seen;
    for (int entry = 0; entry < 128; ++entry)
      seen.push_back({&kProgramKind, dumps[static_cast<std::size_t>(entry)], bank, entry});
    library.RecordAll(seen, library::How::Fetched);
    b.onlyOnInstrument += 32;
  }
  return b;
}

}  // namespace

const BenchLibrary& HundredThousandDumps() {
  static const BenchLibrary library = Build();
  return library;
}

}  // namespace quorle::bench
