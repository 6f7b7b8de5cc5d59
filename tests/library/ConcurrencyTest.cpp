#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "LibraryFixture.h"
#include "library/Library.h"

namespace quorle::testing {
namespace {

using library::Library;
using library::Query;

class LibraryConcurrency : public LibraryFixture {
 protected:
  // Two sets of bank files that share some banks, so both importers meet the same dumps.
  void MakeSets() {
    for (int seed = 1; seed <= 9; ++seed) {
      const Bytes bank = Bank(seed % 2 ? kProgramKind : kMixKind, static_cast<std::uint64_t>(seed));
      if (seed <= 6) Write(Path("a/bank" + std::to_string(seed) + ".syx"), bank);
      if (seed >= 4) Write(Path("b/bank" + std::to_string(seed) + ".syx"), bank);
    }
  }

  // Every bank is in, each file with all of its 128 places.
  void ExpectEverything() {
    Library library(LibraryFile());
    EXPECT_EQ(library.Count({}), 9u * 128);
    for (const char* set : {"a/", "b/"}) {
      Query q;
      q.place = set;
      EXPECT_EQ(library.Count(q), 6u * 128) << set;
    }
    EXPECT_EQ(library.WholeBanks(kProgramKind).size() + library.WholeBanks(kMixKind).size(), 12u);
  }
};

TEST_F(LibraryConcurrency, TwoThreadsImportingIntoANewLibraryAtOnceLoseNothing) {
  MakeSets();
  std::size_t fresh[2] = {};
  std::string failed;
  std::thread other([&] {
    try {
      fresh[1] = Library(LibraryFile()).Import({Path("b")}).fresh;
    } catch (const library::LibraryError& e) {
      failed = e.what();
    }
  });
  fresh[0] = Library(LibraryFile()).Import({Path("a")}).fresh;
  other.join();
  EXPECT_EQ(failed, "");
  EXPECT_EQ(fresh[0] + fresh[1], 9u * 128);
  ExpectEverything();
}

TEST_F(LibraryConcurrency, TwoProcessesImportingIntoANewLibraryAtOnceLoseNothing) {
  MakeSets();
  const pid_t pid = ::fork();
  if (pid == 0) {
    bool ok = false;
    try {
      ok = Library(LibraryFile()).Import({Path("b")}).dumps == 6 * 128;
    } catch (...) {
    }
    std::_Exit(ok ? 0 : 1);
  }
  const auto report = Library(LibraryFile()).Import({Path("a")});
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(report.dumps, 6u * 128);
  ExpectEverything();
}

}  // namespace
}  // namespace quorle::testing
