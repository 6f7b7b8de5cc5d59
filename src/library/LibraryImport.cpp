#include <algorithm>
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
  bool named;          // given by the user, not found in a folder: always says why it was not taken
  std::string source;  // the absolute path without links: the place's source
};

bool IsHidden(const fs::path& path) {
  const std::string name = path.filename().string();
  return !name.empty() && name[0] == '.';
}

// The files to read, a folder's in name order; hidden ones (a backup still being written) are
// left out of folders.
std::vector<Job> Jobs(const std::vector<fs::path>& paths, ImportReport& report) {
  std::vector<Job> jobs;
  for (const fs::path& path : paths) {
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (fs::is_directory(status)) {
      std::vector<fs::path> found;
      fs::recursive_directory_iterator it(path, fs::directory_options::skip_permission_denied, ec);
      for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (IsHidden(it->path())) {
          it.disable_recursion_pending();
          continue;
        }
        std::error_code typeError;
        if (it->is_regular_file(typeError)) found.push_back(it->path());
      }
      if (ec) report.skipped.push_back({path.string(), "cannot be read: " + ec.message()});
      std::sort(found.begin(), found.end());
      for (fs::path& file : found) jobs.push_back({std::move(file), false, {}});
    } else if (fs::is_regular_file(status)) {
      jobs.push_back({path, true, {}});
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
    if (const std::uintmax_t size = fs::file_size(job.path, ec); ec) {
      skip("cannot be read: " + ec.message());
    } else if (size > kLargestFile) {
      if (job.named) skip("is larger than 64 MiB");
    } else if (const IoResult read = ReadWholeFile(job.path, content); !read.ok) {
      skip("cannot be read: " + read.error);
    } else {
      const SysexScan scan = ScanSysex(content);
      if (!scan.problems.empty()) {
        skip(Reason(scan.problems));
      } else if (scan.dumps.empty() && job.named) {
        skip("holds no Andromeda Program or Mix dump");
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
          sightings.push_back({d.kind, d.bytes, bank, d.entry});

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
          impl.AddSightings(sightings, sourceId, bank >= 0 ? How::Backup : How::File, {}, now,
                            fresh);
          Use file = impl.Prepared(
              "INSERT INTO files(source, sha256, seen) VALUES (?, ?, ?) ON CONFLICT(source) "
              "DO UPDATE SET sha256 = excluded.sha256, seen = excluded.seen");
          file->bind(1, sourceId);
          file->bindNoCopy(2, digest.data(), static_cast<int>(digest.size()));
          file->bind(3, now);
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
