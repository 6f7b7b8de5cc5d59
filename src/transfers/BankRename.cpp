// Rename a whole Program or Mix bank through the grid of its 128 names: the bank comes from the
// instrument or a bank file, and goes to a bank of the instrument or a file. Written once over the
// two dump descriptors; ProgramBankEdit.cpp and MixBankEdit.cpp hold the named entry points.
#include "app/FileAccess.h"
#include "app/TfrmMain.h"
#include "dialogs/TfrmList.h"
#include "dialogs/TfrmSelBank.h"
#include "protocol/DumpName.h"
#include "protocol/SysexFile.h"
#include "transfers/BankCommon.h"

namespace quorle {

void TfrmMain::RenameBankClick(const DumpKind& kind) {
  fetchedForRename_.reset();
  TfrmSelBank dialog(*this, kind, TfrmSelBank::Question::Source);
  if (host_.ShowModal(dialog) != ModalResult::OK) return;
  if (!dialog.DiskChosen()) {
    if (!dialog.OkEnabled()) return;
    dialog.btnOKClick();
    if (!IsBankNumber(kind, SelectedBank(kind))) return;
    DumpMode = kDumpRenameBank;
    StartBankFetch(kind);
    return;
  }

  const auto content = OpenBankFile(kind);
  if (!content) return;
  BankNames.emplace();
  for (std::size_t i = 0; i < kBankEntries; ++i) {
    const ByteView record = ByteView(*content).subspan(i * kind.dumpSize, kind.dumpSize);
    std::copy(record.begin(), record.end(), BankBuffer[i].begin());
    BankNames->push_back(DumpName(kind, record));
  }
  RenameBankInHand(kind);
}

void TfrmMain::RenameBankInHand(const DumpKind& kind) {
  TfrmList grid(*this);
  if (!IsProgram(kind)) grid.Caption = "Rename Mix Bank";
  if (host_.ShowModal(grid) != ModalResult::OK) return;
  grid.btnOKClick();
  IsProgram(kind) ? HandleBankRename() : HandleMixBankRename();
}

void TfrmMain::HandleRename(const DumpKind& kind) {
  // Asked before the dialog, which turns the bank into -1 when the bank goes to disk.
  const int inHand = SelectedBank(kind);
  const std::string proposed =
      inHand < 0 ? FileNameOf(CurrentFileName)
                 : (IsProgram(kind) ? "Bank" : "MixBank") + std::to_string(inHand);

  TfrmSelBank dialog(*this, kind, TfrmSelBank::Question::Target);
  // The edited names can still be saved.
  if (!OutputReady()) dialog.OnlyDisk();
  if (host_.ShowModal(dialog) != ModalResult::OK) return;
  if (!dialog.DiskChosen()) {
    if (!dialog.OkEnabled()) return;
    dialog.btnOKClick();
  }

  // An entry nobody renamed goes out byte for byte, whatever its name holds.
  std::vector<Bytes> dumps;
  for (std::size_t i = 0; i < kBankEntries; ++i) {
    const ByteView slot(BankBuffer[i].data(), kind.dumpSize);
    const std::string& name = (*BankNames)[i];
    dumps.push_back(name == DumpName(kind, slot) ? Bytes(slot.begin(), slot.end())
                                                 : RenameDump(kind, slot, name));
  }

  if (dialog.DiskChosen()) {
    const auto path = ChooseFile(FileChoice::Mode::Save, BankFolderFor(kind), proposed);
    if (!path) return;
    CurrentFileName = *path;
    Bytes file;
    file.reserve(kBankEntries * kind.dumpSize);
    for (const Bytes& dump : dumps) file.insert(file.end(), dump.begin(), dump.end());
    WriteFileOrThrow(*path, file);
    if (dumpListener_) dumpListener_->FileWritten(*path);
    SetStatus(" File '" + FileNameOf(*path) + "' saved to disk");
    return;
  }

  if (!CanSend() || !IsBankNumber(kind, SelectedBank(kind))) return;
  const int onCard = IsProgram(kind) ? ProgramBanksOnCard : MixBanksOnCard;
  if (const auto refusal = NotOnCardRefusal(kind, SelectedBank(kind), onCard)) {
    return SetStatus(*refusal);
  }
  const auto bank = static_cast<std::uint8_t>(SelectedBank(kind));
  // The grid's own fetch is the copy when the send goes back where it came from and nothing
  // reached the instrument since; otherwise what is there now is fetched.
  const bool copyInHand = fetchedForRename_ && fetchedForRename_->kind == &kind &&
                          fetchedForRename_->bank == bank && fetchedForRename_->sends == sends_;
  fetchedForRename_.reset();
  std::vector<PacedMessage> messages;
  messages.reserve(kBankEntries);
  for (std::size_t i = 0; i < kBankEntries; ++i) {
    PacedMessage m{std::move(dumps[i]), EntryCaption(i, (*BankNames)[i])};
    AddressDump(m.bytes, bank, static_cast<std::uint8_t>(i));
    messages.push_back(std::move(m));
  }
  auto send = [this, &kind, m = std::move(messages)]() mutable {
    const std::string status =
        IsProgram(kind) ? " Sending Program Bank..." : " Sending Mix Bank...";
    const std::string done =
        IsProgram(kind) ? " Renamed bank sent to Andromeda" : " Renamed mix bank sent to Andromeda";
    SendVerified(Verify, std::move(m), status, done, done + " and verified",
                 IsProgram(kind) ? " Renamed bank not verified" : " Renamed mix bank not verified");
  };
  const std::string note = IsProgram(kind) ? "Rename Program Bank" : "Rename Mix Bank";
  if (KeepReplaced && copyInHand) return KeepInHandThenSend(kind, bank, note, std::move(send));
  KeepThenSend({{&kind, bank, AllEntries()}}, KeepReplaced, note, std::move(send));
}

void TfrmMain::BankCollected(const DumpKind& kind) {
  if (DumpMode == kDumpRenameBank) {
    fetchedForRename_ = FetchedForRename{&kind, SelectedBank(kind), sends_};
    // The bank is in: "Receiving..." would stay beside the grid and after it.
    SetStatus(" ");
    RenameBankInHand(kind);
  } else if (DumpMode == kDumpDeliver) {
    DeliverBank(kind);
  }
}

}  // namespace quorle
