#include "midi/MidiInputDriver.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <new>
#include <thread>

#include "midi/MidiSystemLog.h"

namespace quorle {

MidiInputDriver::MidiInputDriver(MidiService& owner, MidiCallback callback, void* instance,
                                 std::size_t storeBytes)
    : owner_(owner),
      callback_(callback),
      instance_(instance),
      lodged_(TMidiEventRing::Create(TMidiEventRing::kMaxCapacity)),
      waiting_(storeBytes),
      join_(new std::uint8_t[kJoinBytes]) {
  if (!lodged_) throw std::bad_alloc();
}

MidiResult MidiInputDriver::Prepare(MidiHdr* header) {
  if (!header || !header->lpData || header->dwBufferLength == 0) return MMSYSERR_INVALPARAM;
  header->dwFlags |= MHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MidiResult MidiInputDriver::Unprepare(MidiHdr* header) {
  if (!header) return MMSYSERR_INVALPARAM;
  if (header->dwFlags & MHDR_INQUEUE) return MIDIERR_STILLPLAYING;
  header->dwFlags &= ~MHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MidiResult MidiInputDriver::AddBuffer(MidiHdr* header) {
  if (!header || !header->lpData || header->dwBufferLength == 0) return MMSYSERR_INVALPARAM;
  if (closed_) return MMSYSERR_INVALHANDLE;
  if (!(header->dwFlags & MHDR_PREPARED)) return MIDIERR_UNPREPARED;
  if (header->dwFlags & MHDR_INQUEUE) return MIDIERR_STILLPLAYING;
  header->dwFlags = (header->dwFlags | MHDR_INQUEUE) & ~MHDR_DONE;
  header->dwBytesRecorded = 0;
  header->lpNext = nullptr;
  TMidiRingItem item;
  item.LongHeader = header;
  if (!lodged_->Put(item)) {
    header->dwFlags &= ~MHDR_INQUEUE;
    return MMSYSERR_NOMEM;
  }
  everLodged_.store(true, std::memory_order_release);
  news_.fetch_add(1, std::memory_order_seq_cst);
  Drain();
  return MMSYSERR_NOERROR;
}

MidiResult MidiInputDriver::Start() {
  if (closed_) return MMSYSERR_INVALHANDLE;
  if (!started_.load(std::memory_order_relaxed)) {
    startTime_.store(Clock::now().time_since_epoch().count(), std::memory_order_relaxed);
    started_.store(true, std::memory_order_seq_cst);
  }
  Drain();
  return MMSYSERR_NOERROR;
}

MidiResult MidiInputDriver::Stop() {
  started_.store(false, std::memory_order_seq_cst);
  return MMSYSERR_NOERROR;
}

void MidiInputDriver::Exclude() noexcept {
  started_.store(false, std::memory_order_seq_cst);
  // Pairs with Receive's check: once this reads 0, no Receive can pass that check any more.
  while (receiving_.load(std::memory_order_seq_cst) != 0) std::this_thread::yield();
  while (filing_.exchange(true, std::memory_order_seq_cst)) std::this_thread::yield();
}

MidiResult MidiInputDriver::Reset() {
  Exclude();
  waiting_.Clear();
  filed_ = 0;
  everLodged_.store(false, std::memory_order_relaxed);
  TMidiRingItem item;
  while (lodged_->Peek(item)) HandBack(item.LongHeader, MIM_LONGDATA);
  filing_.store(false, std::memory_order_seq_cst);
  return MMSYSERR_NOERROR;
}

MidiResult MidiInputDriver::Close() {
  if (lodged_->Count() > 0) return MIDIERR_STILLPLAYING;
  Exclude();
  closed_ = true;
  waiting_.Clear();
  filed_ = 0;
  filing_.store(false, std::memory_order_seq_cst);
  return MMSYSERR_NOERROR;
}

std::uint32_t MidiInputDriver::Timestamp() const noexcept {
  using std::chrono::duration_cast;
  using std::chrono::milliseconds;
  const Clock::time_point start{Clock::duration(startTime_.load(std::memory_order_relaxed))};
  return static_cast<std::uint32_t>(duration_cast<milliseconds>(Clock::now() - start).count());
}

void MidiInputDriver::HandBack(MidiHdr* header, unsigned message) noexcept {
  lodged_->Remove();
  header->dwFlags = (header->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
  callback_(this, message, instance_, reinterpret_cast<std::uintptr_t>(header), Timestamp());
}

bool MidiInputDriver::File(ByteView message) noexcept {
  const std::uint8_t status = message[0];
  if (status != kSysexStart) {
    if (status < 0x80) return true;  // stray data bytes without a status
    std::uint32_t packed = status;
    if (message.size() > 1) packed |= static_cast<std::uint32_t>(message[1]) << 8;
    if (message.size() > 2) packed |= static_cast<std::uint32_t>(message[2]) << 16;
    callback_(this, MIM_DATA, instance_, packed, Timestamp());
    return true;
  }
  const bool complete = message.back() == kSysexEnd;
  TMidiRingItem item;
  while (filed_ < message.size()) {
    if (!lodged_->Peek(item)) return false;
    MidiHdr* header = item.LongHeader;
    const std::size_t room = header->dwBufferLength - header->dwBytesRecorded;
    const std::size_t n = std::min(room, message.size() - filed_);
    std::memcpy(header->lpData + header->dwBytesRecorded, message.data() + filed_, n);
    header->dwBytesRecorded += static_cast<std::uint32_t>(n);
    filed_ += n;
    const bool last = filed_ == message.size();
    if (header->dwBytesRecorded == header->dwBufferLength || last) {
      HandBack(header, last && !complete ? MIM_LONGERROR : MIM_LONGDATA);
    }
  }
  return true;
}

void MidiInputDriver::FileWaiting() noexcept {
  ByteView message;
  while (started_.load(std::memory_order_relaxed) && waiting_.Front(message)) {
    if (!File(message)) return;  // still no buffer
    waiting_.Drop();
    filed_ = 0;
  }
}

void MidiInputDriver::Drain() noexcept {
  for (;;) {
    if (filing_.exchange(true, std::memory_order_seq_cst)) return;  // its holder looks again
    const std::size_t seen = news_.load(std::memory_order_seq_cst);
    FileWaiting();
    filing_.store(false, std::memory_order_seq_cst);
    // A message stored or a buffer lodged meanwhile found the token taken and left its work here:
    // its news comes before that failed take, so before this look, in the one order of all these
    // operations.
    if (news_.load(std::memory_order_seq_cst) == seen || !started_.load(std::memory_order_relaxed))
      return;
  }
}

void MidiInputDriver::Receive(ByteView message) noexcept {
  if (message.empty()) return;
  receiving_.fetch_add(1, std::memory_order_seq_cst);
  if (started_.load(std::memory_order_seq_cst) &&
      (message[0] != kSysexStart || everLodged_.load(std::memory_order_acquire))) {
    if (waiting_.Put(message)) {
      news_.fetch_add(1, std::memory_order_seq_cst);
      Drain();
    } else {
      const std::size_t lost = lost_.fetch_add(1, std::memory_order_relaxed) + 1;
      callback_(this, MIM_OVERFLOW, instance_, lost, Timestamp());
    }
  }
  receiving_.fetch_sub(1, std::memory_order_seq_cst);
}

void MidiInputDriver::ReceivePiece(ByteView piece) noexcept {
  if (piece.empty()) return;
  if (piece[0] == kSysexStart) {
    // A SysEx left unfinished by a new one goes on as it is, to be seen as damaged.
    if (joining_ && !overlong_) Receive(ByteView(join_.get(), joined_));
    joining_ = true;
    overlong_ = false;
    joined_ = 0;
  } else if (!joining_) {
    return;
  }
  if (!overlong_) {
    const std::size_t n = std::min(piece.size(), kJoinBytes - joined_);
    std::memcpy(join_.get() + joined_, piece.data(), n);
    joined_ += n;
    if (n < piece.size()) {
      // Too long to join: it goes on without its F7, and its rest is dropped.
      Receive(ByteView(join_.get(), joined_));
      overlong_ = true;
    }
  }
  if (piece.back() == kSysexEnd) {
    if (!overlong_) Receive(ByteView(join_.get(), joined_));
    joining_ = false;
    overlong_ = false;
    joined_ = 0;
  }
}

void MidiInputDriver::InputLost() noexcept {
  joining_ = false;
  overlong_ = false;
  joined_ = 0;
  receiving_.fetch_add(1, std::memory_order_seq_cst);
  if (started_.load(std::memory_order_seq_cst)) {
    const std::size_t losses = inputLosses_.fetch_add(1, std::memory_order_relaxed) + 1;
    constexpr std::string_view head =
        "MIDI input overflowed: the message being received is dropped (loss ";
    constexpr std::string_view tail = " since the port opened)";
    char line[head.size() + 24 + tail.size()];
    std::memcpy(line, head.data(), head.size());
    char* end = std::to_chars(line + head.size(), line + head.size() + 24, losses).ptr;
    std::memcpy(end, tail.data(), tail.size());
    end += tail.size();
    MidiSystemLog::Main().Write(std::string_view(line, static_cast<std::size_t>(end - line)));
    callback_(this, MIM_INPUTLOST, instance_, losses, Timestamp());
  }
  receiving_.fetch_sub(1, std::memory_order_seq_cst);
}

}  // namespace quorle
