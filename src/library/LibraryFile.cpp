#include "library/LibraryFile.h"

#include <sqlite3.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>

#include <unistd.h>

namespace quorle::library {

namespace fs = std::filesystem;

namespace {

// Big pages hold many dumps each: with 4 KiB pages a Program would fill one alone and waste the
// rest, and the file would grow to nearly twice the dumps' bytes.
constexpr int kPageSize = 16384;
// The window and a command line may share the library; a writer waits this long for the other.
constexpr int kBusyTimeoutMs = 10000;

// Version 1: dumps stored once, their names indexed by trigrams for any part of a name, with what a
// table shows of them (the most recent place, how many) at hand for a fast search; places
// where each was seen; files by their digest so an unchanged file adds nothing; banks seen whole.
// The name index is kept by the code that adds and forgets dumps: with the schema untrusted (a
// file from anywhere might be opened), triggers may not write to it.
void CreateFirstSchema(SQLite::Database& db) {
  db.exec(R"sql(
    CREATE TABLE sources(
      id INTEGER PRIMARY KEY,
      text TEXT NOT NULL UNIQUE);
    CREATE TABLE dumps(
      id INTEGER PRIMARY KEY,
      kind INTEGER NOT NULL,
      name TEXT NOT NULL,
      sound BLOB NOT NULL,
      category TEXT NOT NULL,
      own_category INTEGER NOT NULL DEFAULT 0,
      favorite INTEGER NOT NULL DEFAULT 0,
      shared INTEGER NOT NULL DEFAULT 0,
      last_seen INTEGER NOT NULL,
      place_count INTEGER NOT NULL,
      where_source INTEGER NOT NULL,
      where_how INTEGER NOT NULL,
      where_bank INTEGER NOT NULL,
      where_entry INTEGER NOT NULL);
    CREATE INDEX dumps_by_name ON dumps(name COLLATE NOCASE);
    CREATE INDEX dumps_by_seen ON dumps(last_seen);
    CREATE INDEX dumps_by_sound ON dumps(sound);
    CREATE INDEX dumps_shared_by_name ON dumps(name COLLATE NOCASE) WHERE shared;
    CREATE TABLE dump_bytes(
      dump INTEGER PRIMARY KEY REFERENCES dumps(id) ON DELETE CASCADE,
      bytes BLOB NOT NULL);
    CREATE TABLE places(
      dump INTEGER NOT NULL REFERENCES dumps(id) ON DELETE CASCADE,
      source INTEGER NOT NULL REFERENCES sources(id),
      how INTEGER NOT NULL,
      bank INTEGER NOT NULL,
      entry INTEGER NOT NULL,
      seen INTEGER NOT NULL,
      note TEXT,
      PRIMARY KEY(dump, source, how, bank, entry)) WITHOUT ROWID;
    CREATE INDEX places_replaced ON places(seen) WHERE how = 4;
    CREATE TABLE files(
      source INTEGER PRIMARY KEY REFERENCES sources(id),
      sha256 BLOB NOT NULL,
      seen INTEGER NOT NULL);
    CREATE TABLE banks(
      id INTEGER PRIMARY KEY,
      kind INTEGER NOT NULL,
      source INTEGER NOT NULL REFERENCES sources(id),
      how INTEGER NOT NULL,
      bank INTEGER NOT NULL,
      seen INTEGER NOT NULL,
      entries BLOB NOT NULL);
    CREATE VIRTUAL TABLE names USING fts5(
      name, content='dumps', content_rowid='id', tokenize='trigram', columnsize=0);
  )sql");
}

// Version 2: names sort by their text, leading blanks left out (" Sweep" among the S's).
void IndexTrimmedNames(SQLite::Database& db) {
  db.exec(R"sql(
    DROP INDEX dumps_by_name;
    DROP INDEX dumps_shared_by_name;
    CREATE INDEX dumps_by_name ON dumps(ltrim(name) COLLATE NOCASE);
    CREATE INDEX dumps_shared_by_name ON dumps(ltrim(name) COLLATE NOCASE) WHERE shared;
  )sql");
}

// Version 3: a file place whose file is gone or holds another dump there is marked gone; each
// dump counts its file and backup places that are not, so the dumps only the instrument holds are
// found at once; places are found by the bank and source they are in; a file's size and time
// when its content was last confirmed spare reading it again while they stay.
void CountKeptPlaces(SQLite::Database& db) {
  db.exec(R"sql(
    ALTER TABLE files ADD COLUMN size INTEGER NOT NULL DEFAULT -1;
    ALTER TABLE files ADD COLUMN mtime INTEGER NOT NULL DEFAULT -1;
    ALTER TABLE places ADD COLUMN gone INTEGER NOT NULL DEFAULT 0;
    ALTER TABLE dumps ADD COLUMN kept INTEGER NOT NULL DEFAULT 0;
    UPDATE dumps SET kept = (SELECT count(*) FROM places p WHERE p.dump = dumps.id AND p.how IN (0, 1));
    CREATE INDEX dumps_only_on_instrument ON dumps(id) WHERE kept = 0;
    CREATE INDEX places_by_bank ON places(bank, entry);
    CREATE INDEX places_by_source ON places(source, gone);
  )sql");
}

// Each step brings a file from the version before it to its own; a new version adds a step and
// never changes an old one.
struct Migration {
  int version;
  void (*apply)(SQLite::Database&);
};
constexpr std::array<Migration, kSchemaVersion> kMigrations = {
    {{1, CreateFirstSchema}, {2, IndexTrimmedNames}, {3, CountKeptPlaces}}};

constexpr std::array<const char*, 7> kTables = {"sources", "dumps", "dump_bytes", "places",
                                                "files",   "banks", "names"};

LibraryError Refused(const fs::path& file, const std::string& reason) {
  return LibraryError(file.string() + ": " + reason);
}

std::string NewerReason(int version) {
  return "written by a newer Quorle (library version " + std::to_string(version) +
         "; this Quorle reads up to " + std::to_string(kSchemaVersion) + ")";
}

std::uint32_t BigEndian(const std::array<std::uint8_t, 100>& h, std::size_t at) {
  return std::uint32_t{h[at]} << 24 | std::uint32_t{h[at + 1]} << 16 |
         std::uint32_t{h[at + 2]} << 8 | std::uint32_t{h[at + 3]};
}

// Looks at the file's header before SQLite reads anything, so that nothing SQLite might do (a
// journal rolled back, a mode switched) ever touches a file that is not a library. The header is
// read through SQLite's own handle of the file: a handle of our own, once closed, would drop the
// locks this process holds on the file, and another program closing the library would then take
// itself for its last user and delete the log that this process still writes to.
void CheckHeader(const fs::path& file, std::uintmax_t size, SQLite::Database& db,
                 bool cutToo = false) {
  std::array<std::uint8_t, 100> header{};
  sqlite3_file* handle = nullptr;
  if (sqlite3_file_control(db.getHandle(), "main", SQLITE_FCNTL_FILE_POINTER, &handle) !=
          SQLITE_OK ||
      !handle || !handle->pMethods) {
    throw Refused(file, "cannot be read");
  }
  const int read = handle->pMethods->xRead(handle, header.data(), header.size(), 0);
  if (read != SQLITE_OK && read != SQLITE_IOERR_SHORT_READ) throw Refused(file, "cannot be read");
  static constexpr char kMagic[] = "SQLite format 3";
  if (!std::equal(std::begin(kMagic), std::end(kMagic), header.begin())) {
    throw Refused(file, "not a Quorle library");
  }
  if (BigEndian(header, 68) != static_cast<std::uint32_t>(kApplicationId)) {
    throw Refused(file, "not a Quorle library");
  }
  if (const std::uint32_t version = BigEndian(header, 60); version > kSchemaVersion) {
    throw Refused(file, NewerReason(static_cast<int>(version)));
  }
  // The page count in the header is trustworthy when its change counter matches; a file shorter
  // than that was cut, unless a write-ahead log still holds pages not yet written back or another
  // Quorle is writing the file's first pages (its journal is there until it is done).
  const std::uint32_t pageSize =
      header[16] == 0 && header[17] == 1 ? 65536 : (header[16] << 8 | header[17]);
  std::error_code ec;
  const fs::path wal = file.string() + "-wal";
  const bool pending = (fs::exists(wal, ec) && fs::file_size(wal, ec) > 0) ||
                       fs::exists(file.string() + "-journal", ec);
  if (!cutToo && BigEndian(header, 92) == BigEndian(header, 24) && !pending &&
      std::uintmax_t{BigEndian(header, 28)} * pageSize > size) {
    throw Refused(file, "the library is damaged: it was cut short");
  }
}

int IntPragma(SQLite::Database& db, const char* pragma) {
  return db.execAndGet(std::string("PRAGMA ") + pragma).getInt();
}

// SQLite's quick check of every page; a library that fails it is marked as damaged.
bool PagesWhole(const fs::path& file, SQLite::Database& db) {
  if (db.execAndGet("PRAGMA quick_check(1)").getString() == "ok") return true;
  MarkDamaged(file);
  return false;
}

// Creates the schema of an empty file or brings an older one up to date, in one transaction.
// Another Quorle may be doing the same at this moment: whoever comes second finds it done.
void Migrate(const fs::path& file, SQLite::Database& db) {
  WriteTransaction transaction(db);
  const int tables = db.execAndGet("SELECT count(*) FROM sqlite_schema").getInt();
  const int id = IntPragma(db, "application_id");
  int version = IntPragma(db, "user_version");
  if (tables == 0 && id == 0 && version == 0) {
    db.exec("PRAGMA application_id = " + std::to_string(kApplicationId));
  } else if (id != kApplicationId) {
    throw Refused(file, "not a Quorle library");
  } else if (version > kSchemaVersion) {
    throw Refused(file, NewerReason(version));
  }
  for (const Migration& m : kMigrations) {
    if (m.version > version) {
      m.apply(db);
      version = m.version;
    }
  }
  db.exec("PRAGMA user_version = " + std::to_string(version));
  transaction.Commit();
}

void CheckTables(const fs::path& file, SQLite::Database& db) {
  SQLite::Statement query(db, "SELECT 1 FROM sqlite_schema WHERE type = 'table' AND name = ?");
  for (const char* table : kTables) {
    query.bind(1, table);
    if (!query.executeStep()) {
      throw Refused(file,
                    std::string("the library is damaged: its table ") + table + " is missing");
    }
    query.reset();
  }
}

bool IsBusy(const SQLite::Exception& e) {
  return e.getErrorCode() == SQLITE_BUSY || e.getErrorCode() == SQLITE_LOCKED;
}

std::unique_ptr<SQLite::Database> OpenOnce(const fs::path& file) {
  std::error_code ec;
  const bool exists = fs::exists(file, ec);
  if (exists && !fs::is_regular_file(file, ec)) throw Refused(file, "not a Quorle library");
  if (!exists && file.has_parent_path()) {
    fs::create_directories(file.parent_path(), ec);
    if (ec) throw Refused(file, "its folder cannot be made: " + ec.message());
  }
  const std::uintmax_t size = exists ? fs::file_size(file, ec) : 0;
  // A run by a user who could not write the library left its log and shared-memory files as
  // read-only as the library was then; SQLite would go on taking the library for read-only once
  // it is not.
  for (const char* suffix : {"-wal", "-shm"}) {
    const fs::path companion = file.string() + suffix;
    if (exists && ::access(file.c_str(), W_OK) == 0 && fs::exists(companion, ec) &&
        ::access(companion.c_str(), W_OK) != 0) {
      fs::permissions(companion, fs::status(file, ec).permissions(), ec);
    }
  }

  std::unique_ptr<SQLite::Database> db;
  try {
    // Opening reads nothing yet.
    db = std::make_unique<SQLite::Database>(
        file, SQLite::OPEN_READWRITE | (exists ? 0 : SQLite::OPEN_CREATE), kBusyTimeoutMs);
    // An empty file holds nothing to lose: it is where a library starts.
    if (size > 0) CheckHeader(file, size, *db);
    sqlite3_db_config(db->getHandle(), SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    db->exec("PRAGMA foreign_keys = ON; PRAGMA trusted_schema = OFF");
    const int id = IntPragma(*db, "application_id");
    const int version = IntPragma(*db, "user_version");
    if (size > 0 && id != kApplicationId) throw Refused(file, "not a Quorle library");
    if (version > kSchemaVersion) throw Refused(file, NewerReason(version));
    // A library that may not be written is read as its version stands.
    // Nor is a damaged one: the steps could spread the damage.
    if (version < kSchemaVersion &&
        (size == 0 || (!sqlite3_db_readonly(db->getHandle(), "main") && PagesWhole(file, *db)))) {
      if (size == 0) db->exec("PRAGMA page_size = " + std::to_string(kPageSize));
      Migrate(file, *db);
    }
    CheckTables(file, *db);
    if (db->execAndGet("PRAGMA journal_mode").getString() != "wal" &&
        !sqlite3_db_readonly(db->getHandle(), "main")) {
      db->exec("PRAGMA journal_mode = WAL");
    }
    // The log is emptied as it is written back, but keeps its size unless told otherwise.
    db->exec(
        "PRAGMA synchronous = FULL; PRAGMA temp_store = MEMORY; PRAGMA cache_size = -8192; "
        "PRAGMA journal_size_limit = 67108864");
  } catch (const SQLite::Exception& e) {
    if (IsBusy(e)) throw;
    throw Failure(file, e, db ? db->getHandle() : nullptr);
  }
  return db;
}

}  // namespace

std::unique_ptr<SQLite::Database> OpenLibraryFile(const fs::path& file) {
  // Two programs opening a new library at once can meet while it is being set up (its journal
  // turning to WAL, where SQLite does not wait); the open is tried again for as long as a busy
  // library is waited for anyway.
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyTimeoutMs);
  while (true) {
    try {
      return OpenOnce(file);
    } catch (const SQLite::Exception& e) {
      if (std::chrono::steady_clock::now() >= giveUp) throw Failure(file, e, nullptr);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

std::unique_ptr<SQLite::Database> OpenLibraryToRead(const fs::path& file) {
  std::error_code ec;
  if (!fs::exists(file, ec)) throw Refused(file, "does not exist");
  if (!fs::is_regular_file(file, ec)) throw Refused(file, "not a Quorle library");
  const std::uintmax_t size = fs::file_size(file, ec);
  if (ec || size == 0) throw Refused(file, "not a Quorle library");
  try {
    auto db = std::make_unique<SQLite::Database>(file, SQLite::OPEN_READONLY, kBusyTimeoutMs);
    CheckHeader(file, size, *db, true);
    sqlite3_db_config(db->getHandle(), SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    db->exec("PRAGMA trusted_schema = OFF");
    return db;
  } catch (const SQLite::Exception& e) {
    throw Failure(file, e, nullptr);
  }
}

namespace {

std::mutex damagedMutex;
std::set<std::string> damagedFiles;

std::string FileKey(const fs::path& file) {
  std::error_code ec;
  const fs::path canonical = fs::weakly_canonical(fs::absolute(file, ec), ec);
  return (ec ? file : canonical).string();
}

}  // namespace

void MarkDamaged(const fs::path& file) {
  const std::lock_guard lock(damagedMutex);
  damagedFiles.insert(FileKey(file));
}

bool KnownDamaged(const fs::path& file) {
  const std::lock_guard lock(damagedMutex);
  return damagedFiles.count(FileKey(file)) > 0;
}

LibraryError DamagedError(const fs::path& file) {
  return Refused(file,
                 "the library is damaged, so nothing more is written to it; library check tells "
                 "what is wrong, and library rescue copies what can still be read");
}

LibraryError Failure(const fs::path& file, const SQLite::Exception& e, sqlite3* db) {
  const int error = db ? sqlite3_system_errno(db) : 0;
  if (e.getErrorCode() == SQLITE_CORRUPT || e.getErrorCode() == SQLITE_NOTADB) MarkDamaged(file);
  switch (e.getErrorCode()) {
    case SQLITE_FULL:
      return Refused(file, "the disk is full");
    case SQLITE_READONLY:
      return Refused(file, "the library is read-only");
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
      return Refused(file, "the library is damaged");
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return Refused(file, "another program keeps the library busy");
    case SQLITE_CANTOPEN:
      return Refused(file, "the library cannot be opened");
    case SQLITE_IOERR:
      if (error == ENOSPC) return Refused(file, "the disk is full");
      return Refused(file, std::string("the library cannot be read or written: ") +
                               (error ? std::strerror(error) : e.what()));
    default:
      return Refused(file, std::string("the library cannot be used: ") + e.what());
  }
}

WriteTransaction::WriteTransaction(SQLite::Database& db) : db_(db) {
  db_.exec("BEGIN IMMEDIATE");
}

WriteTransaction::~WriteTransaction() {
  if (!done_) db_.tryExec("ROLLBACK");
}

void WriteTransaction::Commit() {
  db_.exec("COMMIT");
  done_ = true;
}

}  // namespace quorle::library
