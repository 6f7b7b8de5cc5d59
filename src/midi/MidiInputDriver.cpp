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
  everLodged_ = true;
  Drain();
  return MMSYSERR_NOERROR;
}

MidiResult MidiInputDriver::Start() {
  std::lock_guard lock(mutex_);
  if (closed_) return MMSYSERR_INVALHANDLE;
  if (!started_.load(std::memory_order_relaxed)) {
    startTime_ = Clock::now();
    started_.store(true, std::memory_order_release);
  }
  Drain();
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
  waiting_.clear();
  waitingOffset_ = waitingBytes_ = 0;
  everLodged_ = false;
  while (head_) HandBack(head_, MIM_LONGDATA);
  return MMSYSERR_NOERROR;
}

MidiResult MidiInputDriver::Close() {
  std::lock_guard lock(mutex_);
  if (lodged_ > 0) return MIDIERR_STILLPLAYING;
  started_.store(false, std::memory_order_release);
  closed_ = true;
  waiting_.clear();
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

std::size_t MidiInputDriver::File(ByteView message, std::size_t offset) {
  const std::uint8_t status = message[0];
  if (status != kSysexStart) {
    if (status < 0x80) return message.size();  // stray data bytes without a status
    std::uint32_t packed = status;
    if (message.size() > 1) packed |= static_cast<std::uint32_t>(message[1]) << 8;
    if (message.size() > 2) packed |= static_cast<std::uint32_t>(message[2]) << 16;
    callback_(this, MIM_DATA, instance_, packed, Timestamp());
    return message.size();
  }
  if (!everLodged_) return message.size();
  const bool complete = message.back() == kSysexEnd;
  std::size_t pos = offset;
  while (pos < message.size()) {
    MidiHdr* header = head_;
    if (!header) return pos;
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
  return pos;
}

void MidiInputDriver::Drain() {
  while (!waiting_.empty() && started_.load(std::memory_order_relaxed) && !closed_) {
    const Bytes& message = waiting_.front();
    const std::size_t before = waitingOffset_;
    waitingOffset_ = File(message, waitingOffset_);
    waitingBytes_ -= waitingOffset_ - before;
    if (waitingOffset_ < message.size()) return;  // still no buffer
    waiting_.pop_front();
    waitingOffset_ = 0;
  }
}

void MidiInputDriver::Receive(ByteView message) {
  // A line that delivers faster than the port takes its buffers back has no bound; past this
  // much waiting, input is lost as an overrun driver would lose it.
  constexpr std::size_t kMaxWaiting = 4 * 1024 * 1024;
  if (message.empty()) return;
  std::lock_guard lock(mutex_);
  if (closed_ || !started_.load(std::memory_order_relaxed)) return;
  if (waiting_.empty()) {
    const std::size_t filed = File(message, 0);
    if (filed == message.size()) return;
    waiting_.emplace_back(message.begin(), message.end());
    waitingOffset_ = filed;
    waitingBytes_ = message.size() - filed;
    return;
  }
  if (waitingBytes_ + message.size() > kMaxWaiting) return;
  waiting_.emplace_back(message.begin(), message.end());
  waitingBytes_ += message.size();
}

}  // namespace quorle
