// Get, Send and Rename Program: the entry points of the Program page's upper buttons.
#include "app/TfrmMain.h"

namespace quorle {

void TfrmMain::btnGetProgramClick() {
  GetDumpClick(kProgramKind, false);
}
void TfrmMain::btnRenameProgramClick() {
  GetDumpClick(kProgramKind, true);
}
void TfrmMain::btnSendProgramClick() {
  SendDumpFileClick(kProgramKind);
}
void TfrmMain::SendProgramDumpRequest() {
  SendDumpRequest(kProgramKind);
}
void TfrmMain::RecProgramDump(TMidiInput& port) {
  RecDump(kProgramKind, port);
}

}  // namespace quorle
