#include "app/MidiLog.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace quorle {

MidiLog::MidiLog(const std::filesystem::path& path) : file_(path, std::ios::binary) {
  if (!file_) {
    throw std::runtime_error("The MIDI log " + path.string() +
                             " cannot be written: " + std::strerror(errno));
  }
}

void MidiLog::Write(Clock::time_point when, char direction, std::string_view port,
                    ByteView message) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(when - start_).count();
  std::string line = std::to_string(ms) + ' ' + direction + " \"" + std::string(port) + "\" " +
                     std::to_string(message.size());
  line.reserve(line.size() + message.size() * 3 + 1);
  for (const std::uint8_t b : message) {
    line += ' ';
    line += kHex[b >> 4];
    line += kHex[b & 15];
  }
  line += '\n';
  file_ << line << std::flush;
}

}  // namespace quorle
