#pragma once

#include <atomic>
#include <cstdint>

#include "midi/MidiDispatcher.h"
#include "midi/TMidiEventRing.h"

namespace quorle {

// What the MIDI callback is given as its instance value. Everything but SysexOnly is written
// only while the device is closed; SysexOnly may change while it is open.
struct TMidiCallbackContext {
  TMidiEventRing* Ring = nullptr;  // none for an output port
  MidiDispatcher* Dispatcher = nullptr;
  std::uint64_t Window = 0;
  std::atomic<std::uint8_t> SysexOnly{0};
};

// The callback both ports register with the service. Runs on a service thread; never
// allocates, locks or blocks: it files one slot and posts one notice.
void MidiCallbackProc(void* handle, unsigned message, void* instance, std::uintptr_t p1,
                      std::uintptr_t p2) noexcept;

}  // namespace quorle
