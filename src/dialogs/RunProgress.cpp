#include "dialogs/RunProgress.h"

#include <algorithm>
#include <cstdio>

#include "dialogs/TfrmProgress.h"

namespace quorle {

RunProgress::RunProgress(std::size_t total)
    : total_(total), started_(std::chrono::steady_clock::now()) {}

void RunProgress::Add(std::size_t bytes) {
  done_ = std::min(done_ + bytes, total_);
}

int RunProgress::Position() const {
  return total_ == 0 ? 0 : static_cast<int>(done_ * TfrmProgress::kMax / total_);
}

std::string RunProgress::Text() const {
  const std::size_t total = std::max<std::size_t>(total_, 1);
  std::string text = " - " + std::to_string(done_ * 100 / total) + "% done";
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
  if (done_ == 0 || seconds < 0.5) return text;
  const auto left = static_cast<long>((total - done_) * seconds / done_ + 0.5);
  char estimate[48];
  std::snprintf(estimate, sizeof estimate, ", about %ld:%02ld left", left / 60, left % 60);
  return text + estimate;
}

}  // namespace quorle
