#include "transfers/TimeText.h"

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

}  // namespace quorle
