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

namespace quorle {

bool TakeMidiLogOption(std::vector<std::string>& args, std::string& file, std::string& error) {
  static constexpr std::string_view kOption = "--midi-log";
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--" || arg.empty() || arg.front() != '-') break;
    if (arg == kOption) {
      if (i + 1 == args.size() || args[i + 1].empty()) {
        error = "--midi-log needs a file name";
        return false;
      }
      file = args[i + 1];
      args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
                 args.begin() + static_cast<std::ptrdiff_t>(i) + 2);
      return true;
    }
    if (arg.rfind(std::string(kOption) + "=", 0) == 0) {
      file = arg.substr(kOption.size() + 1);
      args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
      if (file.empty()) {
        error = "--midi-log needs a file name";
        return false;
      }
      return true;
    }
  }
  return true;
}

}  // namespace quorle
