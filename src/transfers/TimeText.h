#pragma once

#include <string>

namespace quorle {

// The time now in UTC, by strftime's format: what backups and kept copies are named after.
std::string Now(const char* format);

}  // namespace quorle
