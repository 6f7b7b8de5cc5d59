// Split a whole Program or Mix bank from the instrument into 128 files, one per entry, named by
// its number and name. The bank is collected as a fetched one is; each dump is written as it comes.
#include "app/FileAccess.h"
#include "app/TfrmMain.h"
#include "dialogs/TfrmPickDir.h"
#include "protocol/FileNames.h"

namespace quorle {

void TfrmMain::SplitBank(const DumpKind& kind) {
  // No folder is asked for what cannot be fetched.
  if (!OutputReady()) return;
  TfrmPickDir dialog(*this);
  if (host_.ShowModal(dialog) != ModalResult::OK) return;
  dialog.btnOKClick();
  DumpMode = kDumpSplit;
  StartBankFetch(kind);
}

void TfrmMain::WriteSplitFile(const DumpKind& kind, ByteView dump, std::size_t n) {
  const std::filesystem::path path = SplitFilePath(SplitFolder, kind, static_cast<int>(n), dump);
  CurrentFileName = path.string();
  SetStatus("Writing " + path.filename().string());
  try {
    WriteFileOrThrow(CurrentFileName, dump);
  } catch (const FileError&) {
    // The split ends here; the files written so far stay, and the rest of the bank is drained.
    SetStatus(" Bank split stopped: " + path.filename().string() + " was not written");
    throw;
  }
  if (dumpListener_) dumpListener_->FileWritten(path);
}

}  // namespace quorle
