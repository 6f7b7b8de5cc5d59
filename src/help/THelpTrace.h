#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace quorle {

// The help layer's trace for diagnosis: one line per help call appended to "HHDebug.txt" in the
// program's folder, or in the temporary folder when that cannot be written. Switched on by
// "-debug" or "/debug" on the command line (case ignored) or a file "debug.debug" in the
// program's folder. An old trace file is deleted at every start, traced or not.
class THelpTrace {
 public:
  THelpTrace(const std::vector<std::string>& arguments, const std::filesystem::path& appFolder);
  // No trace, and the file left alone: a front end without a help window has no part in it.
  THelpTrace() = default;

  bool On() const { return on_; }
  const std::filesystem::path& FilePath() const { return path_; }
  void Line(const std::string& text);

  static constexpr const char* kFileName = "HHDebug.txt";

  // "-debug" or "/debug", in any case.
  static bool IsTraceSwitch(std::string argument);
  // The running program's arguments, without its name; kept once at start for the help layer.
  static void SetCommandLine(std::vector<std::string> arguments);
  static const std::vector<std::string>& CommandLine();

 private:
  bool on_ = false;
  std::filesystem::path path_;
};

}  // namespace quorle
