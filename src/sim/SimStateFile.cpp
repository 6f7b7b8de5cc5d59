#include "sim/SimStateFile.h"

namespace quorle {

SimStateFile::SimStateFile(std::filesystem::path path, Snapshot snapshot)
    : path_(std::move(path)), snapshot_(std::move(snapshot)), thread_([this] { Run(); }) {}

SimStateFile::~SimStateFile() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

IoResult SimStateFile::Read(std::vector<Bytes>& messages, bool& missing) const {
  namespace fs = std::filesystem;
  messages.clear();
  std::error_code ec;
  missing = !fs::exists(path_, ec) && !ec;
  if (missing) return {};
  const auto size = fs::file_size(path_, ec);
  if (!ec && size > kMaxSize) return {false, "it is too large to be a state file"};

  Bytes content;
  if (IoResult read = ReadWholeFile(path_, content); !read.ok) return read;
  std::size_t at = 0;
  while (at < content.size()) {
    const std::string where = "at byte " + std::to_string(at);
    if (content[at] != kSysexStart) return {false, "no SysEx message starts " + where};
    std::size_t end = at + 1;
    while (end < content.size() && content[end] < 0x80) ++end;
    if (end == content.size()) return {false, "the SysEx message " + where + " is cut short"};
    if (content[end] != kSysexEnd) {
      return {false, "the SysEx message " + where + " is broken at byte " + std::to_string(end)};
    }
    messages.emplace_back(content.begin() + static_cast<std::ptrdiff_t>(at),
                          content.begin() + static_cast<std::ptrdiff_t>(end + 1));
    at = end + 1;
  }
  return {};
}

IoResult SimStateFile::WriteNow() {
  const Bytes content = snapshot_();
  return WriteFileAtomically(path_, content);
}

void SimStateFile::Changed() {
  {
    std::lock_guard lock(mutex_);
    pending_ = true;
  }
  wake_.notify_all();
}

bool SimStateFile::Flush(std::chrono::milliseconds limit) {
  std::unique_lock lock(mutex_);
  return done_.wait_for(lock, limit, [this] { return !pending_ && !writing_; });
}

void SimStateFile::SetErrorHandler(ErrorHandler handler) {
  std::lock_guard lock(mutex_);
  onError_ = std::move(handler);
}

std::string SimStateFile::LastError() const {
  std::lock_guard lock(mutex_);
  return lastError_;
}

void SimStateFile::Run() {
  std::unique_lock lock(mutex_);
  while (true) {
    wake_.wait(lock, [this] { return stop_ || pending_; });
    if (!pending_) break;  // stopping with nothing left to write
    pending_ = false;
    writing_ = true;
    lock.unlock();
    const IoResult result = WriteNow();
    lock.lock();
    writing_ = false;
    if (!result.ok) {
      lastError_ = "cannot write " + path_.string() + ": " + result.error;
      if (onError_) {
        const ErrorHandler handler = onError_;
        const std::string text = lastError_;
        lock.unlock();
        handler(text);
        lock.lock();
      }
    } else {
      lastError_.clear();
    }
    done_.notify_all();
  }
  done_.notify_all();
}

}  // namespace quorle
