#include <algorithm>
#include <map>
#include <set>

#include "library/LibraryFile.h"
#include "library/LibraryImpl.h"
#include "library/SysexScan.h"
#include "protocol/FileNames.h"
#include "protocol/SysexFile.h"

namespace quorle::library {

namespace fs = std::filesystem;

namespace {

// One file or backup place of a source, as the places table holds it.
struct FilePlace {
  DumpId dump;
  int how;
  int bank;
  int entry;
  bool gone;
};

}  // namespace

void Library::Impl::SetGone(std::int64_t source, DumpId dump, int how, int bank, int entry,
                            bool gone) {
  Use set = Prepared(
      "UPDATE places SET gone = ?6 WHERE dump = ?1 AND source = ?2 AND how = ?3 AND bank = ?4 "
      "AND entry = ?5 AND gone <> ?6");
  set->bind(1, dump);
  set->bind(2, source);
  set->bind(3, how);
  set->bind(4, bank);
  set->bind(5, entry);
  set->bind(6, gone ? 1 : 0);
  set->exec();
  if (set->getChanges() == 0) return;
  Use kept = Prepared("UPDATE dumps SET kept = kept + ? WHERE id = ?");
  kept->bind(1, gone ? -1 : 1);
  kept->bind(2, dump);
  kept->exec();
  // The table names the newest place that still holds the dump; a gone one only when all are.
  Use where = Prepared(
      "UPDATE dumps SET (where_source, where_how, where_bank, where_entry) = (SELECT p.source, "
      "p.how, p.bank, p.entry FROM places p WHERE p.dump = dumps.id "
      "ORDER BY p.gone, p.seen DESC, p.how DESC LIMIT 1) WHERE id = ?");
  where->bind(1, dump);
  where->exec();
}

void Library::Impl::MarkRest(std::int64_t source, std::span<const DumpId> ids,
                             std::span<const Sighting> sightings) {
  std::set<std::pair<DumpId, int>> held;
  for (std::size_t i = 0; i < ids.size(); ++i) held.emplace(ids[i], sightings[i].entry);
  std::vector<FilePlace> stale;
  {
    Use rows = Prepared(
        "SELECT dump, how, bank, entry FROM places WHERE source = ? AND how IN (0, 1) AND NOT "
        "gone");
    rows->bind(1, source);
    while (rows->executeStep()) {
      const FilePlace p{rows->getColumn(0).getInt64(), rows->getColumn(1).getInt(),
                        rows->getColumn(2).getInt(), rows->getColumn(3).getInt(), false};
      if (!held.count({p.dump, p.entry})) stale.push_back(p);
    }
  }
  for (const FilePlace& p : stale) SetGone(source, p.dump, p.how, p.bank, p.entry, true);
}

FileCheck Library::CheckFiles(const std::function<bool()>& goOn) {
  Impl& impl = *impl_;
  FileCheck check;
  struct Known {
    std::int64_t source;
    std::string path;
    Bytes sha256;
    FileStamp stamp;
    bool anyGone;
  };
  std::vector<Known> files;
  impl.Guarded([&] {
    Use rows = impl.Prepared(
        "SELECT f.source, s.text, f.sha256, f.size, f.mtime, EXISTS (SELECT 1 FROM places p "
        "WHERE p.source = f.source AND p.gone) FROM files f JOIN sources s ON s.id = f.source "
        "ORDER BY s.text");
    while (rows->executeStep()) {
      const SQLite::Column blob = rows->getColumn(2);
      const auto* bytes = static_cast<const std::uint8_t*>(blob.getBlob());
      files.push_back({rows->getColumn(0).getInt64(),
                       rows->getColumn(1).getString(),
                       Bytes(bytes, bytes + blob.getBytes()),
                       {rows->getColumn(3).getInt64(), rows->getColumn(4).getInt64()},
                       rows->getColumn(5).getInt() != 0});
    }
  });
  if (!files.empty()) impl.CheckWritable();
  for (const Known& file : files) {
    if (goOn && !goOn()) break;
    ++check.files;
    // Untouched since its content was last confirmed: its places stand as they are.
    const FileStamp stamp = StampOf(file.path);
    if (stamp.size >= 0 && stamp == file.stamp && !file.anyGone) continue;
    Bytes content;
    std::error_code ec;
    const bool readable = fs::is_regular_file(file.path, ec) &&
                          fs::file_size(file.path, ec) <= (std::uintmax_t{64} << 20) &&
                          ReadWholeFile(file.path, content).ok;
    const Sha256::Digest digest = Sha256::Of(content);
    const bool same = readable && std::equal(digest.begin(), digest.end(), file.sha256.begin(),
                                             file.sha256.end());
    const SysexScan scan = readable && !same ? ScanSysex(content) : SysexScan{};
    impl.Guarded([&] {
      WriteTransaction transaction(*impl.db);
      std::vector<FilePlace> places;
      {
        Use rows = impl.Prepared(
            "SELECT dump, how, bank, entry, gone FROM places WHERE source = ? AND how IN (0, 1)");
        rows->bind(1, file.source);
        while (rows->executeStep()) {
          places.push_back({rows->getColumn(0).getInt64(), rows->getColumn(1).getInt(),
                            rows->getColumn(2).getInt(), rows->getColumn(3).getInt(),
                            rows->getColumn(4).getInt() != 0});
        }
      }
      if (same && !(stamp == file.stamp)) {
        Use confirmed = impl.Prepared("UPDATE files SET size = ?, mtime = ? WHERE source = ?");
        confirmed->bind(1, stamp.size);
        confirmed->bind(2, stamp.mtime);
        confirmed->bind(3, file.source);
        confirmed->exec();
      }
      for (const FilePlace& p : places) {
        bool holds = same;
        if (readable && !same) {
          // The file changed: the place still counts where the same dump stands at its entry.
          const auto at = std::ranges::find_if(
              scan.dumps, [&](const ScannedDump& d) { return d.entry == p.entry; });
          if (at != scan.dumps.end()) {
            Use stored = impl.Prepared(
                "SELECT d.kind, b.bytes FROM dumps d JOIN dump_bytes b ON b.dump = d.id "
                "WHERE d.id = ?");
            stored->bind(1, p.dump);
            if (stored->executeStep() && stored->getColumn(0).getInt() == at->kind->opcode) {
              const SQLite::Column blob = stored->getColumn(1);
              holds = StoredHolds(*at->kind,
                                  {static_cast<const std::uint8_t*>(blob.getBlob()),
                                   static_cast<std::size_t>(blob.getBytes())},
                                  UnpackDump(*at->kind, at->bytes));
            }
          }
        }
        if (holds == !p.gone) continue;
        impl.SetGone(file.source, p.dump, p.how, p.bank, p.entry, !holds);
        ++(holds ? check.back : check.gone);
      }
      transaction.Commit();
    });
  }
  return check;
}

std::vector<fs::path> Library::KeepSafe(const fs::path& dir) {
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (ec) throw LibraryError(dir.string() + ": the folder cannot be made: " + ec.message());
  if (!fs::is_directory(dir, ec)) throw LibraryError(dir.string() + ": is not a folder");
  Query query;
  query.onlyOnInstrument = true;
  query.limit = SIZE_MAX;
  std::vector<fs::path> written;
  for (const DumpSummary& dump : Search(query)) {
    const std::optional<Bytes> bytes = DumpBytes(dump.id);
    if (!bytes || !dump.kind) continue;
    const int entry = (*bytes)[7] & 0x7F;
    const fs::path first = SplitFilePath(dir, *dump.kind, entry, *bytes);
    fs::path path = first;
    // Two dumps of one name each keep their file; a name that cannot be looked at is left to the
    // write, which then says why.
    for (int n = 2; fs::exists(path, ec); ++n) {
      path = dir / (first.stem().string() + " " + std::to_string(n) + first.extension().string());
    }
    if (const IoResult result = WriteFileAtomically(path, *bytes); !result.ok) {
      Import(written);
      throw LibraryError(path.string() + ": cannot be written: " + result.error);
    }
    written.push_back(path);
  }
  if (!written.empty()) Import(written);
  return written;
}

}  // namespace quorle::library
