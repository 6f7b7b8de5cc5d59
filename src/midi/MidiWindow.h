#pragma once

#include <cstdint>

#include "midi/MidiDispatcher.h"

namespace quorle {

// A port's notice window: registered with a dispatcher for as long as the object lives, so a
// notice that arrives after the port is gone is dropped unread.
class MidiWindow {
 public:
  MidiWindow(MidiDispatcher& dispatcher, MidiDispatcher::WindowProc proc)
      : dispatcher_(dispatcher), id_(dispatcher.CreateWindow(std::move(proc))) {}
  ~MidiWindow() { dispatcher_.DestroyWindow(id_); }
  MidiWindow(const MidiWindow&) = delete;
  MidiWindow& operator=(const MidiWindow&) = delete;

  MidiDispatcher& Dispatcher() const { return dispatcher_; }
  std::uint64_t Id() const { return id_; }

 private:
  MidiDispatcher& dispatcher_;
  const std::uint64_t id_;
};

}  // namespace quorle
