#include "midi/MidiSystemLog.h"

#include <algorithm>
#include <cstring>
#include <thread>

namespace quorle {

MidiSystemLog& MidiSystemLog::Main() {
  static MidiSystemLog log;
  return log;
}

void MidiSystemLog::Write(std::string_view text) noexcept {
  // RtMidi frames its texts with blank lines.
  while (!text.empty() && (text.front() == '\n' || text.front() == ' ')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.remove_suffix(1);
  if (text.empty()) return;
  if (busy_.test_and_set(std::memory_order_acquire)) {
    dropped_.fetch_add(1, std::memory_order_relaxed);
    return;
  }
  if (count_ < kLines) {
    const std::size_t n = std::min(text.size(), kLineLength);
    std::memcpy(lines_[count_].data(), text.data(), n);
    lengths_[count_] = n;
    ++count_;
  } else {
    dropped_.fetch_add(1, std::memory_order_relaxed);
  }
  busy_.clear(std::memory_order_release);
}

std::vector<std::string> MidiSystemLog::Take() {
  while (busy_.test_and_set(std::memory_order_acquire)) std::this_thread::yield();
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < count_; ++i) lines.emplace_back(lines_[i].data(), lengths_[i]);
  count_ = 0;
  busy_.clear(std::memory_order_release);
  if (const std::size_t dropped = dropped_.exchange(0, std::memory_order_relaxed)) {
    lines.push_back(std::to_string(dropped) + " more lines of the MIDI system were not kept");
  }
  return lines;
}

}  // namespace quorle
