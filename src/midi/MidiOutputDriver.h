#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>

#include "midi/MidiService.h"
#include "protocol/MessageSet.h"

namespace quorle {

// What a MIDI output driver does apart from putting bytes on the wire: queues short and long
// messages in the order given, lets the backend's sender take them one at a time, and reports
// each long message done through the callback, in order, with whether it left: a message the
// backend refused, or one given up, is reported with the code of why. Close is refused while
// anything is queued. The object is the handle the ports hold.
class MidiOutputDriver {
 public:
  struct Item {
    MidiHdr* header = nullptr;  // null for a short message
    std::uint32_t shortMessage = 0;
    std::uint64_t sequence = 0;
    // The sender's own copy of the message as it goes on the wire: the port may free the
    // header's data as soon as the message has been given up.
    Bytes data;
  };

  MidiOutputDriver(MidiService& owner, MidiCallback callback, void* instance);
  MidiOutputDriver(const MidiOutputDriver&) = delete;
  MidiOutputDriver& operator=(const MidiOutputDriver&) = delete;

  MidiService& Owner() const { return owner_; }
  // Called, outside the lock, whenever something was queued or the driver closed.
  void SetWakeup(std::function<void()> wakeup) { wakeup_ = std::move(wakeup); }

  // Calls of the thread that owns the port.
  MidiResult Prepare(MidiHdr* header);
  MidiResult Unprepare(MidiHdr* header);
  MidiResult LongMsg(MidiHdr* header);
  MidiResult ShortMsg(std::uint32_t message);
  // Reports everything queued given up at once; waits up to `patience` for the message being
  // sent, then gives that up too.
  MidiResult Reset(std::chrono::milliseconds patience);
  MidiResult Close();
  std::size_t Pending() const;

  // Sender side: take the oldest message. Next blocks until there is one or the driver is
  // closed (then false).
  bool Next(Item& item);
  bool TryNext(Item& item);
  bool Current(const Item& item) const;
  // The message has left (result 0) or the backend refused it (the code why); a message given up
  // meanwhile is not reported twice.
  void Finish(const Item& item, MidiResult result = MMSYSERR_NOERROR);
  // A send that cannot complete: give up everything; later sends fail.
  void Abandon();
  // When the message being sent was taken, or nothing when idle.
  std::optional<std::chrono::steady_clock::time_point> SendingSince() const;

 private:
  MidiResult Queue(Item item);
  void Done(MidiHdr* header, MidiResult result);
  void GiveUpLocked(bool includeSending);

  MidiService& owner_;
  const MidiCallback callback_;
  void* const instance_;
  std::function<void()> wakeup_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Item> queue_;  // front is being sent while sending_ is set
  bool sending_ = false;
  std::chrono::steady_clock::time_point sendingSince_{};
  bool closed_ = false;
  bool failed_ = false;
  std::uint64_t nextSequence_ = 1;
};

}  // namespace quorle
