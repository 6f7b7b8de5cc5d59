// Any bytes scanned as a file to import: a Standard MIDI File's chunks, events and SysEx pieces,
// or SysEx as it is. The scan never fails on them, and every dump it gives is whole and framed:
// a dump of a SysEx file (not from an edit buffer) lies in the file as it is.
#include <algorithm>
#include <cstdlib>

#include "library/SysexScan.h"

using namespace quorle;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const ByteView input(data, size);
  const library::SysexScan scan = library::ScanSysex(input);
  if (scan.midiFile != library::IsMidiFile(input)) std::abort();
  int last = -1;
  for (const library::ScannedDump& d : scan.dumps) {
    if (!d.kind || !CheckDumpFraming(*d.kind, d.bytes) || d.entry <= last) std::abort();
    last = d.entry;
    if (d.editBuffer && (d.bytes[6] != library::kNoAddress || d.bytes[7] != library::kNoAddress)) {
      std::abort();
    }
    if (!scan.midiFile && !d.editBuffer &&
        (d.bytes.data() < data || d.bytes.data() + d.bytes.size() > data + size)) {
      std::abort();
    }
  }
  return 0;
}
