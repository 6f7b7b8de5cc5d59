#pragma once

#include <chrono>
#include <cstddef>
#include <string>

namespace quorle {

// One progress bar over a run of many passes (a backup, a restore with its copies and
// read-backs): how much of the whole is done, and about how long the rest takes at the rate it
// went so far. Counted in bytes on the wire.
class RunProgress {
 public:
  explicit RunProgress(std::size_t total = 0);
  void Add(std::size_t bytes);
  // Work found on the way (dumps sent and read again).
  void Grow(std::size_t bytes) { total_ += bytes; }
  // The bar's position, 0 to TfrmProgress::kMax.
  int Position() const;
  // " - 42% done, about 0:39 left"; the estimate once enough has been seen to tell.
  std::string Text() const;

 private:
  std::size_t total_, done_ = 0;
  std::chrono::steady_clock::time_point started_;
};

}  // namespace quorle
