#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string_view>

#include "midi/MidiMessageStore.h"
#include "midi/MidiService.h"
#include "midi/TMidiEventRing.h"
#include "protocol/MessageSet.h"

namespace quorle {

// What a MIDI input driver does once bytes have arrived, whatever delivered them: keeps the
// lodged receive buffers, fills them in order (a message longer than one buffer fills several,
// each handed back when full or at its F7), packs short messages and stamps everything in
// milliseconds from Start. The object is the handle the ports hold.
//
// Receive runs on the MIDI system's own thread (JACK's process thread, for one) and takes no lock
// and allocates nothing. Both backends hand over whole messages at once, while on a real line the
// bytes trickle in and the port hands each buffer back long before the next fills; so a message
// that finds too few buffers lodged waits, in order, in a store set aside in advance, until the
// port lodges more. What finds no room there either is lost: counted, and reported through the
// callback as MIM_OVERFLOW, never waited for.
//
// Filing into the buffers is done by whichever thread holds the filing token: the MIDI thread
// after a message came, the port's thread after it lodged a buffer. A thread that finds the token
// taken leaves the work to its holder, who looks again once it has let go; the MIDI thread never
// waits for it. So deliveries reach the callback from one thread at a time (MIM_OVERFLOW may
// come beside them), the ring keeps a single producer at a time, and the port's thread only ever
// waits for the MIDI thread's brief work in Reset and Close.
class MidiInputDriver {
 public:
  // Bytes set aside for messages waiting for a buffer: a bank of Programs and more.
  static constexpr std::size_t kStoreBytes = 1 << 20;

  MidiInputDriver(MidiService& owner, MidiCallback callback, void* instance,
                  std::size_t storeBytes = kStoreBytes);
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

  // The MIDI system's thread: one whole message as it came off the wire.
  void Receive(ByteView message) noexcept;
  // The MIDI system's thread, for systems that deliver SysEx in pieces (ALSA's sequencer events):
  // the pieces are joined in a buffer set aside in advance and go on to Receive at their F7.
  // A piece that continues no SysEx begun here is the tail of one whose head was lost: dropped.
  void ReceivePiece(ByteView piece) noexcept;
  // The MIDI system's thread: the system reports lost input. Whatever SysEx is being joined has a
  // hole in it now and never goes on as a whole message; the loss is counted, logged and told
  // through the callback as MIM_INPUTLOST.
  void InputLost() noexcept;
  bool Started() const { return started_.load(std::memory_order_acquire); }
  // Messages lost for want of room since the port opened.
  std::size_t Lost() const { return lost_.load(std::memory_order_relaxed); }
  // Losses the MIDI system reported since the port opened.
  std::size_t InputLosses() const { return inputLosses_.load(std::memory_order_relaxed); }
  // Room for a SysEx joined from pieces; a longer one goes on cut short, without its F7.
  static constexpr std::size_t kJoinBytes = 1 << 16;

 private:
  using Clock = std::chrono::steady_clock;
  std::uint32_t Timestamp() const noexcept;
  // Takes the oldest lodged buffer off the queue and reports it. Token holder only.
  void HandBack(MidiHdr* header, unsigned message) noexcept;
  // Files what waits, for as long as this thread can have the token and there is work.
  void Drain() noexcept;
  // Token holder: files waiting messages into the lodged buffers, oldest first.
  void FileWaiting() noexcept;
  // Files one message from filed_ on; true when all of it went.
  bool File(ByteView message) noexcept;
  // Port's thread: waits until the MIDI thread is out of Receive, then takes the token.
  void Exclude() noexcept;

  MidiService& owner_;
  const MidiCallback callback_;
  void* const instance_;

  // Lodged buffers, oldest first: the port's thread puts, the token holder takes.
  std::unique_ptr<TMidiEventRing> lodged_;
  MidiMessageStore waiting_;
  std::size_t filed_ = 0;  // bytes of the oldest waiting message filed already; token holder's
  std::atomic<bool> filing_{false};     // the filing token
  std::atomic<unsigned> receiving_{0};  // MIDI threads inside Receive
  // Messages stored and buffers lodged, ever: a token holder that sees it change looks again.
  std::atomic<std::size_t> news_{0};
  // Whether any buffer was lodged since input started; a port opened without buffers never
  // takes SysEx, so nothing should wait for one.
  std::atomic<bool> everLodged_{false};
  std::atomic<bool> started_{false};
  std::atomic<std::size_t> lost_{0};
  std::atomic<std::size_t> inputLosses_{0};
  // The SysEx being joined from pieces; the MIDI system's thread's alone.
  std::unique_ptr<std::uint8_t[]> join_;
  std::size_t joined_ = 0;
  bool joining_ = false;
  bool overlong_ = false;  // the one being joined went on cut short; its rest is dropped
  std::atomic<Clock::rep> startTime_{0};
  bool closed_ = false;  // the port's thread's
};

}  // namespace quorle
