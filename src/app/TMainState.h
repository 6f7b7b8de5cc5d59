#pragma once

#include <optional>
#include <string>
#include <vector>

#include "protocol/MessageSet.h"

namespace quorle {

// The main window's state that every transfer and dialog shares. Dialogs read and write these
// fields only, so they need nothing else of the window.
struct TMainState {
  int ProgramBank = 0;  // -1: a Program bank read from a file
  int ProgramNumber = 0;
  int MixBank = 0;
  int MixNumber = 0;
  int ProgramBanksOnCard = -1;  // -1: not known
  int MixBanksOnCard = -1;
  int DumpMode = 0;  // what the installed reply handler does with what it receives
  bool InputOpen = false;
  bool OutputOpen = false;
  Bytes OutMessage;
  std::string CurrentFileName;
  // Last folders of the file dialogs.
  std::string ProgramPath, BankPath, MixPath, MixBankPath, GlobalPath;
  int SendDelay = 15;  // milliseconds after each message of a multi-message send
  // Seconds without any message from the instrument after which a waiting exchange gives up;
  // 0 waits as long as it takes.
  double ReplyTimeout = 10;
  // Whether what is fetched from and sent to the instrument is recorded in the Library.
  bool LibraryCapture = true;
  // Sends read back what they sent and send again what did not take.
  bool Verify = false;
  // Bank sends and restores first keep a copy of what they replace in the Library.
  bool KeepReplaced = true;
  std::string AppFolder;  // the program file's folder, ending with the separator
  std::string SplitFolder;
  int ReceivedCount = 0;
  std::optional<std::vector<std::string>> BankNames;

  static constexpr int kDumpSave = 0, kDumpRenameProgram = 1, kDumpRenameMix = 2,
                       kDumpRenameBank = 3, kDumpSplit = 4;
};

}  // namespace quorle
