#include "transfers/TimeText.h"

#include <cstdio>
#include <ctime>

namespace quorle {

std::string Now(const char* format) {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[64];
  std::strftime(text, sizeof text, format, &utc);
  return text;
}

std::string TimeLeft(std::size_t done, std::size_t total,
                     std::chrono::steady_clock::duration took) {
  const double seconds = std::chrono::duration<double>(took).count();
  if (done == 0 || seconds < 0.5) return "";
  const auto left = static_cast<long>((total - done) * seconds / done + 0.5);
  char text[48];
  std::snprintf(text, sizeof text, ", about %ld:%02ld left", left / 60, left % 60);
  return text;
}

}  // namespace quorle
