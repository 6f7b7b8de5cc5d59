#include <algorithm>
#include <cctype>
#include <map>

#include "library/LibraryImpl.h"
#include "library/SysexScan.h"
#include "protocol/BackupManifest.h"
#include "protocol/SysexFile.h"

namespace quorle::library {

namespace fs = std::filesystem;

namespace {

// Past this a file is no sound set: a folder of recordings must not be read into memory.
constexpr std::uintmax_t kLargestFile = std::uintmax_t{64} << 20;

struct Job {
  fs::path path;
  // Given by the user, or named as a sound file (.syx, .mid): said why when it yields nothing.
  // Any other file in a folder that yields nothing is only counted.
  bool named;
  bool given;          // by the user
  std::string source;  // the absolute path without links: the place's source
};

bool IsHidden(const fs::path& path) {
  const std::string name = path.filename().string();
  return !name.empty() && name[0] == '.';
}

bool IsSoundFileName(const fs::path& path) {
  std::string ext = path.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext == ".syx" || ext == ".mid" || ext == ".midi" || ext == ".smf";
}

// A folder's files, in name order, each subfolder's after its parent's own; hidden entries (a
// backup still being written) are left out. What cannot be read is said, with the reason.
void WalkFolder(const fs::path& folder, std::vector<Job>& jobs, ImportReport& report) {
  std::error_code ec;
  fs::directory_iterator it(folder, ec);
  if (ec) {
    report.skipped.push_back({folder.string(), "cannot be read: " + ec.message()});
    return;
  }
  std::vector<fs::path> entries;
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
    if (!IsHidden(it->path())) entries.push_back(it->path());
  }
  if (ec) report.skipped.push_back({folder.string(), "cannot be read: " + ec.message()});
  std::sort(entries.begin(), entries.end());
  std::vector<fs::path> folders;
  for (fs::path& entry : entries) {
    std::error_code statusError;
    const fs::file_status own = fs::symlink_status(entry, statusError);
    const fs::file_status status = fs::status(entry, statusError);
    if (fs::is_symlink(own) && !fs::exists(status)) {
      report.skipped.push_back({entry.string(), "is a link to nothing"});
    } else if (fs::is_directory(own)) {
      folders.push_back(std::move(entry));
    } else if (fs::is_regular_file(status)) {
      const bool named = IsSoundFileName(entry);
      jobs.push_back({std::move(entry), named, false, {}});
    } else if (fs::is_directory(status)) {
      ++report.passedOver;  // a link to a folder is not followed: it could lead round in a circle
    } else {
      report.skipped.push_back({entry.string(), "is not a file"});
    }
  }
  for (const fs::path& sub : folders) WalkFolder(sub, jobs, report);
}

// The files to read: each path given, and a folder's files.
std::vector<Job> Jobs(const std::vector<fs::path>& paths, ImportReport& report) {
  std::vector<Job> jobs;
  for (const fs::path& path : paths) {
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (fs::is_directory(status)) {
      WalkFolder(path, jobs, report);
    } else if (fs::is_regular_file(status)) {
      jobs.push_back({path, true, true, {}});
    } else if (fs::is_symlink(fs::symlink_status(path, ec)) && !fs::exists(status)) {
      report.skipped.push_back({path.string(), "is a link to nothing"});
    } else if (!fs::exists(status)) {
      report.skipped.push_back({path.string(), "does not exist"});
    } else {
      report.skipped.push_back({path.string(), "is not a file"});
    }
  }
  return jobs;
}

std::string Reason(const std::vector<std::string>& problems) {
  std::string reason = problems.front();
  if (problems.size() > 1) {
    reason += " (and " + std::to_string(problems.size() - 1) + " more damaged dumps)";
  }
  return reason;
}

// Backup folders by their manifest, read once per folder.
class Backups {
 public:
  // The instrument's bank a file of a backup holds, when the folder's manifest lists it with
  // this very content; -1 for any other file.
  int BankOf(const fs::path& file, const std::string& sha256) {
    const fs::path folder = file.parent_path();
    auto it = manifests_.find(folder);
    if (it == manifests_.end()) it = manifests_.emplace(folder, Read(folder)).first;
    if (!it->second) return -1;
    for (const BackupManifest::Entry& e : it->second->entries) {
      if (e.file.name == file.filename().string() && e.file.Dump() && e.sha256 == sha256) {
        return e.file.bank;
      }
    }
    return -1;
  }

 private:
  static std::optional<BackupManifest> Read(const fs::path& folder) {
    Bytes text;
    if (!ReadWholeFile(folder / BackupFile::kManifestName, text).ok) return std::nullopt;
    std::string error;
    return BackupManifest::FromJson({reinterpret_cast<const char*>(text.data()), text.size()},
                                    error);
  }

  std::map<fs::path, std::optional<BackupManifest>> manifests_;
};

}  // namespace

