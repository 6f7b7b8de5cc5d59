#include "library/LibraryRescue.h"

#include <sqlite3.h>

#include <map>
#include <optional>
#include <set>

#include "library/ImportJob.h"
#include "library/LibraryFile.h"
#include "library/LibraryImpl.h"
#include "library/StoredDump.h"
#include "protocol/DumpName.h"

namespace quorle::library {

namespace fs = std::filesystem;

namespace {

constexpr int kMostProblems = 100;
// Past the highest id found (or where the highest cannot be read), ids are tried until this many
// in a row hold nothing.
constexpr int kMissesToStop = 1000;

// One lookup by id on the damaged library: its row, nothing, or an error where a damaged page lies.
enum class Found { Row, Nothing, Unreadable };

class Probe {
 public:
  Probe(SQLite::Database& db, const std::string& sql) : statement_(db, sql) {}
  // Steps to the row of id; the columns are then read with Get.
  Found At(std::int64_t id) {
    statement_.tryReset();
    try {
      statement_.bind(1, id);
      return statement_.executeStep() ? Found::Row : Found::Nothing;
    } catch (const SQLite::Exception&) {
      return Found::Unreadable;
    }
  }
  SQLite::Statement& operator*() { return statement_; }

 private:
  SQLite::Statement statement_;
};

std::int64_t Highest(SQLite::Database& db, const char* sql) {
  try {
    return db.execAndGet(sql).getInt64();
  } catch (const SQLite::Exception&) {
    return 0;
  }
}

Bytes BlobOf(const SQLite::Column& column) {
  const auto* bytes = static_cast<const std::uint8_t*>(column.getBlob());
  return Bytes(bytes, bytes + column.getBytes());
}

// The kind of stored bytes whose row is lost: each kind's stored forms (the bank and entry bytes
// and the data, or the whole dump) have sizes of their own.
const DumpKind* KindOfStored(ByteView stored) {
  for (const DumpKind* kind : {&kProgramKind, &kMixKind}) {
    if (stored.size() == 2 + kind->dataSize) return kind;
    if (stored.size() == kind->dumpSize && stored[5] == kind->opcode) return kind;
  }
  return nullptr;
}

struct DumpRow {
  int kind = 0;
  std::string name, category;
  Bytes sound;
  int ownCategory = 0, favorite = 0;
  std::int64_t lastSeen = 0, placeCount = 0;
};

struct PlaceRow {
  std::int64_t source;
  int how, bank, entry;
  std::int64_t seen;
  std::optional<std::string> note;
};

void AddLost(RescueReport& report, DumpId id) {
  ++report.lostDumpCount;
  if (!report.lostDumps.empty() && report.lostDumps.back().second == id - 1) {
    report.lostDumps.back().second = id;
  } else {
    report.lostDumps.emplace_back(id, id);
  }
}

// Copies what can be read of the damaged library into the new one, inside its transaction.
class Rescuer {
 public:
  Rescuer(SQLite::Database& from, SQLite::Database& into) : from_(from), into_(into) {}

