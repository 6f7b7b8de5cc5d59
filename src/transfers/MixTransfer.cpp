// Get, Send, Rename and Initialize Mix: the entry points of the Mix page's upper buttons.
#include "app/FileAccess.h"
#include "app/InstallLayout.h"
#include "app/TfrmMain.h"
#include "dialogs/TdlgSendMix.h"
#include "protocol/DumpName.h"
#include "protocol/SysexFile.h"

namespace quorle {

void TfrmMain::btnGetMixClick() {
  GetDumpClick(kMixKind, false);
}
void TfrmMain::btnRenameMixClick() {
  GetDumpClick(kMixKind, true);
}
void TfrmMain::btnSendMixClick() {
  SendDumpFileClick(kMixKind);
}
void TfrmMain::SendMixDumpRequest() {
  SendDumpRequest(kMixKind);
}
void TfrmMain::RecMixDump(TMidiInput& port) {
  RecDump(kMixKind, port);
}

void TfrmMain::btnInitMixClick() {
  const std::string path = FindDataFile(AppFolder, "Default Mix.syx").string();
  const std::string reinstall = "Please replace or re-install this file";
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) {
    host_.ShowMessage(MessageIcon::Error, path + " is missing.\n" + reinstall);
    return;
  }
  const Bytes content = ReadFileOrThrow(path);
  if (!AcceptsFileSize(FileKind::Mix, content.size()) ||
      !CheckDumpFraming(kMixKind, ByteView(content).first(kMixKind.dumpSize))) {
    host_.ShowMessage(MessageIcon::Error, "File " + path + " has been damaged.\n" + reinstall);
    return;
  }
  std::copy_n(content.begin(), kMixKind.dumpSize, MixDump.begin());

  TdlgSendMix dialog(*this);
  dialog.Caption = "Initialize Mix";
  if (host_.ShowModal(dialog) != ModalResult::OK || !dialog.OkEnabled()) return;
  dialog.btnOKClick();
  const std::span<std::uint8_t> dump = DumpBuffer(kMixKind);
  AddressDump(dump, static_cast<std::uint8_t>(MixBank), static_cast<std::uint8_t>(MixNumber));
  KeepThenSend({{&kMixKind, MixBank, {static_cast<std::size_t>(MixNumber)}}}, true, "Default Mix",
               [this, dump] {
                 SendAddressedDump(kMixKind, dump, "Default Mix sent to Andromeda",
                                   " Default Mix not verified");
               });
}

}  // namespace quorle
