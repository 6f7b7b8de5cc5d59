#pragma once

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include <ctime>
#include <map>
#include <memory>

#include "library/Library.h"
#include "library/LibraryFile.h"
#include "library/StoredDump.h"

namespace quorle::library {

// A prepared statement in use: reset when done, so that no read stays open between calls and
// holds back the other connections' writes.
class Use {
 public:
  explicit Use(SQLite::Statement& statement) : statement_(statement) {}
  ~Use() {
    statement_.tryReset();
    statement_.clearBindings();
  }
  Use(const Use&) = delete;
  Use& operator=(const Use&) = delete;
  SQLite::Statement* operator->() { return &statement_; }
  SQLite::Statement& operator*() { return statement_; }

 private:
  SQLite::Statement& statement_;
};

// A place of a dump, by its source's id.
struct PlaceKey {
  std::int64_t source;
  How how;
  int bank;   // -1: none
  int entry;  // -1: none
};

// Whether a place of this kind keeps a dump safe from the instrument's loss (while its file is
// there).
constexpr bool Kept(How how) {
  return how == How::File || how == How::Backup;
}

// One dump's place to record, with its bytes.
struct Sighting {
  const DumpKind* kind;
  ByteView dump;
  int bank;   // -1: none
  int entry;  // -1: none
};

struct Library::Impl {
  std::filesystem::path file;
  std::unique_ptr<SQLite::Database> db;
  // Every statement is prepared once and kept: the text of a statement never holds a value.
  std::map<std::string, std::unique_ptr<SQLite::Statement>, std::less<>> statements;
  std::map<std::int64_t, std::string> sourceTexts;

  Use Prepared(std::string_view sql);

  // Runs f, turning SQLite's failures into a LibraryError naming the file.
  template <typename F>
  auto Guarded(F&& f) -> decltype(f()) {
    try {
      return f();
    } catch (const SQLite::Exception& e) {
      throw Failure(file, e, db->getHandle());
    }
  }

  // Before anything is written: a library found damaged refuses it, and each connection checks
  // the library's pages once before its first write.
  void CheckWritable();
  bool checked = false;
  // Whether names sort without their leading blanks: an older library that may not be written
  // keeps the order of its version.
  bool trimmedNames = true;
  // Whether places are marked gone and each dump counts its file places: an older library that
  // may not be written answers the same questions from its places alone.
  bool keptCounted = true;
  // Dumps no file or backup holds that the instrument held (a dump whose file is gone and that
  // never met the instrument is nowhere at all).
  std::string NotKept() const {
    return std::string(keptCounted ? "d.kept = 0"
                                   : "NOT EXISTS (SELECT 1 FROM places q WHERE q.dump = d.id AND "
                                     "q.how IN (0, 1))") +
           " AND EXISTS (SELECT 1 FROM places q WHERE q.dump = d.id AND q.how IN (2, 3, 4))";
  }
  std::string PlaceGone() const { return keptCounted ? "p.gone" : "0"; }

  // Whether a search walks an index in its order rather than sort every match of its text.
  bool WalkInOrder(const Query& query);
  // How many names hold the phrase (a MATCH argument).
  std::int64_t TextMatches(const std::string& phrase);
  struct TextCount {
    std::string phrase;
    std::int64_t changes[2];  // the library's data version and this connection's changes
    std::int64_t count;
  };
  std::optional<TextCount> lastTextCount;

  // Inside a write transaction. The id of the source text, added when new.
  std::int64_t SourceId(const std::string& text);
  // Adds the dump, seen now at place, unless the library holds it; its id, and whether it is new.
  std::pair<DumpId, bool> AddDump(const DumpKind& kind, ByteView dump, const PlaceKey& place,
                                  std::int64_t now);
  // A source's text by its id; sources never change, so what was read once is kept.
  const std::string& SourceText(std::int64_t id);
  // The summary of the row of a statement that selects the summary columns.
  DumpSummary SummaryFrom(SQLite::Statement& row);
  // Marks a file or backup place gone or found again, keeping its dump's count of such places.
  void SetGone(std::int64_t source, DumpId dump, int how, int bank, int entry, bool gone);
  // A file seen anew: its places that did not hold these dumps at these entries are gone.
  void MarkRest(std::int64_t source, std::span<const DumpId> ids,
                std::span<const Sighting> sightings);
  // Records the places of the dumps, seen now; returns their ids. fresh counts the new dumps. A
  // bank's 128 entries in one go also record the bank as seen whole.
  std::vector<DumpId> AddSightings(std::span<const Sighting> sightings, std::int64_t source,
                                   How how, const std::string& note, std::int64_t now,
                                   std::size_t& fresh);
};

// A file's size and modification time; -1 for what cannot be read.
struct FileStamp {
  std::int64_t size = -1;
  std::int64_t mtime = -1;
  bool operator==(const FileStamp&) const = default;
};
inline FileStamp StampOf(const std::filesystem::path& file) {
  std::error_code ec;
  FileStamp stamp;
  const std::uintmax_t size = std::filesystem::file_size(file, ec);
  if (ec) return stamp;
  const auto time = std::filesystem::last_write_time(file, ec);
  if (ec) return stamp;
  return {static_cast<std::int64_t>(size),
          static_cast<std::int64_t>(time.time_since_epoch().count())};
}

inline std::int64_t Now() {
  return static_cast<std::int64_t>(std::time(nullptr));
}

constexpr std::size_t kBankEntryBytes = 9;  // the dump's id (8 bytes) and its byte 6 as seen

// The entries column of a bank row: for each entry the dump's id and its bank byte as seen.
std::vector<std::pair<DumpId, std::uint8_t>> BankEntries(const SQLite::Column& blob);

// A time as the library shows it: "2024-05-01T10:00:00Z".
std::string Iso(std::int64_t time);

// A bank or entry column's value; -1 is none.
std::optional<int> Optional(int value);

// The columns that SummaryFrom reads.
inline constexpr const char* kSummaryColumns =
    "SELECT d.id, d.kind, d.name, d.category, d.favorite, d.sound, d.last_seen, d.place_count, "
    "d.where_source, d.where_how, d.where_bank, d.where_entry FROM dumps d";

}  // namespace quorle::library