  void Run(RescueReport& report) {
    Probe row(from_,
              "SELECT kind, name, category, sound, own_category, favorite, last_seen, place_count "
              "FROM dumps WHERE id = ?");
    Probe bytes(from_, "SELECT bytes FROM dump_bytes WHERE dump = ?");
    const std::int64_t highest = std::max(Highest(from_, "SELECT max(id) FROM dumps"),
                                          Highest(from_, "SELECT max(dump) FROM dump_bytes"));
    int misses = 0;
    for (std::int64_t id = 1; id <= highest || misses < kMissesToStop; ++id) {
      const Found hasRow = row.At(id);
      const Found hasBytes = bytes.At(id);
      if (hasRow == Found::Nothing && hasBytes == Found::Nothing) {
        ++misses;
        continue;
      }
      misses = 0;
      if (hasBytes != Found::Row) {
        AddLost(report, id);
        continue;
      }
      const Bytes stored = BlobOf((*bytes).getColumn(0));
      std::optional<DumpRow> d;
      if (hasRow == Found::Row) d = ReadRow(*row);
      const DumpKind* kind = d ? KindByOpcode(d->kind) : KindOfStored(stored);
      if (!kind) {
        AddLost(report, id);
        continue;
      }
      const Bytes dump = DumpFromStored(*kind, stored);
      if (!CheckDumpFraming(*kind, dump)) {
        AddLost(report, id);
        continue;
      }
      if (!d) d = RebuiltRow(*kind, dump);
      std::vector<PlaceRow> places;
      const bool allPlaces = ReadPlaces(id, places);
      if (!allPlaces || hasRow != Found::Row ||
          static_cast<std::int64_t>(places.size()) < d->placeCount) {
        ++report.placesLostOf;
      }
      AddDump(id, *d, stored);
      for (const PlaceRow& p : places) AddPlace(id, p);
      ++report.dumps;
      report.places += places.size();
      rescued_.insert(id);
    }
    RescueBanks(report);
    // What the table shows of each dump follows from the places that came along.
    into_.exec(
        "UPDATE dumps SET place_count = (SELECT count(*) FROM places p WHERE p.dump = dumps.id), "
        "kept = (SELECT count(*) FROM places p WHERE p.dump = dumps.id AND p.how IN (0, 1));"
        "UPDATE dumps SET (last_seen, where_source, where_how, where_bank, where_entry) = "
        "(SELECT p.seen, p.source, p.how, p.bank, p.entry FROM places p WHERE p.dump = dumps.id "
        "ORDER BY p.seen DESC, p.how DESC LIMIT 1) "
        "WHERE EXISTS (SELECT 1 FROM places p WHERE p.dump = dumps.id);"
        "UPDATE dumps SET shared = (SELECT count(*) FROM dumps o WHERE o.sound = dumps.sound) > "
        "1;");
  }

 private:
  static DumpRow ReadRow(SQLite::Statement& row) {
    DumpRow d;
    d.kind = row.getColumn(0).getInt();
    d.name = row.getColumn(1).getString();
    d.category = row.getColumn(2).getString();
    d.sound = BlobOf(row.getColumn(3));
    d.ownCategory = row.getColumn(4).getInt();
    d.favorite = row.getColumn(5).getInt();
    d.lastSeen = row.getColumn(6).getInt64();
    d.placeCount = row.getColumn(7).getInt64();
    return d;
  }

  // A dump whose row is lost comes back as it would be imported: its name, category and sound
  // read from its bytes.
  static DumpRow RebuiltRow(const DumpKind& kind, ByteView dump) {
    const DumpData data = UnpackDump(kind, dump);
    const Sha256::Digest sound = SoundDigest(data);
    DumpRow d;
    d.kind = kind.opcode;
    d.name = NameLine(ReadName(data.bytes));
    d.category = CategoryOfName(d.name);
    d.sound.assign(sound.begin(), sound.end());
    d.lastSeen = Now();
    return d;
  }

  // The places of a dump that can be read, with their sources; false when some could not be.
  bool ReadPlaces(DumpId id, std::vector<PlaceRow>& places) {
    bool all = true;
    try {
      SQLite::Statement rows(
          from_, "SELECT source, how, bank, entry, seen, note FROM places WHERE dump = ?");
      rows.bind(1, id);
      while (rows.executeStep()) {
        PlaceRow p{rows.getColumn(0).getInt64(), rows.getColumn(1).getInt(),
                   rows.getColumn(2).getInt(),   rows.getColumn(3).getInt(),
                   rows.getColumn(4).getInt64(), std::nullopt};
        if (!rows.getColumn(5).isNull()) p.note = rows.getColumn(5).getString();
        if (Source(p.source)) {
          places.push_back(std::move(p));
        } else {
          all = false;
        }
      }
    } catch (const SQLite::Exception&) {
      all = false;
    }
    return all;
  }

