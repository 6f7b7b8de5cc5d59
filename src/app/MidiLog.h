#pragma once

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/MessageSet.h"

namespace quorle {

// The MIDI log a user attaches to a report: every message sent and received, one line each:
// milliseconds since the log was opened, ">" sent or "<" received, the port in quotes, the
// length and the bytes in hex. Each line is flushed as it is written, so a crash loses none.
// Written only on the thread that owns it, never from a MIDI callback.
class MidiLog {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr char kSent = '>', kReceived = '<';

  // Creates or empties the file; throws std::runtime_error with the reason when it cannot.
  explicit MidiLog(const std::filesystem::path& path);

  void Write(char direction, std::string_view port, ByteView message) {
    Write(Clock::now(), direction, port, message);
  }
  // For a writer that logs a message some time after it happened.
  void Write(Clock::time_point when, char direction, std::string_view port, ByteView message);

 private:
  std::ofstream file_;
  const Clock::time_point start_ = Clock::now();
};

// Takes "--midi-log FILE" (or "--midi-log=FILE") from the options before the first argument that
// is no option, and leaves the rest in order. Returns false with a sentence in error when the
// option lacks its file.
bool TakeMidiLogOption(std::vector<std::string>& args, std::string& file, std::string& error);

}  // namespace quorle
