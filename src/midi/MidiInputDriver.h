#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>

#include "midi/MidiService.h"
#include "protocol/MessageSet.h"

namespace quorle {

// What a MIDI input driver does once bytes have arrived, whatever delivered them: keeps the
// lodged receive buffers, fills them in order (a message longer than one buffer fills several,
// each handed back when full or at its F7), drops SysEx while no buffer is lodged, packs short
// messages and stamps everything in milliseconds from Start. Both backends feed it whole
// messages from their own thread; the object is the handle the ports hold.
class MidiInputDriver {
 public:
  MidiInputDriver(MidiService& owner, MidiCallback callback, void* instance);
  MidiInputDriver(const MidiInputDriver&) = delete;
  MidiInputDriver& operator=(const MidiInputDriver&) = delete;

  MidiService& Owner() const { return owner_; }

  // Calls of the thread that owns the port.
  MidiResult Prepare(MidiHdr* header);
  MidiResult Unprepare(MidiHdr* header);
  MidiResult AddBuffer(MidiHdr* header);
  MidiResult Start();
  MidiResult Stop();
  // Stops input and hands every lodged buffer back through the callback, marked done.
  MidiResult Reset();
  // Refused while buffers are lodged; once it succeeds the callback is never called again.
  MidiResult Close();

  // Service thread: one whole message as it came off the wire.
  void Receive(ByteView message);
  bool Started() const { return started_.load(std::memory_order_acquire); }

 private:
  using Clock = std::chrono::steady_clock;
  std::uint32_t Timestamp() const;
  void HandBack(MidiHdr* header, unsigned message);

  MidiService& owner_;
  const MidiCallback callback_;
  void* const instance_;
  // Held while a message is filed, so a Reset on the port's thread never runs beside a delivery
  // and the ring keeps a single producer at a time.
  std::mutex mutex_;
  MidiHdr* head_ = nullptr;
  MidiHdr* tail_ = nullptr;
  std::size_t lodged_ = 0;
  std::atomic<bool> started_{false};
  bool closed_ = false;
  Clock::time_point startTime_{};
};

}  // namespace quorle
