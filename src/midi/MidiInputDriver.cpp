#include "midi/MidiInputDriver.h"

#include <algorithm>
#include <cstring>

namespace quorle {

MidiInputDriver::MidiInputDriver(MidiService& owner, MidiCallback callback, void* instance)
    : owner_(owner), callback_(callback), instance_(instance) {}

MidiResult MidiInputDriver::Prepare(MidiHdr* header) {
  if (!header || !header->lpData || header->dwBufferLength == 0) return MMSYSERR_INVALPARAM;
  std::lock_guard lock(mutex_);
  header->dwFlags |= MHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MidiResult MidiInputDriver::Unprepare(MidiHdr* header) {
  if (!header) return MMSYSERR_INVALPARAM;
  std::lock_guard lock(mutex_);
  if (header->dwFlags & MHDR_INQUEUE) return MIDIERR_STILLPLAYING;
  header->dwFlags &= ~MHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MidiResult MidiInputDriver::AddBuffer(MidiHdr* header) {
  if (!header || !header->lpData || header->dwBufferLength == 0) return MMSYSERR_INVALPARAM;
  std::lock_guard lock(mutex_);
  if (closed_) return MMSYSERR_INVALHANDLE;
  if (!(header->dwFlags & MHDR_PREPARED)) return MIDIERR_UNPREPARED;
  if (header->dwFlags & MHDR_INQUEUE) return MIDIERR_STILLPLAYING;
  header->dwFlags = (header->dwFlags | MHDR_INQUEUE) & ~MHDR_DONE;
  header->dwBytesRecorded = 0;
  header->lpNext = nullptr;
  if (tail_) {
    tail_->lpNext = header;
  } else {
    head_ = header;
  }
  tail_ = header;
  ++lodged_;
  return MMSYSERR_NOERROR;
}

MidiResult MidiInputDriver::Start() {
  std::lock_guard lock(mutex_);
  if (closed_) return MMSYSERR_INVALHANDLE;
  if (!started_.load(std::memory_order_relaxed)) {
    startTime_ = Clock::now();
    started_.store(true, std::memory_order_release);
  }
  return MMSYSERR_NOERROR;
}

MidiResult MidiInputDriver::Stop() {
  std::lock_guard lock(mutex_);
  started_.store(false, std::memory_order_release);
  return MMSYSERR_NOERROR;
}

MidiResult MidiInputDriver::Reset() {
  std::lock_guard lock(mutex_);
  started_.store(false, std::memory_order_release);
  while (head_) HandBack(head_, MIM_LONGDATA);
  return MMSYSERR_NOERROR;
}

MidiResult MidiInputDriver::Close() {
  std::lock_guard lock(mutex_);
  if (lodged_ > 0) return MIDIERR_STILLPLAYING;
  started_.store(false, std::memory_order_release);
  closed_ = true;
  return MMSYSERR_NOERROR;
}

std::uint32_t MidiInputDriver::Timestamp() const {
  using std::chrono::duration_cast;
  using std::chrono::milliseconds;
  return static_cast<std::uint32_t>(duration_cast<milliseconds>(Clock::now() - startTime_).count());
}

// Takes the head buffer off the queue and reports it. Called with the lock held.
void MidiInputDriver::HandBack(MidiHdr* header, unsigned message) {
  head_ = header->lpNext;
  if (!head_) tail_ = nullptr;
  header->lpNext = nullptr;
  --lodged_;
  header->dwFlags = (header->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
  callback_(this, message, instance_, reinterpret_cast<std::uintptr_t>(header), Timestamp());
}

void MidiInputDriver::Receive(ByteView message) {
  if (message.empty()) return;
  std::lock_guard lock(mutex_);
  if (closed_ || !started_.load(std::memory_order_relaxed)) return;
  const std::uint8_t status = message[0];
  if (status == kSysexStart) {
    const bool complete = message.back() == kSysexEnd;
    std::size_t pos = 0;
    while (pos < message.size()) {
      MidiHdr* header = head_;
      if (!header) return;  // no buffer lodged: the driver loses the rest, as hardware would
      const std::size_t room = header->dwBufferLength - header->dwBytesRecorded;
      const std::size_t n = std::min(room, message.size() - pos);
      std::memcpy(header->lpData + header->dwBytesRecorded, message.data() + pos, n);
      header->dwBytesRecorded += static_cast<std::uint32_t>(n);
      pos += n;
      const bool last = pos == message.size();
      if (header->dwBytesRecorded == header->dwBufferLength || last) {
        HandBack(header, last && !complete ? MIM_LONGERROR : MIM_LONGDATA);
      }
    }
    return;
  }
  if (status < 0x80) return;  // stray data bytes without a status
  std::uint32_t packed = status;
  if (message.size() > 1) packed |= static_cast<std::uint32_t>(message[1]) << 8;
  if (message.size() > 2) packed |= static_cast<std::uint32_t>(message[2]) << 16;
  callback_(this, MIM_DATA, instance_, packed, Timestamp());
}

}  // namespace quorle
