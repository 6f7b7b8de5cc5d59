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
#include "protocol/DumpName.h"
#include "protocol/SysexFile.h"
#include "transfers/BankCommon.h"

namespace quorle {

std::string& TfrmMain::BankFolderFor(const DumpKind& kind) {
  return IsProgram(kind) ? BankPath : MixBankPath;
}

void TfrmMain::GetBankClick(const DumpKind& kind, int tag) {
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
  if (!confirmed || !IsBankNumber(kind, SelectedBank(kind))) return;
  if (tag == 0) {
    DumpMode = kDumpSave;
    SendBankRequest(kind);
  } else {
    IsProgram(kind) ? SplitProgramBank() : SplitMixBank();
  }
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
  if (!OutputOpen) {
    SetStatus(kNoOutputText);
    return;
  }
  Disable();
  ReceivedCount = 0;
  BankNames.emplace();
  collecting_ = &kind;
  SetStatus(DumpMode == kDumpSplit
                ? (IsProgram(kind) ? " Splitting Program Bank..." : " Splitting Mix Bank...")
                : (IsProgram(kind) ? " Receiving Program Bank..." : " Receiving Mix Bank..."));
  Progress = std::make_unique<TfrmProgress>(host_);
  Progress->SetCaption("");
  Progress->Show();
  SendRequest(BankDumpRequest(kind, static_cast<std::uint8_t>(SelectedBank(kind))),
              IsProgram(kind) ? &TfrmMain::RecBankDump : &TfrmMain::RecMixBankDump, true);
}

void TfrmMain::RecBank(const DumpKind& kind, TMidiInput& port) {
  const auto event = port.FetchEvent();
  if (!event) return;
  // Only the bank asked for is collected; a dump after the 128th, or with no bank under way,
  // has nowhere to go.
  if (collecting_ != &kind || ReceivedCount >= static_cast<int>(kBankEntries)) return;

  const ByteView message(event->SysexData.data(), event->SysexSize);
  const auto n = static_cast<std::size_t>(ReceivedCount);
  // A dump counts only at its own place in the bank asked for: a stray, echoed, repeated, late or
  // foreign message would otherwise shift or replace entries of the file.
  if (message.size() != kind.dumpSize || !CheckDumpFraming(kind, message) || message[7] != n ||
      !AnswersRequest(message, false)) {
    SetStatus(UnknownMessageText(message.size()));
    return;
  }

  Progress->SetPosition(static_cast<int>(n));
  std::copy(message.begin(), message.end(), BankBuffer[n].begin());
  ReportFetched(kind, message, message[6], message[7]);
  const std::string name = DumpName(kind, message);
  ReceivedCount = static_cast<int>(n + 1);
  Progress->SetCaption(EntryCaption(n, name));
  BankNames->push_back(name);
  if (DumpMode == kDumpSplit && !backup_) WriteSplitFile(kind, message, n);
  // A backup keeps each bank in its own folder and goes on to the next.
  if (backup_) {
    BackupBankDump(kind);
    return;
  }
  if (ReceivedCount < static_cast<int>(kBankEntries)) return;

  EndExchange();
  Enable();
  if (DumpMode != kDumpSave) return BankCollected(kind);
  Bytes file;
  file.reserve(kBankEntries * kind.dumpSize);
  for (const auto& slot : BankBuffer)
    file.insert(file.end(), slot.begin(), slot.begin() + kind.dumpSize);
  WriteFileOrThrow(CurrentFileName, file);
  SetStatus((IsProgram(kind) ? "Bank \"" : "Mix Bank \"") + FileNameOf(CurrentFileName) +
            "\" saved to disk");
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
  const Bytes& content = *file;

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
  if (!OutputOpen) {
    SetStatus(kNoOutputText);
    return;
  }

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
  SendPaced(std::move(messages),
            IsProgram(kind) ? " Sending Program Bank..." : " Sending Mix Bank...",
            " " + FileNameOf(CurrentFileName) + " sent to Andromeda");
}

}  // namespace quorle
