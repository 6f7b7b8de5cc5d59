// Receive and Send Global Data. The dump is opaque: collected, stored and sent unchanged.
#include <algorithm>
#include <system_error>

#include "app/FileAccess.h"
#include "app/TfrmMain.h"
#include "protocol/SysexFile.h"
#include "transfers/TimeText.h"

namespace quorle {

namespace fs = std::filesystem;

namespace {
constexpr const char* kKeepingGlobalText = "Keeping a copy of the Global Data...";
}

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
    } else if (overall_ && Progress) {
      ShowStep(kKeepingGlobalText, 0, piece.size());
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

  if (overall_) overall_->Add(piece.size());
  Progress.reset();
  globalReceived_ = 0;
  if (globalSend_) return KeepGlobalThenSend();
  const EnableOnExit unlock{*this};
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
  SendGlobalKeepingCopy(Bytes(content.begin(), content.begin() + kGlobalDumpSize),
                        FileNameOf(*path));
}

fs::path TfrmMain::GlobalCopyFolder() const {
  return DataFolder / kGlobalCopyFolder;
}

fs::path TfrmMain::NextGlobalCopy() const {
  fs::path copy = GlobalCopyFolder() / ("Global Data before send " + Now("%Y-%m-%d %H%M%S"));
  std::error_code ec;
  for (int n = 2; fs::exists(copy.string() + ".syx", ec); ++n) {
    copy = copy.parent_path() / (copy.filename().string() + " (" + std::to_string(n) + ")");
  }
  copy += ".syx";
  return copy;
}

void TfrmMain::SendGlobalKeepingCopy(Bytes dump, const std::string& name) {
  if (!OutputReady(false)) return;
  // Named now, so the question can say where the settings it replaces will be.
  const fs::path copy = NextGlobalCopy();
  if (!host_.Confirm(
          "Send \"" + name +
          "\" to the Andromeda? It replaces every Global Data setting (the system "
          "settings) at once.\n\nThe settings on the Andromeda now are first kept in:\n" +
          copy.string() + "\n\nTo put them back, send that file with Send Global Data.")) {
    return;
  }
  KeepGlobal(GlobalSend{std::move(dump), " " + name + " sent to Andromeda", copy, nullptr});
}

void TfrmMain::KeepGlobal(GlobalSend send) {
  globalSend_ = std::move(send);
  SendRequest(GlobalDumpRequest(), &TfrmMain::RecGlobalDump, true);
  ReceivedCount = 0;
  globalReceived_ = 0;
  SetStatus(std::string(" ") + kKeepingGlobalText);
  ShowPassProgress();
  Progress->SetCaption(kKeepingGlobalText);
}

void TfrmMain::KeepGlobalThenSend() {
  const GlobalSend send = std::move(*globalSend_);
  globalSend_.reset();
  // What the send replaces is on disk before a byte of it goes out, or nothing goes.
  try {
    std::error_code ec;
    fs::create_directories(send.copy.parent_path(), ec);
    if (ec) throw FileError(send.copy.parent_path().string() + ": " + ec.message());
    WriteFileOrThrow(send.copy.string(), GlobalDump);
  } catch (const FileError& e) {
    return Fail(" No copy of the Global Data kept (" + std::string(e.what()) +
                "): nothing was sent");
  }
  if (send.then) return send.then();
  std::copy(send.dump.begin(), send.dump.end(), GlobalDump.begin());
  SendMessage(GlobalDump, send.status);
}

}  // namespace quorle
