#include "transfers/SendVerification.h"

#include <algorithm>

#include "protocol/Pack.h"

namespace quorle {

namespace {

Bytes Unpacked(const DumpKind& kind, ByteView dump) {
  Bytes data(kind.dataSize + 8);
  Unpack(dump.subspan(kPayloadOffset, kind.packedSize), data, kind.packedSize);
  data.resize(kind.dataSize);
  data[kind.cardProgramBanksOffset] = 0;
  data[kind.cardMixBanksOffset] = 0;
  return data;
}

std::string List(const std::vector<std::size_t>& entries) {
  std::string text = entries.size() == 1 ? "entry " : "entries ";
  for (std::size_t i = 0; i < entries.size(); ++i) {
    text += (i == 0 ? "" : ", ") + std::to_string(entries[i]);
  }
  return text;
}

}  // namespace

SendVerification::SendVerification(std::vector<Part> parts, int sendDelay,
                                   std::string verifiedStatus, std::string failStatus)
    : parts_(std::move(parts)),
      sendDelay_(sendDelay),
      verifiedStatus_(std::move(verifiedStatus)),
      failStatus_(std::move(failStatus)) {}

int SendVerification::Pause() const {
  if (round_ == 0) return sendDelay_;
  return std::max(sendDelay_, kLeastPause) << round_;
}

bool SendVerification::SameSound(const DumpKind& kind, ByteView a, ByteView b) {
  if (a.size() != kind.dumpSize || b.size() != kind.dumpSize) return false;
  return Unpacked(kind, a) == Unpacked(kind, b);
}

std::vector<std::size_t> SendVerification::Compare(
    const std::function<ByteView(std::size_t)>& readBack) const {
  std::vector<std::size_t> failed;
  for (const auto& [entry, dump] : Current().sent) {
    if (!SameSound(*Current().kind, dump, readBack(entry))) failed.push_back(entry);
  }
  return failed;
}

bool SendVerification::NextRound(const std::vector<std::size_t>& failed) {
  if (failed.empty()) {
    if (round_ > 0) workedPause_ = std::max(workedPause_, Pause());
    return false;
  }
  if (round_ < kRounds) {
    ++round_;
    return true;
  }
  const Part& part = Current();
  failures_.push_back((part.label.empty() ? "" : part.label + " ") + List(failed));
  return false;
}

bool SendVerification::NextPart() {
  round_ = 0;
  return ++part_ < parts_.size();
}

std::string SendVerification::Status() const {
  if (!failures_.empty()) {
    std::string text = failStatus_ + ": ";
    for (std::size_t i = 0; i < failures_.size(); ++i) text += (i == 0 ? "" : "; ") + failures_[i];
    return text + " did not take";
  }
  std::string text = verifiedStatus_;
  if (workedPause_ > 0) {
    text += "; some dumps took only with a longer pause: set the send delay to " +
            std::to_string(workedPause_) + " ms";
  }
  return text;
}

}  // namespace quorle
