// The safety copy before every overwrite: what is at the places a send is about to overwrite is
// fetched and kept in the Library before the send starts; and Put Back, which sends it back.
#include "transfers/SafetyCopy.h"

#include <algorithm>
#include <map>
#include <numeric>

#include "app/TfrmMain.h"
#include "protocol/DumpName.h"
#include "transfers/BankCommon.h"
#include "transfers/EntryCollector.h"

namespace quorle {

namespace {
constexpr const char* kNothingSent = ": nothing was sent";
}

std::vector<std::size_t> TfrmMain::AllEntries() {
  std::vector<std::size_t> entries(kBankEntries);
  std::iota(entries.begin(), entries.end(), std::size_t{0});
  return entries;
}

void TfrmMain::KeepThenSend(std::vector<ReplacedPlaces> parts, bool keep, const std::string& note,
                            std::function<void()> send) {
  // Without an output port the send says so itself; nothing would be overwritten.
  if (!keep || parts.empty() || !CanSend()) return send();
  if (!dumpListener_) {
    SetStatus(" No copy of what this replaces could be kept (no Library)" +
              std::string(kNothingSent));
    return;
  }
  Disable();
  safety_ = std::make_shared<SafetyCopy>(std::move(parts), note, std::move(send));
  ShowPassProgress();
  KeepNextPart();
}

void TfrmMain::KeepNextPart() {
  const SafetyCopy::Part& part = safety_->Current();
  SetStatus(" Keeping a copy of " + safety_->Label() + "...");
  BeginCollect(*part.kind, part.bank,
               std::make_shared<EntryCollector>(safety_->WholeBank()
                                                    ? EntryCollector::WholeBank()
                                                    : EntryCollector::Entries(part.entries)));
}

void TfrmMain::SafetyCollected(const DumpKind& kind) {
  const std::shared_ptr<EntryCollector> collected = std::move(collector_);
  collecting_ = nullptr;
  SafetyCopy& copy = *safety_;
  const std::vector<std::size_t> missing = collected->Missing();
  if (!missing.empty()) {
    return Fail(" No copy of " + copy.Label() + " kept: dump " + std::to_string(missing.front()) +
                " did not arrive" + kNothingSent);
  }
  for (const std::size_t n : copy.Current().entries)
    copy.Take(ByteView(BankBuffer[n].data(), kind.dumpSize), n);
  if (copy.NextPart()) return KeepNextPart();
  if (!dumpListener_ || !copy.Store(*dumpListener_)) {
    return Fail(" No copy of what this replaces could be kept in the Library" +
                std::string(kNothingSent));
  }
  const std::function<void()> send = copy.TakeSend();
  replacing_ = std::move(safety_);
  Progress.reset();
  send();
}

void TfrmMain::KeepInHandThenSend(const DumpKind& kind, int bank, const std::string& note,
                                  std::function<void()> send) {
  if (!dumpListener_) {
    SetStatus(" No copy of what this replaces could be kept (no Library)" +
              std::string(kNothingSent));
    return;
  }
  auto copy = std::make_shared<SafetyCopy>(std::vector<ReplacedPlaces>{{&kind, bank, AllEntries()}},
                                           note, std::move(send));
  for (std::size_t n = 0; n < kBankEntries; ++n)
    copy->Take(ByteView(BankBuffer[n].data(), kind.dumpSize), n);
  if (!copy->Store(*dumpListener_)) {
    SetStatus(" No copy of what this replaces could be kept in the Library" +
              std::string(kNothingSent));
    return;
  }
  const std::function<void()> go = copy->TakeSend();
  replacing_ = std::move(copy);
  go();
}

void TfrmMain::NoteReplaced(const DumpKind& kind, int bank, int entry) {
  if (replacing_) replacing_->Sent(kind, bank, entry);
}

void TfrmMain::KeepWhatWasReplaced() {
  const std::shared_ptr<SafetyCopy> copy = std::move(replacing_);
  if (copy && dumpListener_ && !copy->KeepSent(*dumpListener_)) libraryMissed_ = true;
}

void TfrmMain::PutBack(std::vector<Bytes> dumps) {
  std::map<std::pair<const DumpKind*, int>, std::vector<std::size_t>> places;
  std::vector<PacedMessage> messages;
  for (Bytes& dump : dumps) {
    const DumpKind* kind = FramedDumpKind(dump);
    if (!kind) throw std::invalid_argument("Put Back: not a Program or Mix dump");
    places[{kind, dump[6]}].push_back(dump[7]);
    const std::string caption = EntryCaption(dump[7], DumpName(*kind, dump));
    messages.push_back({std::move(dump), caption});
  }
  std::vector<ReplacedPlaces> parts;
  for (auto& [place, entries] : places) {
    std::sort(entries.begin(), entries.end());
    entries.erase(std::unique(entries.begin(), entries.end()), entries.end());
    parts.push_back({place.first, place.second, entries});
  }
  const std::size_t count = messages.size();
  KeepThenSend(std::move(parts), true, "Put Back",
               [this, count, m = std::move(messages)]() mutable {
                 SendPaced(std::move(m), " Putting back...",
                           " " + std::to_string(count) + (count == 1 ? " dump" : " dumps") +
                               " put back on Andromeda");
               });
}

}  // namespace quorle
