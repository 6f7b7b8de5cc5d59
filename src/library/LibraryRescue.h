#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "library/Library.h"

namespace quorle::library {

// SQLite's own check of every page of a library; the library is opened for reading only.
struct CheckReport {
  bool whole = false;
  std::vector<std::string> problems;  // in SQLite's words, at most 100
};
CheckReport CheckLibrary(const std::filesystem::path& file);

// What a rescue copied, and what it could not read.
struct RescueReport {
  std::size_t dumps = 0;
  std::size_t places = 0;
  std::size_t banks = 0;
  // The ids, as ranges, of dumps that could not be read, or whose bytes could not.
  std::vector<std::pair<DumpId, DumpId>> lostDumps;
  std::size_t lostDumpCount = 0;
  std::size_t placesLostOf = 0;  // dumps whose places, or some of them, could not be read
  std::size_t lostBanks = 0;     // banks seen whole that could not be read or lost a dump
};

// Copies every dump, place, category, favorite mark and bank seen whole that can still be read
// from a damaged library into a new library at into, which must not exist yet. The damaged
// library is opened for reading only and never changed. Throws LibraryError when nothing can be
// rescued (not a library) or the new library cannot be written; no new file is left then.
RescueReport RescueLibrary(const std::filesystem::path& damaged, const std::filesystem::path& into);

// Whether this program has met damage in the library: the window then offers check and rescue.
bool FoundDamaged(const std::filesystem::path& file);
// What a check found, as the user is told: "the library is whole", or "the library is damaged:"
// and what SQLite found, a line each.
std::string CheckSummary(const CheckReport& report);
// What a rescue did: "380 dumps rescued, with 1,020 places and 2 banks seen whole", and on a line
// of its own what could not be read.
std::string RescueSummary(const RescueReport& report);
// Ids as "3, 7-12", the way a rescue names what it lost.
std::string IdRanges(const std::vector<std::pair<DumpId, DumpId>>& ranges);
// A name beside the damaged library that no file has yet: "library (rescued).sqlite", ...
std::filesystem::path RescueFileFor(const std::filesystem::path& damaged);

}  // namespace quorle::library
