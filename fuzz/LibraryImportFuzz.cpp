// Any bytes imported as a file into a new library: the import never fails on them, and what the
// library then holds is exactly some of the file's whole dumps, byte for byte, each with its place
// (a MIDI file's dumps come in pieces, and an edit buffer's in another layout: they are framed).
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "library/Library.h"
#include "library/SysexScan.h"
#include "protocol/SysexFile.h"

namespace {

namespace fs = std::filesystem;
using namespace quorle;

// A folder of the process's own in memory where there is one; removed when the process ends.
struct Scratch {
  Scratch() {
    std::error_code ec;
    const fs::path base = fs::is_directory("/dev/shm", ec) ? "/dev/shm" : fs::temp_directory_path();
    folder = base / ("quorle-fuzz-library-" + std::to_string(::getpid()));
  }
  ~Scratch() {
    std::error_code ignored;
    fs::remove_all(folder, ignored);
  }
  fs::path folder;
};

fs::path Folder() {
  static const Scratch scratch;
  return scratch.folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fs::path folder = Folder();
  fs::remove_all(folder);
  fs::create_directories(folder);
  const fs::path file = folder / "input.syx";
  if (!WriteFileAtomically(file, ByteView(data, size)).ok) std::abort();

  library::Library library(folder / "library.sqlite");
  const auto report = library.Import({file});
  if (report.fresh > report.dumps || report.files > 1) std::abort();

  library::Query all;
  all.limit = 1000000;
  const auto rows = library.Search(all);
  if (rows.size() != report.fresh || library.Count(all) != rows.size()) std::abort();
  const ByteView input(data, size);
  for (const auto& row : rows) {
    const auto dump = library.DumpBytes(row.id);
    if (!dump || !row.kind || !CheckDumpFraming(*row.kind, *dump)) std::abort();
    // Stored as found in the file.
    const bool asFound = !library::IsMidiFile(input) && (*dump)[6] != library::kNoAddress;
    if (asFound &&
        std::search(input.begin(), input.end(), dump->begin(), dump->end()) == input.end()) {
      std::abort();
    }
    const auto details = library.Details(row.id);
    if (!details || details->places.empty() || details->summary.sound.size() != 64) std::abort();
  }
  // The same file again adds nothing.
  if (library.Import({file}).fresh != 0) std::abort();
  return 0;
}
