#pragma once

#include <cstddef>
#include <filesystem>

namespace quorle::bench {

// A library of about 100,000 dumps made from the simulated instrument's content under varied
// seeds, some 5% of them renamed copies (duplicates), imported from bank files on disk, and 20
// Program banks fetched whole from the instrument's User, Preset and card banks, one in four of
// their dumps held by no file. Built once a process, in a folder of the temporary directory that
// is removed at exit.
struct BenchLibrary {
  std::filesystem::path banks;  // the bank files it was imported from
  std::filesystem::path file;   // the library
  std::size_t dumps = 0;
  std::size_t dumpBytes = 0;         // the bytes of its distinct dumps
  double importSeconds = 0;          // the import of all the bank files, page cache warm
  std::size_t onlyOnInstrument = 0;  // fetched dumps no file holds
};
const BenchLibrary& HundredThousandDumps();

}  // namespace quorle::bench
