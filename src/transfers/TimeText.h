#pragma once

#include <chrono>
#include <cstddef>
#include <string>

namespace quorle {

// The time now in UTC, by strftime's format: what backups and kept copies are named after.
std::string Now(const char* format);

// ", about 1:05 left" from what has come so far at the rate it came; empty while too little
// has been seen to tell.
std::string TimeLeft(std::size_t done, std::size_t total, std::chrono::steady_clock::duration took);

}  // namespace quorle
