#pragma once

#include <cstdint>

namespace quorle {

// A message posted to a port's window: the window id, the message number and its parameters.
struct MidiNotice {
  std::uint64_t window = 0;
  unsigned message = 0;
  std::uintptr_t wParam = 0;
  std::uintptr_t lParam = 0;
};

}  // namespace quorle
