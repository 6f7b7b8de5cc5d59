// Get and send a whole Program or Mix bank: the main window's operations written once over the two
// dump descriptors. ProgramBankTransfer.cpp and MixBankTransfer.cpp hold the named entry points.
#include <algorithm>
#include <cstdio>

#include "app/FileAccess.h"
#include "app/TfrmMain.h"
#include "dialogs/TdlgSendBank.h"
#include "dialogs/TdlgSendMixBank.h"
#include "dialogs/TfrmSplitBank.h"
#include "dialogs/TfrmSplitMixBank.h"
#include "protocol/BankName.h"
#include "protocol/DumpName.h"
#include "protocol/SysexFile.h"
#include "transfers/BankCommon.h"
#include "transfers/EntryCollector.h"
#include "transfers/SafetyCopy.h"
#include "transfers/SendVerification.h"

namespace quorle {

std::string& TfrmMain::BankFolderFor(const DumpKind& kind) {
  return IsProgram(kind) ? BankPath : MixBankPath;
}

void TfrmMain::GetBankClick(const DumpKind& kind, int tag) {
  if (!ChooseBankToFetch(kind)) return;
  if (tag == 0) {
    DumpMode = kDumpSave;
    SendBankRequest(kind);
  } else {
    IsProgram(kind) ? SplitProgramBank() : SplitMixBank();
  }
}

bool TfrmMain::ChooseBankToFetch(const DumpKind& kind) {
  bool confirmed;
  if (IsProgram(kind)) {
    TfrmSplitBank dialog(*this);
    confirmed = host_.ShowModal(dialog) == ModalResult::OK && dialog.OkEnabled();
    if (confirmed) dialog.btnOKClick();
  } else {
    TfrmSplitMixBank dialog(*this);
    confirmed = host_.ShowModal(dialog) == ModalResult::OK && dialog.OkEnabled();
    if (confirmed) dialog.btnOKClick();
  }
  return confirmed && IsBankNumber(kind, SelectedBank(kind));
}

void TfrmMain::SendBankRequest(const DumpKind& kind) {
  const int bank = SelectedBank(kind);
  const std::string proposed = (IsProgram(kind) ? "Bank" : "MixBank") + std::to_string(bank);
  const auto path = ChooseFile(FileChoice::Mode::Save, BankFolderFor(kind), proposed);
  if (!path) return;
  // The file is written once, when the whole bank is in: until then an existing file stays.
  CurrentFileName = *path;
  StartBankFetch(kind);
}

void TfrmMain::StartBankFetch(const DumpKind& kind) {
  if (!OutputReady()) return;
  Disable();
  SetStatus(DumpMode == kDumpSplit
                ? (IsProgram(kind) ? " Splitting Program Bank..." : " Splitting Mix Bank...")
                : (IsProgram(kind) ? " Receiving Program Bank..." : " Receiving Mix Bank..."));
  Progress = std::make_unique<TfrmProgress>(host_);
  Progress->SetCaption("");
  Progress->Show();
  BeginCollect(kind, SelectedBank(kind),
               std::make_shared<EntryCollector>(EntryCollector::WholeBank()));
}

void TfrmMain::BeginCollect(const DumpKind& kind, int bank,
                            std::shared_ptr<EntryCollector> collector) {
  collecting_ = &kind;
  collectBank_ = bank;
  collector_ = std::move(collector);
  inputLossesAtStart_ = MidiIn.InputLosses();
  ReceivedCount = 0;
  BankNames.emplace(kBankEntries);
  gaveUp_ = GaveUp::No;
  CollectNext(kind, collector_->Start());
}

void TfrmMain::Ask(Bytes message, ReplyHandler handler) {
  StopWatching();
  OutMessage = std::move(message);
  InstallReplyHandler(handler);
  Send(OutMessage);
}

void TfrmMain::ArmCollectTimer() {
  if (collectTimer_ != 0) dispatcher_.StopTimer(collectTimer_);
  collectTimer_ = 0;
  // Once a bank run has begun, a second of silence ends it: a dump takes well under a second.
  double seconds = ReplyTimeout;
  if (collector_->AskingBank() && collector_->Heard()) {
    seconds = ReplyTimeout > 0 ? std::min(ReplyTimeout, 1.0) : 1.0;
  }
  if (seconds <= 0) return;
  collectTimer_ = dispatcher_.StartTimer(
      std::chrono::milliseconds(static_cast<long long>(seconds * 1000)), [this] {
        collectTimer_ = 0;
        Guarded([&] {
          if (collecting_) CollectNext(*collecting_, collector_->Silence());
        });
      });
}

void TfrmMain::CollectNext(const DumpKind& kind, CollectStep step) {
  const EntryCollector& c = *collector_;
  const ReplyHandler handler = IsProgram(kind) ? &TfrmMain::RecBankDump : &TfrmMain::RecMixBankDump;
  const auto bank = static_cast<std::uint8_t>(collectBank_);
  switch (step) {
    case CollectStep::Wait:
      // The time-out of a bank run counts from the instrument's latest message.
      if (c.AskingBank()) ArmCollectTimer();
      return;
    case CollectStep::AskBank:
      Ask(BankDumpRequest(kind, bank), handler);
      ArmCollectTimer();
      return;
    case CollectStep::AskEntry: {
      // A read-back or a copy asks entry by entry from the start: that is no second try.
      std::string caption =
          CollectCaption(kind, c.Entry(), verify_ || safety_ ? "reading" : "fetching again");
      if (c.Try() > 1) caption += " (try " + std::to_string(c.Try()) + " of 3)";
      if (Progress) Progress->SetCaption(caption + (overall_ ? overall_->Text() : ""));
      Ask(DumpRequest(kind, bank, static_cast<std::uint8_t>(c.Entry())), handler);
      ArmCollectTimer();
      return;
    }
    case CollectStep::Done:
      if (collectTimer_ != 0) dispatcher_.StopTimer(collectTimer_);
      collectTimer_ = 0;
      Collected(kind);
      return;
    case CollectStep::NoReply:
      GiveUp(GaveUp::NoReply);
      return;
    case CollectStep::Damaged: {
      if (safety_) {
        Fail(" No copy of " + safety_->Label() + " kept: dump " + std::to_string(c.Entry()) +
             " arrived damaged three times: nothing was sent");
        return;
      }
      const char* verb = DumpMode == kDumpSplit        ? " not split: dump "
                         : DumpMode == kDumpRenameBank ? " not renamed: dump "
                                                       : " not saved: dump ";
      Fail(" " + std::string(kind.name) + " Bank" + verb + std::to_string(c.Entry()) +
           " arrived damaged three times");
      return;
    }
  }
}

void TfrmMain::Fail(const std::string& status) {
  EndExchange();
  // Whatever is still on its way belongs to nothing now.
  InstallReplyHandler(&TfrmMain::IgnoreReply);
  PassOverLeftovers();
  Enable();
  SetStatus(status);
}

std::string TfrmMain::FetchedAgainText() const {
  const std::size_t again = collector_ ? collector_->FetchedAgain() : 0;
  const std::size_t losses = MidiIn.InputLosses() - inputLossesAtStart_;
  std::string text;
  if (losses > 0) {
    text = "input overflowed " + (losses == 1   ? std::string("once")
                                  : losses == 2 ? std::string("twice")
                                                : std::to_string(losses) + " times");
  }
  if (again > 0) {
    if (!text.empty()) text += "; ";
    text += std::to_string(again) + (again == 1 ? " dump" : " dumps") + " fetched again";
  }
  return text.empty() ? "" : " (" + text + ")";
}

void TfrmMain::RecBank(const DumpKind& kind, TMidiInput& port) {
  const auto event = Fetch(port);
  if (!event) return;
  // Only the bank asked for is collected; with no bank under way a dump has nowhere to go.
  if (collecting_ != &kind || !collector_) return;
  EntryCollector& c = *collector_;

  const ByteView message(event->SysexData.data(), event->SysexSize);
  // A dump counts only by its own entry byte, in the bank asked for: a stray, echoed, foreign or
  // damaged message would otherwise shift or replace entries of the file. A second copy of an
  // entry is passed over, so what is held never changes.
  const bool sound = message.size() == kind.dumpSize && CheckDumpFraming(kind, message) &&
                     message[6] == collectBank_;
  bool filled = false;
  CollectStep step = sound ? c.Took(message[7], filled) : CollectStep::Wait;
  if (!filled) {
    SayUnknown(message);
    if (IsDamagedDump(kind, message)) step = c.Damaged();
    return CollectNext(kind, step);
  }

  const std::size_t n = message[7];
  std::copy(message.begin(), message.end(), BankBuffer[n].begin());
  // A safety copy is recorded as replaced, once the whole of it is in.
  if (!safety_) ReportFetched(kind, message, message[6], message[7]);
  const std::string name = DumpName(kind, message);
  (*BankNames)[n] = name;
  ReceivedCount = static_cast<int>(c.HeldCount());
  ShowStep(CollectCaption(kind, n, name), ReceivedCount - 1, kind.dumpSize);
  if (DumpMode == kDumpSplit && !backup_ && !verify_ && !safety_) WriteSplitFile(kind, message, n);
  if (backup_) BackupBankDump(kind, n);
  CollectNext(kind, step);
}

std::string TfrmMain::PassName(const DumpKind& kind, int bank) const {
  std::string what = BankName(kind, bank);
  if (verify_ && !verify_->WholeBank() && verify_->Pending().size() == 1)
    what = EntryName(kind, verify_->Pending().front());
  if (verify_) return "Verifying " + what;
  if (safety_) return "Keeping a copy of " + safety_->Label();
  return {};
}

std::string TfrmMain::CollectCaption(const DumpKind& kind, std::size_t n,
                                     const std::string& text) const {
  const std::string pass = PassName(kind, collectBank_);
  // A lone dump has no place among 127 to show: the pass says it all.
  const bool lone = (verify_ && !verify_->WholeBank() && verify_->Pending().size() == 1) ||
                    (safety_ && safety_->Current().entries.size() == 1);
  if (lone) return pass + "...";
  return pass.empty() ? EntryCaption(n, text) : pass + ":" + EntryCaption(n, text);
}

void TfrmMain::ReportBankFetched(const DumpKind& kind, int bank) {
  if (!dumpListener_ || !LibraryCapture) return;
  std::vector<DumpListener::Replaced> entries;
  entries.reserve(BankBuffer.size());
  for (std::size_t i = 0; i < BankBuffer.size(); ++i)
    entries.push_back(
        {&kind, ByteView(BankBuffer[i]).first(kind.dumpSize), bank, static_cast<int>(i)});
  if (!dumpListener_->BankFetched(entries)) libraryMissed_ = true;
}

void TfrmMain::Collected(const DumpKind& kind) {
  if (safety_) return SafetyCollected(kind);
  // A bank read whole is how the instrument held it at that moment; a read-back after a send
  // asks only for what it must, so it is no such sighting.
  if (!verify_ && collector_ && collector_->HeldCount() == kBankEntries)
    ReportBankFetched(kind, collectBank_);
  if (verify_) return VerifyCollected(kind);
  if (backup_) return BackupBankWhole(kind);
  const std::string again = FetchedAgainText();
  EndExchange();
  Enable();
  if (DumpMode == kDumpSplit) {
    SetStatus(again.empty() ? " " : " " + again.substr(2, again.size() - 3));
    return;
  }
  if (DumpMode != kDumpSave) return BankCollected(kind);
  Bytes file;
  file.reserve(kBankEntries * kind.dumpSize);
  for (const auto& slot : BankBuffer)
    file.insert(file.end(), slot.begin(), slot.begin() + kind.dumpSize);
  WriteFileOrThrow(CurrentFileName, file);
  if (dumpListener_) dumpListener_->FileWritten(CurrentFileName);
  SetStatus((IsProgram(kind) ? "Bank \"" : "Mix Bank \"") + FileNameOf(CurrentFileName) +
            "\" saved to disk" + again);
}

std::optional<Bytes> TfrmMain::OpenBankFile(const DumpKind& kind) {
  const auto path = ChooseFile(FileChoice::Mode::Open, BankFolderFor(kind));
  if (!path) return std::nullopt;
  CurrentFileName = *path;
  Bytes content = ReadFileOrThrow(*path);
  if (!IsSoundBank(kind, content)) {
    host_.ShowMessage(MessageIcon::Error, FileNameOf(*path) + BankRefusal(kind));
    return std::nullopt;
  }
  return content;
}

void TfrmMain::SendBankFileClick(const DumpKind& kind) {
  const auto file = OpenBankFile(kind);
  if (!file) return;
  SendBankInHand(kind, *file, " " + FileNameOf(CurrentFileName));
}

void TfrmMain::SendBankInHand(const DumpKind& kind, ByteView content, const std::string& what,
                              const BankSendCheck& mayGo) {
  bool confirmed;
  if (IsProgram(kind)) {
    TdlgSendBank dialog(*this);
    confirmed = host_.ShowModal(dialog) == ModalResult::OK && dialog.OkEnabled();
    if (confirmed) dialog.BitBtn1Click();
  } else {
    TdlgSendMixBank dialog(*this);
    confirmed = host_.ShowModal(dialog) == ModalResult::OK && dialog.OkEnabled();
    if (confirmed) dialog.btnOKClick();
  }
  if (!confirmed) return;
  if (!OutputReady()) return;
  const int onCard = IsProgram(kind) ? ProgramBanksOnCard : MixBanksOnCard;
  if (const auto refusal = NotOnCardRefusal(kind, SelectedBank(kind), onCard)) {
    return SetStatus(*refusal);
  }
  if (mayGo && !mayGo(SelectedBank(kind))) return;

  const auto bank = static_cast<std::uint8_t>(SelectedBank(kind));
  std::vector<PacedMessage> messages;
  messages.reserve(kBankEntries);
  for (std::size_t i = 0; i < kBankEntries; ++i) {
    const ByteView record = ByteView(content).subspan(i * kind.dumpSize, kind.dumpSize);
    PacedMessage m{Bytes(record.begin(), record.end()), {}};
    m.bytes[6] = bank;
    m.caption = EntryCaption(i, DumpName(kind, record));
    messages.push_back(std::move(m));
  }
  const std::string status = IsProgram(kind) ? " Sending Program Bank..." : " Sending Mix Bank...";
  // The note names what replaced the bank: the file, or the dump the window sent.
  const std::string note = what.substr(what.find_first_not_of(' '));
  KeepThenSend({{&kind, bank, AllEntries()}}, KeepReplaced, note,
               [this, status, what, m = std::move(messages)]() mutable {
                 const std::string done = what + " sent to Andromeda";
                 SendVerified(Verify, std::move(m), status, done, done + " and verified",
                              what + " not verified");
               });
}

}  // namespace quorle
