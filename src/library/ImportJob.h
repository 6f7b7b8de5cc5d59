#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "library/Library.h"

namespace quorle::library {

// An import of files and folders on a thread of its own, over a connection of its own, so the
// window answers throughout and can cancel it. A cancelled import stops after the file in hand:
// every file taken is in whole.
//
// notify is called on the worker thread after each file and once at the end; it must do no more
// than post a wake-up. Everything else is called from the thread that made the job.
class ImportJob {
 public:
  ImportJob(std::filesystem::path library, std::vector<std::filesystem::path> paths,
            std::function<void()> notify);
  ~ImportJob();  // cancels and waits
  ImportJob(const ImportJob&) = delete;
  ImportJob& operator=(const ImportJob&) = delete;

  void Cancel() { cancel_ = true; }
  bool Cancelled() const { return cancel_; }

  struct Progress {
    std::size_t done = 0, total = 0;
    std::string path;  // the file in hand
  };
  Progress Now() const;
  bool Finished() const { return finished_; }
  // Once finished: what was done, and why the import stopped short, when it did.
  const ImportReport& Report() const { return report_; }
  const std::string& Error() const { return error_; }

 private:
  void Run();

  const std::filesystem::path library_;
  const std::vector<std::filesystem::path> paths_;
  const std::function<void()> notify_;
  mutable std::mutex mutex_;
  Progress progress_;
  std::atomic<bool> cancel_ = false;
  std::atomic<bool> finished_ = false;
  ImportReport report_;
  std::string error_;
  std::thread worker_;
};

// What an import did, as the command line says it: "1,024 dumps from 9 files, 131 new".
std::string ImportSummary(const ImportReport& report);
// 1234567 as "1,234,567", as the Library counts everywhere.
std::string Grouped(std::size_t n);

}  // namespace quorle::library