ImportReport Library::Import(const std::vector<fs::path>& paths, const ImportProgress& progress) {
  ImportReport report;
  std::vector<Job> jobs = Jobs(paths, report);
  // A folder may hold the library itself: its files are no sound set.
  std::error_code ec;
  const std::string self = fs::weakly_canonical(fs::absolute(impl_->file), ec).string();
  std::erase_if(jobs, [&](Job& job) {
    job.source = fs::weakly_canonical(fs::absolute(job.path), ec).string();
    const std::string& path = job.source;
    return path.rfind(self, 0) == 0 &&
           (path.size() == self.size() || path.substr(self.size()) == "-wal" ||
            path.substr(self.size()) == "-shm" || path.substr(self.size()) == "-journal");
  });
  Backups backups;
  Impl& impl = *impl_;
  if (!jobs.empty()) impl.CheckWritable();
  std::optional<RelaxedSync> relaxed;
  impl.Guarded([&] { relaxed.emplace(*impl.db); });

  for (std::size_t done = 0; done < jobs.size(); ++done) {
    const Job& job = jobs[done];
    const std::string shown = job.path.string();
    auto skip = [&](const std::string& reason) { report.skipped.push_back({shown, reason}); };

    Bytes content;
    // Taken before the read: a change made while it is read shows as a change next time.
    const FileStamp stamp = StampOf(job.path);
    // What a file that yields nothing is: said with its reason when named, else counted.
    auto nothing = [&](const std::string& reason) {
      if (job.named) {
        skip(reason);
      } else {
        ++report.passedOver;
      }
    };
    if (const std::uintmax_t size = fs::file_size(job.path, ec); ec) {
      skip("cannot be read: " + ec.message());
    } else if (size > kLargestFile) {
      nothing("is larger than 64 MiB");
    } else if (const IoResult read = ReadWholeFile(job.path, content); !read.ok) {
      skip("cannot be read: " + read.error);
    } else {
      const SysexScan scan = ScanSysex(content);
      if (!scan.problems.empty()) {
        skip(Reason(scan.problems));
      } else if (scan.dumps.empty() && size == 0) {
        nothing("is empty");
      } else if (scan.dumps.empty() && scan.otherAndromeda) {
        // A backup's Global Data: the instrument's own, but not for the Library.
        if (job.given) {
          skip("holds no Program or Mix dump");
        } else {
          ++report.passedOver;
        }
      } else if (scan.dumps.empty()) {
        nothing(scan.midiFile ? "is a MIDI file that holds no Andromeda Program or Mix dump"
                              : "holds no Andromeda Program or Mix dump");
      }
      if (!scan.dumps.empty()) {
        ++report.files;
        report.dumps += scan.dumps.size();
        const Sha256::Digest digest = Sha256::Of(content);
        const std::string& source = job.source;
        const int bank = backups.BankOf(job.path, Sha256::ToHex(digest));
        std::vector<Sighting> sightings;
        sightings.reserve(scan.dumps.size());
        for (const ScannedDump& d : scan.dumps)
          sightings.push_back({d.kind, d.bytes, d.editBuffer ? -1 : bank, d.entry});

        report.fresh += impl.Guarded([&]() -> std::size_t {
          // The same file as it was last time adds nothing, and needs no write to tell.
          auto unchanged = [&] {
            Use known = impl.Prepared(
                "SELECT f.sha256 FROM files f JOIN sources s ON s.id = f.source WHERE s.text = ?");
            known->bind(1, source);
            if (!known->executeStep()) return false;
            const SQLite::Column blob = known->getColumn(0);
            const auto* bytes = static_cast<const std::uint8_t*>(blob.getBlob());
            return std::equal(digest.begin(), digest.end(), bytes, bytes + blob.getBytes());
          };
          if (unchanged()) return 0;
          WriteTransaction transaction(*impl.db);
          if (unchanged()) return 0;
          const std::int64_t sourceId = impl.SourceId(source);
          const std::int64_t now = Now();
          std::size_t fresh = 0;
          const std::vector<DumpId> ids = impl.AddSightings(
              sightings, sourceId, bank >= 0 ? How::Backup : How::File, {}, now, fresh);
          // A file written anew over an older one no longer holds what that one held.
          impl.MarkRest(sourceId, ids, sightings);
          Use file = impl.Prepared(
              "INSERT INTO files(source, sha256, seen, size, mtime) VALUES (?, ?, ?, ?, ?) "
              "ON CONFLICT(source) DO UPDATE SET sha256 = excluded.sha256, seen = excluded.seen, "
              "size = excluded.size, mtime = excluded.mtime");
          file->bind(1, sourceId);
          file->bindNoCopy(2, digest.data(), static_cast<int>(digest.size()));
          file->bind(3, now);
          file->bind(4, stamp.size);
          file->bind(5, stamp.mtime);
          file->exec();
          transaction.Commit();
          return fresh;
        });
      }
    }
    if (progress && !progress(done + 1, jobs.size(), shown)) break;
  }
  return report;
}

}  // namespace quorle::library
