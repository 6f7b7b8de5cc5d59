#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>

#include "LibraryFixture.h"
#include "library/Library.h"

namespace quorle::testing {
namespace {

namespace fs = std::filesystem;
using library::Library;
using library::LibraryError;
using library::Query;

void Sql(const fs::path& file, const char* sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
  sqlite3_close(db);
}

// Runs body in a child process and returns its exit status: 0 when body returned true.
template <typename F>
int InChild(F body) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    bool ok = false;
    try {
      ok = body();
    } catch (...) {
    }
    std::_Exit(ok ? 0 : 1);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 99;
}

class LibraryFiles : public LibraryFixture {
 protected:
  // Opening must throw naming the file and the reason, and leave every byte as it was.
  void ExpectRefused(const fs::path& file, const std::string& reason) {
    const Bytes before = Read(file);
    try {
      Library library(file);
      ADD_FAILURE() << "opened " << file;
    } catch (const LibraryError& e) {
      EXPECT_EQ(std::string(e.what()), file.string() + ": " + reason);
    }
    EXPECT_EQ(Read(file), before);
    EXPECT_FALSE(fs::exists(file.string() + "-wal"));
  }

  void MakeLibrary(const fs::path& file) {
    Write(Path("bank.syx"), Bank(kProgramKind, 1));
    Library library(file);
    library.Import({Path("bank.syx")});
  }
};

TEST_F(LibraryFiles, ANonLibraryADamagedOneAndANewerOneAreRefusedUntouched) {
  Write(Path("notes.sqlite"), {'h', 'e', 'l', 'l', 'o', '\n'});
  ExpectRefused(Path("notes.sqlite"), "not a Quorle library");
  Sql(Path("other.sqlite"), "CREATE TABLE t(x); INSERT INTO t VALUES (1)");
  ExpectRefused(Path("other.sqlite"), "not a Quorle library");

  MakeLibrary(Path("newer.sqlite"));
  Sql(Path("newer.sqlite"), "PRAGMA user_version = 99");
  ExpectRefused(Path("newer.sqlite"),
                "written by a newer Quorle (library version 99; this Quorle reads up to 3)");

  MakeLibrary(Path("cut.sqlite"));
  fs::resize_file(Path("cut.sqlite"), fs::file_size(Path("cut.sqlite")) / 2);
  ExpectRefused(Path("cut.sqlite"), "the library is damaged: it was cut short");

  MakeLibrary(Path("lost.sqlite"));
  Sql(Path("lost.sqlite"), "PRAGMA foreign_keys = OFF; DROP TABLE places");
  ExpectRefused(Path("lost.sqlite"), "the library is damaged: its table places is missing");

  // An empty file is where a library starts; a missing one is made, its folder too.
  Write(Path("empty.sqlite"), {});
  EXPECT_NO_THROW(Library(Path("empty.sqlite")));
  EXPECT_NO_THROW(Library(Path("new/folder/library.sqlite")));
}

TEST_F(LibraryFiles, AReadOnlyLibraryIsReadButNeverWritten) {
  MakeLibrary(LibraryFile());
  Write(Path("more.syx"), Bank(kMixKind, 2));
  fs::permissions(LibraryFile(),
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  fs::permissions(dir_, fs::perms::all);
  const Bytes before = Read(LibraryFile());
  const std::string expected = LibraryFile().string() + ": the library is read-only";
  // Root may write any file: the child gives that up first.
  EXPECT_EQ(InChild([&] {
              if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) return false;
              Library library(LibraryFile());
              if (library.Count({}) != 128) return false;
              try {
                library.Import({Path("more.syx")});
              } catch (const LibraryError& e) {
                return std::string(e.what()) == expected;
              }
              return false;
            }),
            0);
  EXPECT_EQ(Read(LibraryFile()), before);
}

TEST_F(LibraryFiles, AFullDiskEndsTheImportAndLeavesEveryFileInWholeOrNotAtAll) {
  MakeLibrary(LibraryFile());
  for (int i = 0; i < 12; ++i)
    Write(Path("set/bank" + std::to_string(i) + ".syx"), Bank(kProgramKind, 10 + i));
  const std::string prefix = LibraryFile().string() + ": ";
  // The disk is full for this process as soon as a file would grow past 2 MB.
  EXPECT_EQ(InChild([&] {
              std::signal(SIGXFSZ, SIG_IGN);
              const rlimit limit{2 << 20, 2 << 20};
              if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return false;
              Library library(LibraryFile());
              try {
                library.Import({Path("set")});
              } catch (const LibraryError& e) {
                return std::string(e.what()).rfind(prefix, 0) == 0;
              }
              return false;
            }),
            0);
  Library library(LibraryFile());
  const std::size_t all = library.Count({});
  EXPECT_GT(all, 128u);
  EXPECT_LT(all, 128u * 13);
  for (int i = 0; i < 12; ++i) {
    Query q;
    q.place = "bank" + std::to_string(i) + ".syx";
    const std::size_t n = library.Count(q);
    EXPECT_TRUE(n == 0 || n == 128) << q.place << ": " << n;
  }
  // What was not taken comes in with the next import.
  EXPECT_EQ(library.Import({Path("set")}).fresh, 128u * 13 - all);
}

}  // namespace
}  // namespace quorle::testing
