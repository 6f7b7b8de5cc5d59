#pragma once

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "protocol/MessageSet.h"
#include "protocol/SysexFile.h"

namespace quorle {

// The file that keeps the simulated instrument's memory across restarts: a plain SysEx file, its
// dumps back to back, so any SysEx tool can read it. It is rewritten whole and atomically; changes
// that come faster than the disk are gathered into one write.
class SimStateFile {
 public:
  using Snapshot = std::function<Bytes()>;  // the whole content to write, taken when writing
  using ErrorHandler = std::function<void(const std::string&)>;

  // A file larger than this is not a state file; it is refused before it is read.
  static constexpr std::uintmax_t kMaxSize = 64ull << 20;

  SimStateFile(std::filesystem::path path, Snapshot snapshot);
  // Writes a change that is still pending, then stops.
  ~SimStateFile();
  SimStateFile(const SimStateFile&) = delete;
  SimStateFile& operator=(const SimStateFile&) = delete;

  const std::filesystem::path& Path() const { return path_; }

  // The messages of the file, each F0 to F7. Sets missing when there is no file. A file that is
  // not a run of whole SysEx messages gives an error naming the place where it goes wrong.
  IoResult Read(std::vector<Bytes>& messages, bool& missing) const;

  // Writes the snapshot now, on the calling thread.
  IoResult WriteNow();
  // Asks for the snapshot to be written soon, on the file's own thread.
  void Changed();
  // Whether every change asked for so far has been written (or has failed) within limit.
  bool Flush(std::chrono::milliseconds limit);
  // Called on the file's thread when a write fails; the next change tries again.
  void SetErrorHandler(ErrorHandler handler);
  std::string LastError() const;

 private:
  void Run();

  const std::filesystem::path path_;
  const Snapshot snapshot_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  ErrorHandler onError_;
  std::string lastError_;
  bool pending_ = false;
  bool writing_ = false;
  bool stop_ = false;
  std::thread thread_;  // last: starts once everything above exists
};

}  // namespace quorle
