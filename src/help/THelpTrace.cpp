#include "help/THelpTrace.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <fstream>

namespace quorle {

namespace {

namespace fs = std::filesystem;

std::vector<std::string>& Arguments() {
  static std::vector<std::string> arguments;
  return arguments;
}

bool CanWriteIn(const fs::path& folder) {
  std::error_code ec;
  return fs::is_directory(folder, ec) && ::access(folder.c_str(), W_OK) == 0;
}

}  // namespace

THelpTrace::THelpTrace(const std::vector<std::string>& arguments, const fs::path& appFolder) {
  std::error_code ec;
  on_ = std::any_of(arguments.begin(), arguments.end(), IsTraceSwitch) ||
        fs::exists(appFolder / "debug.debug", ec);
  path_ = (CanWriteIn(appFolder) ? appFolder : fs::temp_directory_path(ec)) / kFileName;
  fs::remove(path_, ec);
}

void THelpTrace::Line(const std::string& text) {
  if (!on_) return;
  std::ofstream out(path_, std::ios::app);
  if (!out) {
    // The folder stopped taking files since start: go on in the temporary folder.
    std::error_code ec;
    path_ = fs::temp_directory_path(ec) / kFileName;
    out.open(path_, std::ios::app);
  }
  out << text << '\n';
}

bool THelpTrace::IsTraceSwitch(std::string argument) {
  std::transform(argument.begin(), argument.end(), argument.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return argument == "-debug" || argument == "/debug";
}

void THelpTrace::SetCommandLine(std::vector<std::string> arguments) {
  Arguments() = std::move(arguments);
}

const std::vector<std::string>& THelpTrace::CommandLine() {
  return Arguments();
}

}  // namespace quorle
