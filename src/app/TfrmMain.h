#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/FormHost.h"
#include "app/TMainState.h"
#include "midi/TMidiInput.h"
#include "midi/TMidiOutput.h"
#include "protocol/MessageSet.h"

namespace quorle {

class MidiService;
class MidiDispatcher;

// The main window: all state every transfer shares, the control lock, the request slot, start
// and close, the settings and the Setup page. Toolkit-free; what it shows goes through FormHost.
// The transfers are defined in the files of their subsystems.
class TfrmMain : public TMainState {
 public:
  // appFolder: the folder of the program file, where the settings file lives.
  TfrmMain(FormHost& host, MidiService& service, MidiDispatcher& dispatcher,
           std::filesystem::path appFolder);
  ~TfrmMain();
  TfrmMain(const TfrmMain&) = delete;
  TfrmMain& operator=(const TfrmMain&) = delete;

  // Start-up and close sequences of the window.
  void FormCreate();
  void FormClose();

  // Runs one operation started by the user or by a received message, as the application's
  // top-level handler would: an error is shown in a box and the window is unlocked again.
  void Guarded(const std::function<void()>& operation);

  // The control lock. It does not count: one Enable undoes any number of Disable calls.
  void Enable();
  void Disable();
  bool ControlsEnabled() const { return controlsEnabled_; }

  void SetStatus(const std::string& text);
  const std::string& StatusText() const { return statusText_; }
  static std::string UnknownMessageText(std::size_t length);

  // The request slot: the operation that reads the next received message.
  using ReplyHandler = void (TfrmMain::*)(TMidiInput& port);
  void InstallReplyHandler(ReplyHandler handler);
  // The request routine: OutMessage := message, handler into the slot, and only while the output
  // port is open, lock (when the exchange locks) and send.
  void SendRequest(Bytes message, ReplyHandler handler, bool lock);

  // Setup page.
  void InitMidiControls();
  void cbxInChange();
  void cbxOutChange();
  void tbSendDelayChange();
  void spCountChange();
  void spSizeChange();
  void btnCheckClick();
  void RecDeviceInfo(TMidiInput& port);

  // What the user does on the Setup page: each sets the control, then runs its change operation.
  void UserSelectsInput(int index);
  void UserSelectsOutput(int index);
  void UserMovesSendDelay(int position);
  void UserTypesBufferCount(const std::string& text);
  void UserTypesBufferSize(const std::string& text);
  void UserLeavesBufferCount();
  void UserLeavesBufferSize();
  void UserSelectsPage(int index);

  // Settings file "quorle.ini" beside the program file.
  void ReadRegistry();
  void WriteRegistry();
  std::filesystem::path SettingsPath() const;

  TMidiInput MidiIn;
  TMidiOutput MidiOut;

  // Setup page controls, as the views show them.
  std::vector<std::string> cbxInItems, cbxOutItems;
  int cbxInIndex = -1;
  int cbxOutIndex = -1;
  int tbSendDelayPosition = 10;
  std::string lblSendDelayCaption = "00 ms";
  std::string spCountText = "16";
  std::string spSizeText = "4096";
  int ActivePage = 1;
  int TabsHelpContext = 1000;

  static constexpr int kMinBufferCount = 4, kMaxBufferCount = 128;
  static constexpr int kMinBufferSize = 4096, kMaxBufferSize = 16384;
  static constexpr int kMaxSendDelay = 200;
  static constexpr int kPageCount = 5;

 private:
  // The value a number field's text stands for: its minimum when it is not a whole number.
  static int FieldValue(const std::string& text, int minimum);
  void SetFieldFromProgram(std::string& text, int value, int minimum, int maximum,
                           void (TfrmMain::*change)());
  void ShowPortError(const std::string& text);

  FormHost& host_;
  bool controlsEnabled_ = true;
  std::string statusText_;
  // The first error met while applying stored settings, shown once when start-up is over.
  std::optional<std::string> startupError_;
};

}  // namespace quorle
