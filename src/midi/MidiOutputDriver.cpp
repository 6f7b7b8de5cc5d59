#include "midi/MidiOutputDriver.h"

namespace quorle {

namespace {
std::size_t ShortLength(std::uint8_t status) {
  if (status >= 0xF8) return 1;
  switch (status) {
    case 0xF1:
    case 0xF3:
      return 2;
    case 0xF2:
      return 3;
    case 0xF4:
    case 0xF5:
    case 0xF6:
      return 1;
    default:
      break;
  }
  const std::uint8_t kind = status & 0xF0;
  return kind == 0xC0 || kind == 0xD0 ? 2 : 3;
}
}  // namespace

static void CopyOut(MidiOutputDriver::Item& item) {
  if (item.header) {
    item.data.assign(item.header->lpData, item.header->lpData + item.header->dwBufferLength);
  } else {
    const std::uint32_t m = item.shortMessage;
    const std::uint8_t bytes[3] = {static_cast<std::uint8_t>(m), static_cast<std::uint8_t>(m >> 8),
                                   static_cast<std::uint8_t>(m >> 16)};
    item.data.assign(bytes, bytes + ShortLength(bytes[0]));
  }
}

MidiOutputDriver::MidiOutputDriver(MidiService& owner, MidiCallback callback, void* instance)
    : owner_(owner), callback_(callback), instance_(instance) {}

MidiResult MidiOutputDriver::Prepare(MidiHdr* header) {
  if (!header || !header->lpData || header->dwBufferLength == 0) return MMSYSERR_INVALPARAM;
  std::lock_guard lock(mutex_);
  header->dwFlags |= MHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MidiResult MidiOutputDriver::Unprepare(MidiHdr* header) {
  if (!header) return MMSYSERR_INVALPARAM;
  std::lock_guard lock(mutex_);
  if (header->dwFlags & MHDR_INQUEUE) return MIDIERR_STILLPLAYING;
  header->dwFlags &= ~MHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MidiResult MidiOutputDriver::LongMsg(MidiHdr* header) {
  if (!header) return MMSYSERR_INVALPARAM;
  {
    std::lock_guard lock(mutex_);
    if (!(header->dwFlags & MHDR_PREPARED)) return MIDIERR_UNPREPARED;
    if (header->dwFlags & MHDR_INQUEUE) return MIDIERR_STILLPLAYING;
  }
  return Queue({header, 0, 0, {}});
}

MidiResult MidiOutputDriver::ShortMsg(std::uint32_t message) {
  if ((message & 0x80) == 0 || (message & 0xFF) == kSysexStart) return MMSYSERR_INVALPARAM;
  return Queue({nullptr, message, 0, {}});
}

MidiResult MidiOutputDriver::Queue(Item item) {
  {
    std::lock_guard lock(mutex_);
    if (closed_) return MMSYSERR_INVALHANDLE;
    if (failed_) return MIDIERR_NODEVICE;
    item.sequence = nextSequence_++;
    if (item.header) item.header->dwFlags = (item.header->dwFlags | MHDR_INQUEUE) & ~MHDR_DONE;
    queue_.push_back(item);
  }
  changed_.notify_all();
  if (wakeup_) wakeup_();
  return MMSYSERR_NOERROR;
}

void MidiOutputDriver::Done(MidiHdr* header, MidiResult result) {
  callback_(this, MOM_DONE, instance_, reinterpret_cast<std::uintptr_t>(header), result);
}

// Reports under the lock, so that a Close that succeeds comes after every callback.
void MidiOutputDriver::GiveUpLocked(bool includeSending) {
  const std::size_t keep = sending_ && !includeSending ? 1 : 0;
  std::deque<Item> given(queue_.begin() + static_cast<std::ptrdiff_t>(keep), queue_.end());
  queue_.resize(keep);
  if (includeSending) sending_ = false;
  for (const Item& item : given) {
    if (!item.header) continue;
    item.header->dwFlags = (item.header->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
    // Not on the wire, or not all of it: never to be taken for sent.
    Done(item.header, MIDIERR_NOTREADY);
  }
  changed_.notify_all();
}

MidiResult MidiOutputDriver::Reset(std::chrono::milliseconds patience) {
  std::unique_lock lock(mutex_);
  GiveUpLocked(false);
  changed_.wait_for(lock, patience, [this] { return !sending_; });
  if (sending_) GiveUpLocked(true);
  return MMSYSERR_NOERROR;
}

MidiResult MidiOutputDriver::Close() {
  {
    std::lock_guard lock(mutex_);
    if (!queue_.empty()) return MIDIERR_STILLPLAYING;
    closed_ = true;
  }
  changed_.notify_all();
  if (wakeup_) wakeup_();
  return MMSYSERR_NOERROR;
}

std::size_t MidiOutputDriver::Pending() const {
  std::lock_guard lock(mutex_);
  return queue_.size();
}

bool MidiOutputDriver::Next(Item& item) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return closed_ || (!sending_ && !queue_.empty()); });
  if (closed_) return false;
  sending_ = true;
  sendingSince_ = std::chrono::steady_clock::now();
  item = queue_.front();
  CopyOut(item);
  return true;
}

bool MidiOutputDriver::TryNext(Item& item) {
  std::lock_guard lock(mutex_);
  if (closed_ || sending_ || queue_.empty()) return false;
  sending_ = true;
  sendingSince_ = std::chrono::steady_clock::now();
  item = queue_.front();
  CopyOut(item);
  return true;
}

bool MidiOutputDriver::Current(const Item& item) const {
  std::lock_guard lock(mutex_);
  return sending_ && !queue_.empty() && queue_.front().sequence == item.sequence;
}

void MidiOutputDriver::Finish(const Item& item, MidiResult result) {
  std::lock_guard lock(mutex_);
  if (!sending_ || queue_.empty() || queue_.front().sequence != item.sequence) return;
  queue_.pop_front();
  sending_ = false;
  if (item.header) {
    item.header->dwFlags = (item.header->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
    Done(item.header, result);
  }
  changed_.notify_all();
}

void MidiOutputDriver::Abandon() {
  std::lock_guard lock(mutex_);
  failed_ = true;
  GiveUpLocked(true);
}

std::optional<std::chrono::steady_clock::time_point> MidiOutputDriver::SendingSince() const {
  std::lock_guard lock(mutex_);
  if (!sending_) return std::nullopt;
  return sendingSince_;
}

}  // namespace quorle