  // Copies the source of this id into the new library once; false when it cannot be read.
  bool Source(std::int64_t id) {
    if (auto it = sources_.find(id); it != sources_.end()) return it->second;
    bool readable = false;
    try {
      SQLite::Statement text(from_, "SELECT text FROM sources WHERE id = ?");
      text.bind(1, id);
      if (text.executeStep()) {
        SQLite::Statement add(into_, "INSERT INTO sources(id, text) VALUES (?, ?)");
        add.bind(1, id);
        add.bind(2, text.getColumn(0).getString());
        add.exec();
        readable = true;
      }
    } catch (const SQLite::Exception&) {
      // A source that cannot be read takes its places with it.
    }
    sources_[id] = readable;
    return readable;
  }

  void AddDump(DumpId id, const DumpRow& d, const Bytes& stored) {
    SQLite::Statement add(
        into_,
        "INSERT INTO dumps(id, kind, name, sound, category, own_category, "
        "favorite, shared, last_seen, place_count, where_source, where_how, "
        "where_bank, where_entry) VALUES (?, ?, ?, ?, ?, ?, ?, 0, ?, 0, 0, 0, -1, -1)");
    add.bind(1, id);
    add.bind(2, d.kind);
    add.bind(3, d.name);
    add.bind(4, d.sound.data(), static_cast<int>(d.sound.size()));
    add.bind(5, d.category);
    add.bind(6, d.ownCategory);
    add.bind(7, d.favorite);
    add.bind(8, d.lastSeen);
    add.exec();
    SQLite::Statement index(into_, "INSERT INTO names(rowid, name) VALUES (?, ?)");
    index.bind(1, id);
    index.bind(2, d.name);
    index.exec();
    SQLite::Statement blob(into_, "INSERT INTO dump_bytes(dump, bytes) VALUES (?, ?)");
    blob.bind(1, id);
    blob.bind(2, stored.data(), static_cast<int>(stored.size()));
    blob.exec();
  }

  void AddPlace(DumpId id, const PlaceRow& p) {
    SQLite::Statement add(
        into_,
        "INSERT OR IGNORE INTO places(dump, source, how, bank, entry, seen, note) "
        "VALUES (?, ?, ?, ?, ?, ?, ?)");
    add.bind(1, id);
    add.bind(2, p.source);
    add.bind(3, p.how);
    add.bind(4, p.bank);
    add.bind(5, p.entry);
    add.bind(6, p.seen);
    if (p.note) {
      add.bind(7, *p.note);
    } else {
      add.bind(7);
    }
    add.exec();
  }

  // A bank seen whole comes along when every one of its dumps did.
  void RescueBanks(RescueReport& report) {
    Probe bank(from_, "SELECT kind, source, how, bank, seen, entries FROM banks WHERE id = ?");
    const std::int64_t highest = Highest(from_, "SELECT max(id) FROM banks");
    int misses = 0;
    for (std::int64_t id = 1; id <= highest || misses < kMissesToStop; ++id) {
      const Found found = bank.At(id);
      if (found == Found::Nothing) {
        ++misses;
        continue;
      }
      misses = 0;
      if (found == Found::Unreadable) {
        ++report.lostBanks;
        continue;
      }
      SQLite::Statement& b = *bank;
      const auto entries = BankEntries(b.getColumn(5));
      const bool whole =
          entries.size() == kBankEntries &&
          std::all_of(entries.begin(), entries.end(),
                      [&](const auto& entry) { return rescued_.count(entry.first) > 0; }) &&
          Source(b.getColumn(1).getInt64());
      if (!whole) {
        ++report.lostBanks;
        continue;
      }
      SQLite::Statement add(into_,
                            "INSERT INTO banks(id, kind, source, how, bank, seen, entries) "
                            "VALUES (?, ?, ?, ?, ?, ?, ?)");
      add.bind(1, id);
      for (int c = 0; c < 5; ++c) add.bind(c + 2, b.getColumn(c).getInt64());
      const Bytes blob = BlobOf(b.getColumn(5));
      add.bind(7, blob.data(), static_cast<int>(blob.size()));
      add.exec();
      ++report.banks;
    }
  }

