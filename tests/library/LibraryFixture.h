#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "library/Library.h"
#include "protocol/DumpName.h"
#include "sim/SimContent.h"
#include "support/TestFolder.h"

namespace quorle::testing {

// A folder of its own for each test, with bank files and dumps of the simulated instrument's
// content to import.
class LibraryFixture : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = FreshTestFolder("library"); }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::filesystem::path Path(const std::string& name) const { return dir_ / name; }
  std::filesystem::path LibraryFile() const { return Path("library.sqlite"); }

  static Bytes Dump(const DumpKind& kind, std::uint64_t seed, int bank, int entry) {
    return SeededDump(kind, seed, bank, entry, 1, 1);
  }
  static Bytes Bank(const DumpKind& kind, std::uint64_t seed, int bank = 0) {
    Bytes bytes;
    for (int entry = 0; entry < 128; ++entry) {
      const Bytes dump = Dump(kind, seed, bank, entry);
      bytes.insert(bytes.end(), dump.begin(), dump.end());
    }
    return bytes;
  }
  static void Write(const std::filesystem::path& path, const Bytes& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  }
  static Bytes Read(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }
  static Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
  }

  std::filesystem::path dir_;
};

}  // namespace quorle::testing
