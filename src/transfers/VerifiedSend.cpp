// Verified sends: once a bank, a restore or a single dump has gone out, what the instrument now
// holds is read back and compared; what did not take goes again, singly and slower.
#include <map>

#include "app/TfrmMain.h"
#include "protocol/BankName.h"
#include "protocol/DumpName.h"
#include "transfers/BankCommon.h"
#include "transfers/EntryCollector.h"
#include "transfers/SendVerification.h"

namespace quorle {

void TfrmMain::SendVerified(bool verify, std::vector<PacedMessage> messages,
                            const std::string& status, std::string done,
                            const std::string& verifiedDone, const std::string& failStatus) {
  if (!verify) return SendPaced(std::move(messages), status, std::move(done));
  std::map<std::pair<int, int>, SendVerification::Part> parts;  // by kind, then bank
  for (const PacedMessage& m : messages) {
    const DumpKind* kind = FramedDumpKind(m.bytes);
    if (!kind) continue;
    SendVerification::Part& part = parts[{IsProgram(*kind) ? 0 : 1, m.bytes[6]}];
    part.kind = kind;
    part.bank = m.bytes[6];
    part.sent[m.bytes[7]] = m.bytes;
  }
  std::vector<SendVerification::Part> list;
  for (auto& [key, part] : parts) {
    // Only a send of several banks names the bank of what did not take.
    if (parts.size() > 1) part.label = BankName(*part.kind, part.bank);
    list.push_back(std::move(part));
  }
  // Nothing to read back (the Global Data alone): a plain send, and said as one.
  if (list.empty()) return SendPaced(std::move(messages), status, std::move(done));
  verify_ =
      std::make_shared<SendVerification>(std::move(list), SendDelay, verifiedDone, failStatus);
  SendPaced(std::move(messages), status, "");
}

void TfrmMain::VerifyPart() {
  const SendVerification::Part& part = verify_->Current();
  SetStatus(" " + PassName(*part.kind, part.bank) + "...");
  if (!Progress) ShowPassProgress();
  auto collector = std::make_shared<EntryCollector>(
      verify_->WholeBank() ? EntryCollector::WholeBank()
                           : EntryCollector::Entries(verify_->Pending()));
  // An entry that keeps coming back damaged is sent again like one that did not take.
  collector->keepGoingWhenDamaged = true;
  BeginCollect(*part.kind, part.bank, std::move(collector));
}

void TfrmMain::VerifyCollected(const DumpKind& kind) {
  SendVerification& v = *verify_;
  const std::shared_ptr<EntryCollector> collected = std::move(collector_);
  collecting_ = nullptr;
  const std::vector<std::size_t> failed = v.Compare([&](std::size_t n) {
    return collected->Held(n) ? ByteView(BankBuffer[n].data(), kind.dumpSize) : ByteView();
  });
  if (v.NextRound(failed)) {
    // Each is sent and read back once more.
    if (overall_) overall_->Grow(2 * failed.size() * kind.dumpSize);
    std::vector<PacedMessage> again;
    for (const std::size_t n : failed) {
      const Bytes& dump = v.Current().sent.at(n);
      again.push_back({dump, EntryCaption(n, DumpName(kind, dump)) + " - sending again"});
    }
    SendPaced(std::move(again),
              " Sending " + std::to_string(failed.size()) + " dumps again, " +
                  std::to_string(v.Pause()) + " ms apart...",
              "", v.Pause(), true);
    return;
  }
  if (v.NextPart()) return VerifyPart();
  const std::string status = v.Status();
  EndExchange();
  Enable();
  SetStatus(status);
}

}  // namespace quorle
