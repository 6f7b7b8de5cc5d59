#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>

#include "midi/MidiService.h"
#include "protocol/MessageSet.h"

namespace quorle {

// What a MIDI input driver does once bytes have arrived, whatever delivered them: keeps the
// lodged receive buffers, fills them in order (a message longer than one buffer fills several,
// each handed back when full or at its F7), packs short messages and stamps everything in
// milliseconds from Start. Both backends feed it whole messages from their own thread, while on a
// real line the bytes trickle in and the port hands each buffer back long before the next fills;
// so what finds no buffer lodged waits, in order, for the next one instead of being lost. The
// object is the handle the ports hold.
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
  // Files what waits into the lodged buffers, oldest first. Called with the lock held.
  void Drain();
  // Files one message from offset on; answers where it stopped (its size when all went).
  std::size_t File(ByteView message, std::size_t offset);

  MidiService& owner_;
  const MidiCallback callback_;
  void* const instance_;
  // Held while a message is filed, so a Reset on the port's thread never runs beside a delivery
  // and the ring keeps a single producer at a time.
  std::mutex mutex_;
  MidiHdr* head_ = nullptr;
  MidiHdr* tail_ = nullptr;
  std::size_t lodged_ = 0;
  // Whether any buffer was lodged since input started; a port opened without buffers never
  // takes SysEx, so nothing should wait for one.
  bool everLodged_ = false;
  // Messages waiting for a buffer, the first one perhaps partly filed already.
  std::deque<Bytes> waiting_;
  std::size_t waitingOffset_ = 0;
  std::size_t waitingBytes_ = 0;
  std::atomic<bool> started_{false};
  bool closed_ = false;
  Clock::time_point startTime_{};
};

}  // namespace quorle
