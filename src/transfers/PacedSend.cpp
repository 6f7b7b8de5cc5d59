// Sends of many messages (a bank, a renamed bank): each goes out once the one before has left the
// output port and SendDelay milliseconds have passed, so the pause is a real gap on the cable.
#include "app/TfrmMain.h"

namespace quorle {

void TfrmMain::SendPaced(std::vector<PacedMessage> messages, const std::string& status,
                         std::string doneStatus) {
  Disable();
  SetStatus(status);
  Progress = std::make_unique<TfrmProgress>(host_);
  Progress->SetCaption("");
  Progress->Show();
  // Nothing is asked of the instrument meanwhile: whatever it says is not read.
  InstallReplyHandler(&TfrmMain::IgnoreReply);
  pacedSend_ = PacedSend{std::move(messages), 0, std::move(doneStatus), 0};
  SendNextPaced();
}

void TfrmMain::SendNextPaced() {
  PacedSend& send = *pacedSend_;
  send.pause = 0;
  const PacedMessage& m = send.messages[send.sent];
  MidiOut.SendLong(m.bytes);
  Progress->SetCaption(m.caption);
  Progress->SetPosition(static_cast<int>(send.sent));
  ++send.sent;
}

void TfrmMain::OutputDone() {
  if (!pacedSend_ || pacedSend_->pause != 0 || MidiOut.MessagesInFlight() > 0) return;
  if (pacedSend_->sent < pacedSend_->messages.size()) {
    pacedSend_->pause = dispatcher_.StartTimer(std::chrono::milliseconds(SendDelay),
                                               [this] { Guarded([&] { SendNextPaced(); }); });
    return;
  }
  const std::string done = std::move(pacedSend_->doneStatus);
  EndExchange();
  Enable();
  SetStatus(done);
}

}  // namespace quorle
