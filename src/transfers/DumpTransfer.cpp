// Get, send and rename one Program or Mix: the main window's operations written once over the
// two dump descriptors. ProgramTransfer.cpp and MixTransfer.cpp hold the named entry points.
#include <algorithm>

#include "app/FileAccess.h"
#include "app/TfrmMain.h"
#include "dialogs/TdlgSendMix.h"
#include "dialogs/TdlgSendProgram.h"
#include "dialogs/TfrmSelMix.h"
#include "dialogs/TfrmSelProgram.h"
#include "dialogs/TfrmSetName.h"
#include "protocol/DumpName.h"
#include "protocol/FileNames.h"
#include "protocol/Pack.h"
#include "protocol/SysexFile.h"
#include "transfers/BankCommon.h"
#include "transfers/EntryCollector.h"

namespace quorle {

int& TfrmMain::SelectedBank(const DumpKind& kind) {
  return IsProgram(kind) ? ProgramBank : MixBank;
}

int& TfrmMain::SelectedNumber(const DumpKind& kind) {
  return IsProgram(kind) ? ProgramNumber : MixNumber;
}

std::string& TfrmMain::FolderFor(const DumpKind& kind) {
  return IsProgram(kind) ? ProgramPath : MixPath;
}

std::span<std::uint8_t> TfrmMain::DumpBuffer(const DumpKind& kind) {
  return std::span<std::uint8_t>(IsProgram(kind) ? ProgramDump : MixDump).first(kind.dumpSize);
}

void TfrmMain::SendMessage(ByteView message, const std::string& status) {
  if (!OutputReady(false)) return;
  Disable();
  singleSend_ = SingleSend{Bytes(message.begin(), message.end()), status};
  Send(message);
}

std::optional<std::string> TfrmMain::ChooseFile(FileChoice::Mode mode, std::string& folder,
                                                const std::string& fileName) {
  const auto path = host_.ChooseFile({mode, folder, fileName});
  if (path) folder = FolderOf(*path);
  return path;
}

void TfrmMain::GetDumpClick(const DumpKind& kind, bool rename) {
  std::unique_ptr<BankChooser> dialog;
  std::function<void()> ok;
  if (IsProgram(kind)) {
    auto select = std::make_unique<TfrmSelProgram>(*this);
    ok = [d = select.get()] { d->btnOKClick(); };
    dialog = std::move(select);
  } else {
    auto select = std::make_unique<TfrmSelMix>(*this);
    ok = [d = select.get()] { d->BitBtn1Click(); };
    dialog = std::move(select);
  }
  if (rename) dialog->DisablePresets();
  const bool confirmed = host_.ShowModal(*dialog) == ModalResult::OK && dialog->OkEnabled();
  if (confirmed) ok();
  DumpMode = !rename ? kDumpSave : IsProgram(kind) ? kDumpRenameProgram : kDumpRenameMix;
  if (confirmed) SendDumpRequest(kind);
}

void TfrmMain::SendDumpRequest(const DumpKind& kind) {
  // Counts the tries of a damaged answer; silence still ends the wait as it does.
  collector_ = std::make_shared<EntryCollector>(
      EntryCollector::Entries({static_cast<std::size_t>(SelectedNumber(kind))}));
  collector_->Start();
  SendRequest(DumpRequest(kind, static_cast<std::uint8_t>(SelectedBank(kind)),
                          static_cast<std::uint8_t>(SelectedNumber(kind))),
              IsProgram(kind) ? &TfrmMain::RecProgramDump : &TfrmMain::RecMixDump, true);
}

void TfrmMain::RecDump(const DumpKind& kind, TMidiInput& port) {
  const auto event = Fetch(port);
  if (!event) return;
  // A dump of another entry (late, from a request given up on, or the rest of a cancelled bank)
  // is passed over quietly and the wait goes on: saved or renamed it would land where the user
  // did not point, and it says nothing about the answer awaited.
  const ByteView received(event->SysexData.data(), event->SysexSize);
  if (received.size() == kind.dumpSize && CheckDumpHeader(received, kind.opcode) &&
      !AnswersRequest(received, true)) {
    return;
  }
  // So is a leftover of the other kind, from an exchange given up on.
  if (const DumpKind* other = FramedDumpKind(received);
      other && other->opcode != kind.opcode && Leftover(received)) {
    return;
  }
  // A damaged answer is asked for again, as a bank's missing entry is.
  if (collector_ && IsDamagedDump(kind, received)) {
    SetStatus(UnknownMessageText(received.size()));
    if (collector_->Damaged() == CollectStep::AskEntry) {
      SendRequest(Bytes(OutMessage),
                  IsProgram(kind) ? &TfrmMain::RecProgramDump : &TfrmMain::RecMixDump, true);
      return;
    }
    Fail(DamagedThriceText(kind));
    return;
  }
  collector_.reset();
  const EnableOnExit unlock{*this};

  if (event->SysexSize != kind.dumpSize) {
    SetStatus(UnknownMessageText(event->SysexSize));
    return;
  }
  SetStatus("");
  const ByteView message(event->SysexData.data(), event->SysexSize);
  if (!CheckDumpHeader(message, kind.opcode)) return;

  const std::span<std::uint8_t> dump = DumpBuffer(kind);
  std::copy(message.begin(), message.end(), dump.begin());
  ReportFetched(kind, message, message[6], message[7]);
  std::copy_n(message.begin() + kPayloadOffset, kind.packedSize, PackedData.begin());
  Unpack(std::span<const std::uint8_t>(PackedData).first(kind.packedSize), UnpackedData,
         kind.packedSize);
  const std::string name = ReadName(UnpackedData);
  CurrentFileName = ProposedFileName(name);

  if (kind.IsCardBank(SelectedBank(kind))) {
    // A card holds at most 14 banks; a larger count would offer bank numbers that are no MIDI
    // data bytes.
    ProgramBanksOnCard = std::min<int>(UnpackedData[kind.cardProgramBanksOffset], 14);
    MixBanksOnCard = std::min<int>(UnpackedData[kind.cardMixBanksOffset], 14);
  }

  if (DumpMode == kDumpSave) {
    const auto path = ChooseFile(FileChoice::Mode::Save, FolderFor(kind), CurrentFileName);
    if (!path) return;
    CurrentFileName = *path;
    WriteFileOrThrow(*path, dump);
    if (dumpListener_) dumpListener_->FileWritten(*path);
    SetStatus(" " + FileNameOf(*path) + " saved to disk");
  } else if (DumpMode == (IsProgram(kind) ? kDumpRenameProgram : kDumpRenameMix)) {
    TfrmSetName dialog;
    if (!IsProgram(kind)) dialog.Caption = "Rename Mix";
    dialog.SetName(name);
    if (host_.ShowModal(dialog) != ModalResult::OK) return;
    const std::string typed = dialog.eName;
    WriteName(UnpackedData, PadName(typed));
    Pack(std::span<const std::uint8_t>(UnpackedData).first(kind.dataSize), PackedData,
         kind.dataSize);
    std::copy_n(PackedData.begin(), kind.packedSize, dump.begin() + kPayloadOffset);
    AddressDump(dump, static_cast<std::uint8_t>(SelectedBank(kind)),
                static_cast<std::uint8_t>(SelectedNumber(kind)));
    // The fetch the rename began with is the copy of what it replaces.
    if (!dumpListener_ || !dumpListener_->KeepReplaced(kind, message, message[6], message[7],
                                                       "Rename " + std::string(kind.name))) {
      SetStatus(" No copy of the " + std::string(kind.name) +
                " could be kept in the Library: nothing was sent");
      return;
    }
    SendMessage(dump, std::string(kind.name) + " \"" + typed + "\" sent to Andromeda");
  }
}

std::string TfrmMain::DamagedThriceText(const DumpKind& kind) const {
  return " " + std::string(kind.name) + (DumpMode == kDumpSave ? " not saved" : " not renamed") +
         ": dump " + std::to_string(collector_->Entry()) + " arrived damaged three times";
}

bool TfrmMain::AskAgainAfterSilence() {
  // Only a single request waits without a bank collection; a bank times its own waits.
  if (!collector_ || collecting_ || OutMessage.size() < 6) return false;
  const DumpKind& kind = OutMessage[5] == kProgramKind.requestOpcode ? kProgramKind : kMixKind;
  switch (collector_->Silence()) {
    case CollectStep::AskEntry:
      SendRequest(Bytes(OutMessage),
                  IsProgram(kind) ? &TfrmMain::RecProgramDump : &TfrmMain::RecMixDump, true);
      return true;
    case CollectStep::Damaged:
      Fail(DamagedThriceText(kind));
      return true;
    default:
      collector_.reset();
      return false;
  }
}

void TfrmMain::SendDumpFileClick(const DumpKind& kind) {
  const auto path = ChooseFile(FileChoice::Mode::Open, FolderFor(kind));
  if (!path) return;
  CurrentFileName = *path;
  const Bytes content = ReadFileOrThrow(*path);
  const FileKind fileKind = IsProgram(kind) ? FileKind::Program : FileKind::Mix;
  // A damaged dump is refused like a file of the wrong size: on the wire it could hang the
  // instrument.
  if (!AcceptsFileSize(fileKind, content.size()) ||
      !CheckDumpFraming(kind, ByteView(content).first(kind.dumpSize))) {
    host_.ShowMessage(MessageIcon::Error, FileNameOf(*path) + " is not a" +
                                              (IsProgram(kind) ? " Program" : " Mix") + " Dump");
    return;
  }
  std::copy_n(content.begin(), kind.dumpSize, DumpBuffer(kind).begin());
  SendDumpInHand(kind, " " + FileNameOf(*path));
}

void TfrmMain::SendDumpInHand(const DumpKind& kind, const std::string& what) {
  const std::span<std::uint8_t> dump = DumpBuffer(kind);
  SelectedBank(kind) = dump[6];
  SelectedNumber(kind) = dump[7];

  // The dialog names what goes: the dump by its name, and the file it came from.
  std::string name = DumpName(kind, dump);
  name.erase(name.find_last_not_of(' ') + 1);
  std::string subject = std::string(kind.name) + " \"" + name + "\"";
  if (what != " " + subject) subject += " (" + what.substr(what.find_first_not_of(' ')) + ")";
  bool confirmed;
  if (IsProgram(kind)) {
    TdlgSendProgram dialog(*this);
    dialog.Subject = subject;
    confirmed = host_.ShowModal(dialog) == ModalResult::OK && dialog.OkEnabled();
    if (confirmed) dialog.btnOKClick();
  } else {
    TdlgSendMix dialog(*this);
    dialog.Subject = subject;
    confirmed = host_.ShowModal(dialog) == ModalResult::OK && dialog.OkEnabled();
    if (confirmed) dialog.btnOKClick();
  }
  if (!confirmed) return;
  AddressDump(dump, static_cast<std::uint8_t>(SelectedBank(kind)),
              static_cast<std::uint8_t>(SelectedNumber(kind)));
  const std::string note = what.substr(what.find_first_not_of(' '));
  KeepThenSend({{&kind, dump[6], {dump[7]}}}, true, note, [this, &kind, dump, what] {
    SendAddressedDump(kind, dump, what + " sent to Andromeda", what + " not verified");
  });
}

void TfrmMain::SendAddressedDump(const DumpKind& kind, ByteView dump, const std::string& done,
                                 const std::string& notVerified) {
  if (!Verify || !CanSend()) return SendMessage(dump, done);
  std::vector<PacedMessage> message{
      {Bytes(dump.begin(), dump.end()), EntryName(kind, dump[7]) + " - " + DumpName(kind, dump)}};
  SendVerified(true, std::move(message),
               IsProgram(kind) ? " Sending Program..." : " Sending Mix...", done,
               done + " and verified", notVerified);
}

}  // namespace quorle
