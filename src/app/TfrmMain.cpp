#include "app/TfrmMain.h"

#include <exception>

#include "help/HelpViewer.h"

namespace quorle {

TfrmMain::TfrmMain(FormHost& host, MidiService& service, MidiDispatcher& dispatcher,
                   std::filesystem::path appFolder)
    : MidiIn(service, dispatcher), MidiOut(service, dispatcher), host_(host) {
  std::string folder = appFolder.string();
  if (folder.empty() || folder.back() != std::filesystem::path::preferred_separator) {
    folder += std::filesystem::path::preferred_separator;
  }
  AppFolder = folder;
  // The input port as the window keeps it: four buffers of 4096 bytes, SysEx only.
  MidiIn.SetSysexBufferSize(4096);
  MidiIn.SetSysexBufferCount(4);
  MidiIn.SetSysexOnly(true);
}

TfrmMain::~TfrmMain() {
  // Handlers point back at this window; none may run once it is gone.
  MidiIn.SetOnMidiInput(nullptr);
}

void TfrmMain::FormCreate() {
  CreateHelpHook();
  InitMidiControls();
  ReadRegistry();

  // A stored device that no longer exists leaves both ports closed rather than talking to a
  // device the user did not choose.
  if (!startupError_) {
    MidiIn.Open();
    Guarded([&] { MidiIn.Start(); });
    InputOpen = true;
    OutputOpen = MidiOut.Open();
  }

  SetFieldFromProgram(spCountText, MidiIn.SysexBufferCount(), kMinBufferCount, kMaxBufferCount,
                      &TfrmMain::spCountChange);
  SetFieldFromProgram(spSizeText, MidiIn.SysexBufferSize(), kMinBufferSize, kMaxBufferSize,
                      &TfrmMain::spSizeChange);

  const int position = std::clamp(SendDelay, 0, kMaxSendDelay);
  if (position != tbSendDelayPosition) {
    tbSendDelayPosition = position;
    tbSendDelayChange();
  }
  lblSendDelayCaption = std::to_string(SendDelay) + " ms ";

  ProgramNumber = 0;
  ProgramBank = 0;
  MixNumber = 0;
  MixBank = 0;
  FillAboutPage();

  // A stored page that does not exist opens the Setup page, as a first start does.
  if (ActivePage < 0 || ActivePage >= kPageCount) ActivePage = 1;
  TabsHelpContext = 1000 + ActivePage;
  BankNames.emplace();
  host_.StateChanged();

  if (startupError_) {
    host_.ShowMessage(MessageIcon::Error, *startupError_);
    startupError_.reset();
  }
}

void TfrmMain::FormClose() {
  BankNames.reset();
  WriteRegistry();
  if (InputOpen) Guarded([&] { MidiIn.Close(); });
  if (OutputOpen) {
    Guarded([&] { MidiOut.Close(); });
    OutputOpen = false;
  }
  MidiIn.SetOnMidiInput(nullptr);
  HelpHook.reset();
  if (HelpViewer* viewer = host_.Help()) viewer->CloseAll();
}

void TfrmMain::Guarded(const std::function<void()>& operation) {
  try {
    operation();
  } catch (const std::exception& e) {
    // An interrupted exchange must not leave the window locked with no way out.
    Enable();
    host_.ShowMessage(MessageIcon::Error, e.what());
  }
}

void TfrmMain::Enable() {
  controlsEnabled_ = true;
  host_.StateChanged();
}

void TfrmMain::Disable() {
  controlsEnabled_ = false;
  host_.StateChanged();
}

void TfrmMain::SetStatus(const std::string& text) {
  statusText_ = text;
  host_.StatusChanged(text);
}

std::string TfrmMain::UnknownMessageText(std::size_t length) {
  return " unknown Midi message [" + std::to_string(length) + " bytes]";
}

void TfrmMain::InstallReplyHandler(ReplyHandler handler) {
  MidiIn.SetOnMidiInput(
      [this, handler](TMidiInput& port) { Guarded([&] { (this->*handler)(port); }); });
}

void TfrmMain::SendRequest(Bytes message, ReplyHandler handler, bool lock) {
  OutMessage = std::move(message);
  InstallReplyHandler(handler);
  if (!OutputOpen) return;
  if (lock) Disable();
  MidiOut.SendLong(OutMessage);
}

void TfrmMain::UserSelectsPage(int index) {
  if (index < 0 || index >= kPageCount) return;
  ActivePage = index;
  TabsHelpContext = 1000 + index;
  host_.StateChanged();
}

}  // namespace quorle
