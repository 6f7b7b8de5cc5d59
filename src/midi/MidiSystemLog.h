#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quorle {

// What the MIDI systems said beyond a result code (RtMidi's and alsa-lib's own texts, a refused
// send, an input warning), kept until a front end takes it: the window's trace, the command
// line's standard error. Write is safe on any thread, a MIDI system's realtime callback included:
// it never blocks or allocates, and a line that finds the log busy or full is only counted.
class MidiSystemLog {
 public:
  static constexpr std::size_t kLines = 32;
  static constexpr std::size_t kLineLength = 240;  // longer lines are cut

  // The log of the whole program.
  static MidiSystemLog& Main();

  void Write(std::string_view text) noexcept;
  // The lines written since the last call, oldest first, then a line of how many were dropped.
  // May wait briefly for a writer; not for a realtime thread.
  std::vector<std::string> Take();

 private:
  std::atomic_flag busy_;
  std::array<std::array<char, kLineLength>, kLines> lines_{};
  std::array<std::size_t, kLines> lengths_{};
  std::size_t count_ = 0;  // under busy_
  std::atomic<std::size_t> dropped_{0};
};

}  // namespace quorle
