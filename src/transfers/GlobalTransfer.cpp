// Receive and Send Global Data. The dump is opaque: collected, stored and sent unchanged.
#include <algorithm>

#include "app/FileAccess.h"
#include "app/TfrmMain.h"
#include "protocol/SysexFile.h"

namespace quorle {

void TfrmMain::btnGetGlobalClick() {
  SendRequest(GlobalDumpRequest(), &TfrmMain::RecGlobalDump, true);
  if (!CanSend()) return;
  // No reply is handled before this handler returns, so counting may start after the send.
  ReceivedCount = 0;
  globalReceived_ = 0;
  Progress = std::make_unique<TfrmProgress>(host_);
  Progress->SetCaption("Receiving Global Data...");
  Progress->Show();
}

void TfrmMain::RecGlobalDump(TMidiInput& port) {
  const auto event = Fetch(port);
  if (!event) return;
  const ByteView piece(event->SysexData.data(), event->SysexSize);
  if (piece.empty()) return;

  // The dump arrives in pieces of the receive buffer size, the last one shorter and ending in F7.
  // Pieces are placed by their actual lengths, so any buffer size completes the dump. A piece
  // that starts a message begins it again; one that cannot belong to it is dropped.
  if (piece.front() == kSysexStart) globalReceived_ = 0;
  const std::size_t end = globalReceived_ + piece.size();
  const bool full = piece.size() == MidiIn.SysexBufferSize() && end < kGlobalDumpSize;
  const bool last = piece.back() == kSysexEnd && end == kGlobalDumpSize;
  const bool starts = globalReceived_ > 0 || piece.front() == kSysexStart;
  if (!starts || (!full && !last)) return;

  std::copy(piece.begin(), piece.end(),
            GlobalDump.begin() + static_cast<std::ptrdiff_t>(globalReceived_));
  globalReceived_ = end;
  if (full) {
    ++ReceivedCount;
    if (backup_) {
      BackupReceived(piece.size(), "");
    } else if (Progress) {
      Progress->SetPosition(static_cast<int>(globalReceived_ * 32 / 4096));
    }
    return;
  }
  if (backup_) {
    BackupReceived(piece.size(), "");
    BackupGlobalWhole();
    return;
  }

  Progress.reset();
  const EnableOnExit unlock{*this};
  globalReceived_ = 0;
  const auto path = ChooseFile(FileChoice::Mode::Save, GlobalPath, "Global");
  if (!path) return;
  CurrentFileName = *path;
  WriteFileOrThrow(*path, GlobalDump);
  SetStatus(" " + FileNameOf(*path) + " saved to disk");
}

void TfrmMain::btnSendGlobalClick() {
  const auto path = ChooseFile(FileChoice::Mode::Open, GlobalPath);
  if (!path) return;
  CurrentFileName = *path;
  const Bytes content = ReadFileOrThrow(*path);
  if (!AcceptsFileSize(FileKind::Global, content.size()) ||
      !CheckGlobalFraming(ByteView(content).first(kGlobalDumpSize))) {
    host_.ShowMessage(MessageIcon::Error, FileNameOf(*path) + " is not a Global Data Dump");
    return;
  }
  std::copy_n(content.begin(), kGlobalDumpSize, GlobalDump.begin());
  SendMessage(GlobalDump, " " + FileNameOf(*path) + " sent to Andromeda");
}

}  // namespace quorle
