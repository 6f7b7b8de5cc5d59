// Sends of many messages (a bank, a renamed bank): each goes out once the one before has left the
// output port and SendDelay milliseconds have passed, so the pause is a real gap on the cable. A
// message the port could not send ends the exchange, single sends included: only a message that
// left is reported sent.
#include <algorithm>
#include <cstdio>
#include <map>

#include "app/TfrmMain.h"
#include "protocol/BankName.h"

namespace quorle {

namespace {

// "000-037, 040": entries as runs.
std::string EntryRuns(const std::vector<int>& entries) {
  std::string text;
  for (std::size_t i = 0; i < entries.size();) {
    std::size_t j = i;
    while (j + 1 < entries.size() && entries[j + 1] == entries[j] + 1) ++j;
    char run[16];
    if (j == i) {
      std::snprintf(run, sizeof run, "%03d", entries[i]);
    } else {
      std::snprintf(run, sizeof run, "%03d-%03d", entries[i], entries[j]);
    }
    text += (text.empty() ? "" : ", ") + std::string(run);
    i = j + 1;
  }
  return text;
}

}  // namespace

std::string TfrmMain::CutShortText() const {
  if (!pacedSend_) return "";
  // Per bank, in the order the send went: what of it had left the port.
  struct Bank {
    std::string name;
    std::size_t total = 0;
    std::vector<int> sent;
  };
  std::vector<Bank> banks;
  std::map<std::pair<const DumpKind*, int>, std::size_t> index;
  for (std::size_t i = 0; i < pacedSend_->messages.size(); ++i) {
    const Bytes& m = pacedSend_->messages[i].bytes;
    const DumpKind* kind = FramedDumpKind(m);
    const auto key = std::pair{kind, kind ? int{m[6]} : -1};
    auto [at, added] = index.try_emplace(key, banks.size());
    if (added) banks.push_back({kind ? BankName(*kind, m[6]) : "Global Data", 0, {}});
    Bank& bank = banks[at->second];
    ++bank.total;
    if (i < pacedSend_->left) bank.sent.push_back(kind ? int{m[7]} : 0);
  }
  if (banks.size() == 1) {
    const Bank& bank = banks.front();
    if (bank.sent.empty()) return ": nothing was sent";
    if (bank.name == "Global Data") return ": the Global Data were sent";
    return ": entries " + EntryRuns(bank.sent) + " of " + bank.name + " were sent, the rest not";
  }
  // A restore: each bank whole, in part or not at all.
  std::string text;
  for (const Bank& bank : banks) {
    text += (text.empty() ? ": " : ", ") + bank.name;
    if (bank.sent.size() == bank.total) {
      text += " restored";
    } else if (bank.sent.empty()) {
      text += " not sent";
    } else {
      text += " restored in part (" + std::to_string(bank.sent.size()) + " of " +
              std::to_string(bank.total) + ")";
    }
  }
  return text;
}

void TfrmMain::SendPaced(std::vector<PacedMessage> messages, const std::string& status,
                         std::string doneStatus, int delay, bool pauseFirst) {
  Disable();
  SetStatus(status);
  ShowPassProgress();
  // Nothing is asked of the instrument meanwhile: whatever it says is not read.
  InstallReplyHandler(&TfrmMain::IgnoreReply);
  pacedSend_ =
      PacedSend{std::move(messages), 0, std::move(doneStatus), 0, delay < 0 ? SendDelay : delay};
  if (!pauseFirst) return SendNextPaced();
  pacedSend_->pause = dispatcher_.StartTimer(std::chrono::milliseconds(pacedSend_->delay),
                                             [this] { Guarded([&] { SendNextPaced(); }); });
}

void TfrmMain::SendNextPaced() {
  PacedSend& send = *pacedSend_;
  send.pause = 0;
  const PacedMessage& m = send.messages[send.sent];
  Send(m.bytes);
  const std::size_t last = std::max<std::size_t>(send.messages.size(), 2) - 1;
  ShowStep(m.caption, static_cast<int>(send.sent * TfrmProgress::kMax / last), m.bytes.size());
  ++send.sent;
}

void TfrmMain::ShowPassProgress() {
  Progress = std::make_unique<TfrmProgress>(host_);
  Progress->SetCaption("");
  if (overall_) Progress->SetPosition(overall_->Position());
  Progress->Show();
}

void TfrmMain::ShowStep(const std::string& caption, int position, std::size_t bytes) {
  if (overall_) {
    overall_->Add(bytes);
    Progress->SetCaption(caption + overall_->Text());
    Progress->SetPosition(overall_->Position());
    return;
  }
  Progress->SetCaption(caption);
  Progress->SetPosition(position);
}

void TfrmMain::OutputDone() {
  if (MidiOut.DoneResult() != MMSYSERR_NOERROR) {
    SendFailed();
    return;
  }
  if (singleSend_) {
    if (MidiOut.MessagesInFlight() > 0) return;
    // Only now is it sent.
    const SingleSend sent = std::move(*singleSend_);
    singleSend_.reset();
    ReportSent(sent.message);
    KeepWhatWasReplaced();
    Enable();
    SetStatus(sent.status);
    return;
  }
  if (!pacedSend_ || pacedSend_->pause != 0 || MidiOut.MessagesInFlight() > 0) return;
  // Only what has left the port is recorded as sent.
  while (pacedSend_->left < pacedSend_->sent)
    ReportSent(pacedSend_->messages[pacedSend_->left++].bytes);
  if (pacedSend_->sent < pacedSend_->messages.size()) {
    pacedSend_->pause = dispatcher_.StartTimer(std::chrono::milliseconds(pacedSend_->delay),
                                               [this] { Guarded([&] { SendNextPaced(); }); });
    return;
  }
  // A verified send reads back what it sent before it says anything, once the instrument has had
  // the pause after the last dump too.
  if (verify_) {
    pacedSend_->pause =
        dispatcher_.StartTimer(std::chrono::milliseconds(pacedSend_->delay), [this] {
          Guarded([&] {
            pacedSend_.reset();
            VerifyPart();
          });
        });
    return;
  }
  const std::string done = std::move(pacedSend_->doneStatus);
  EndExchange();
  Enable();
  SetStatus(done);
}

void TfrmMain::SendFailed() {
  TraceMidiSystemLog();
  // A message given up after its exchange ended (cancelled, timed out) changes nothing.
  if (ControlsEnabled() && !awaiting_ && !pacedSend_ && !singleSend_) return;
  GiveUp(GaveUp::SendFailed);
}

}  // namespace quorle
