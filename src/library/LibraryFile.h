#pragma once

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Exception.h>

#include <filesystem>
#include <memory>

#include "library/Library.h"

namespace quorle::library {

// The schema version this Quorle writes; files of an older one are brought up to it on opening.
inline constexpr int kSchemaVersion = 3;
// "QRLB" in the file's header: a SQLite file without it is not a library.
inline constexpr std::int32_t kApplicationId = 0x51524C42;

// Opens the library file for reading and writing (reading only, when it is write-protected),
// creating it when it does not exist or is empty. A file that is not a library, is damaged or is
// of a newer version is refused before anything is written to it.
std::unique_ptr<SQLite::Database> OpenLibraryFile(const std::filesystem::path& file);

// Opens a library for reading only, and changes nothing in it: for checking and rescuing a damaged
// one, so a file cut short is opened too. Refuses what is not a library.
std::unique_ptr<SQLite::Database> OpenLibraryToRead(const std::filesystem::path& file);

// A library in which this program has met damage refuses every write from then on, whichever
// connection met it.
void MarkDamaged(const std::filesystem::path& file);
bool KnownDamaged(const std::filesystem::path& file);
LibraryError DamagedError(const std::filesystem::path& file);

// Commits that need not wait for the disk while it lives: what they record exists elsewhere too
// (the files of an import, the files and instrument of a capture), so a power cut costs at most a
// record to repeat, never a dump that exists nowhere else. A safety copy never uses it.
class RelaxedSync {
 public:
  explicit RelaxedSync(SQLite::Database& db) : db_(db) { db_.exec("PRAGMA synchronous = NORMAL"); }
  ~RelaxedSync() { db_.tryExec("PRAGMA synchronous = FULL"); }
  RelaxedSync(const RelaxedSync&) = delete;
  RelaxedSync& operator=(const RelaxedSync&) = delete;

 private:
  SQLite::Database& db_;
};

// The error a failed statement means for the user, naming the file; db, when given, tells what the
// system said of a failed read or write. A damaged library is marked as such.
LibraryError Failure(const std::filesystem::path& file, const SQLite::Exception& e,
                     sqlite3* db = nullptr);

// BEGIN IMMEDIATE: waits (within the busy time-out) for another writer before reading anything,
// so two writers never meet halfway. Rolled back unless committed.
class WriteTransaction {
 public:
  explicit WriteTransaction(SQLite::Database& db);
  ~WriteTransaction();
  WriteTransaction(const WriteTransaction&) = delete;
  WriteTransaction& operator=(const WriteTransaction&) = delete;
  void Commit();

 private:
  SQLite::Database& db_;
  bool done_ = false;
};

}  // namespace quorle::library