  SQLite::Database& from_;
  SQLite::Database& into_;
  std::map<std::int64_t, bool> sources_;
  std::set<DumpId> rescued_;
};

}  // namespace

CheckReport CheckLibrary(const fs::path& file) {
  const std::unique_ptr<SQLite::Database> db = OpenLibraryToRead(file);
  CheckReport report;
  try {
    SQLite::Statement check(*db, "PRAGMA integrity_check(" + std::to_string(kMostProblems) + ")");
    while (check.executeStep()) {
      const std::string line = check.getColumn(0).getString();
      if (line != "ok") report.problems.push_back(line);
    }
  } catch (const SQLite::Exception& e) {
    report.problems.push_back(e.what());
  }
  report.whole = report.problems.empty();
  if (!report.whole) MarkDamaged(file);
  return report;
}

RescueReport RescueLibrary(const fs::path& damaged, const fs::path& into) {
  const std::unique_ptr<SQLite::Database> from = OpenLibraryToRead(damaged);
  std::error_code ec;
  if (fs::exists(into, ec) || fs::is_symlink(into, ec)) {
    throw LibraryError(into.string() + ": already exists; a rescue writes a new library");
  }
  if (into.has_parent_path() && !fs::is_directory(into.parent_path(), ec)) {
    throw LibraryError(into.string() + ": its folder does not exist");
  }
  RescueReport report;
  try {
    const std::unique_ptr<SQLite::Database> db = OpenLibraryFile(into);
    try {
      WriteTransaction transaction(*db);
      Rescuer(*from, *db).Run(report);
      transaction.Commit();
    } catch (const SQLite::Exception& e) {
      throw Failure(into, e, db->getHandle());
    }
  } catch (...) {
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
      fs::remove(into.string() + suffix, ec);
    }
    throw;
  }
  return report;
}

bool FoundDamaged(const fs::path& file) {
  return KnownDamaged(file);
}

std::string CheckSummary(const CheckReport& report) {
  if (report.whole) return "the library is whole";
  std::string text = "the library is damaged:";
  for (const std::string& problem : report.problems) text += "\n  " + problem;
  return text;
}

namespace {

std::string Counted(std::size_t n, const char* one, const char* many) {
  return Grouped(n) + " " + (n == 1 ? one : many);
}

}  // namespace

std::string IdRanges(const std::vector<std::pair<DumpId, DumpId>>& ranges) {
  std::string text;
  for (const auto& [first, last] : ranges) {
    if (!text.empty()) text += ", ";
    text += std::to_string(first);
    if (last > first) text += "-" + std::to_string(last);
  }
  return text;
}

std::string RescueSummary(const RescueReport& r) {
  std::string text = Counted(r.dumps, "dump", "dumps") + " rescued, with " +
                     Counted(r.places, "place", "places") + " and " +
                     Counted(r.banks, "bank", "banks") + " seen whole";
  std::vector<std::string> lost;
  if (r.lostDumpCount > 0) {
    lost.push_back(Counted(r.lostDumpCount, "dump (id ", "dumps (ids ") + IdRanges(r.lostDumps) +
                   ")");
  }
  if (r.placesLostOf > 0) lost.push_back("places of " + Counted(r.placesLostOf, "dump", "dumps"));
  if (r.lostBanks > 0) lost.push_back(Counted(r.lostBanks, "bank", "banks") + " seen whole");
  if (lost.empty()) return text + "\neverything could be read";
  text += "\ncould not be read: ";
  for (std::size_t i = 0; i < lost.size(); ++i) text += (i == 0 ? "" : "; ") + lost[i];
  return text;
}

std::filesystem::path RescueFileFor(const fs::path& damaged) {
  std::error_code ec;
  for (int n = 1;; ++n) {
    const std::string mark = n == 1 ? " (rescued)" : " (rescued " + std::to_string(n) + ")";
    fs::path candidate =
        damaged.parent_path() / (damaged.stem().string() + mark + damaged.extension().string());
    if (!fs::exists(candidate, ec)) return candidate;
  }
}

}  // namespace quorle::library
