#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "app/FormHost.h"
#include "app/TMainState.h"
#include "app/TVersionInfo.h"
#include "dialogs/TfrmProgress.h"
#include "help/THookHelpSystem.h"
#include "midi/MidiDispatcher.h"
#include "midi/TMidiInput.h"
#include "midi/TMidiOutput.h"
#include "protocol/BackupManifest.h"
#include "protocol/MessageSet.h"

namespace quorle {

class MidiService;

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
  // Unlocks the window when a reply handler ends, however it ends (a file error included).
  struct EnableOnExit {
    TfrmMain& form;
    // A send still under way keeps the lock until it has left the port.
    ~EnableOnExit() {
      if (!form.sendingStatus_) form.Enable();
    }
  };

  // Ends the exchange under way, if any: no more collecting or sending, the progress window gone.
  // The lock is the caller's.
  void EndExchange();
  // What the status bar says when an operation needs the instrument and no output port is open.
  static constexpr const char* kNoOutputText = " The MIDI output port is not open";

  // Giving up an exchange: the progress window closes, nothing partial is kept, the window
  // unlocks, and whatever the instrument still sends is freed unread.
  enum class GaveUp { No, NoReply, Cancelled, SendFailed };
  // At the user's word (Escape, or Cancel on the progress window); only while the window is locked.
  void CancelExchange();
  // How the last exchange was given up; No once a new one starts.
  GaveUp LastGaveUp() const { return gaveUp_; }
  static constexpr const char* kNoReplyText = " No reply from the Andromeda";
  static constexpr const char* kCancelledText = " Transfer cancelled";
  // The MIDI system refused a message the exchange sent (its words go to the MIDI log).
  static constexpr const char* kSendFailedText = " The MIDI output port could not send the message";
  // A received message found no room in the input port's buffers and was lost.
  static constexpr const char* kBuffersFullText = " SysEx buffers full: a message was lost";

  void SetStatus(const std::string& text);
  const std::string& StatusText() const { return statusText_; }
  static std::string UnknownMessageText(std::size_t length);

  // The request slot: the operation that reads the next received message.
  using ReplyHandler = void (TfrmMain::*)(TMidiInput& port);
  void InstallReplyHandler(ReplyHandler handler);
  // The request routine: OutMessage := message, handler into the slot, and only while the output
  // port is open, lock (when the exchange locks) and send.
  void SendRequest(Bytes message, ReplyHandler handler, bool lock);
  // Whether a dump carries the bank (and, for a single request, the entry) that OutMessage asked
  // for: a reply to an earlier request, given up on, must not pass for the answer to this one.
  bool AnswersRequest(ByteView dump, bool entryToo) const;

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

  // Single objects: one Program, one Mix, the Global Data.
  void btnGetProgramClick();
  void btnSendProgramClick();
  void btnRenameProgramClick();
  void SendProgramDumpRequest();
  void RecProgramDump(TMidiInput& port);
  void btnGetMixClick();
  void btnSendMixClick();
  void btnRenameMixClick();
  void btnInitMixClick();
  void SendMixDumpRequest();
  void RecMixDump(TMidiInput& port);
  void btnGetGlobalClick();
  void btnSendGlobalClick();
  void RecGlobalDump(TMidiInput& port);

  // Whole banks. The fetch buttons share their handler with the split buttons: tag 0 fetches.
  void btnGetBankClick(int tag = 0);
  void btnSendBankClick();
  void SendBankDumpRequest();
  void RecBankDump(TMidiInput& port);
  void btnGetMixBankClick(int tag = 0);
  void btnSendMixBankClick();
  void SendMixBankDumpRequest();
  void RecMixBankDump(TMidiInput& port);
  // Frees a received message unread: what arrives while nothing is asked for.
  void IgnoreReply(TMidiInput& port);

  // Bank rename through the grid of 128 names, and bank split into 128 files (the split buttons
  // are the fetch buttons' tag 1).
  void btnRenameProgBankClick();
  void btnRenameMixBankClick();
  void HandleBankRename();
  void HandleMixBankRename();
  void SplitProgramBank();
  void SplitMixBank();

  // The whole instrument at once. Backup fetches the Global Data, the User and card banks (and
  // with cbBackupPresetsChecked the presets) into a new folder with a manifest; Restore checks
  // such a folder whole, then sends it back. Both chain the exchanges above.
  void btnBackupClick();
  void btnRestoreClick();
  void Backup(const std::string& folder);
  enum class RestoreParts { All, Programs, Mixes, Global };
  void Restore(const std::string& folder, RestoreParts parts = RestoreParts::All);
  void RecBackupIdentity(TMidiInput& port);
  void RecCardProbe(TMidiInput& port);
  bool cbBackupPresetsChecked = false;

  // Settings file "quorle.ini" beside the program file.
  void ReadRegistry();
  void WriteRegistry();
  std::filesystem::path SettingsPath() const;

  // About page, filled at start from the program's version block.
  void FillAboutPage();
  TVersionInfo VersionInfo;
  std::string lblDescriptionCaption, lblVersionCaption, lblCopyrightCaption;

  // Context help. The help key names the controls from the focused one outwards; the nearest one
  // with a help context gives the topic.
  int HelpContextOf(const std::vector<std::string>& controls) const;
  void HelpRequested(const std::vector<std::string>& controls, THookHelpSystem::Point where);
  std::unique_ptr<THookHelpSystem> HelpHook;
  static constexpr int kWindowHelpContext = 1005;

  TMidiInput MidiIn;
  TMidiOutput MidiOut;

  // Work buffers of the transfers.
  std::array<std::uint8_t, kMaxDumpSize> ProgramDump{}, MixDump{}, PackedData{}, UnpackedData{};
  std::array<std::uint8_t, kGlobalDumpSize> GlobalDump{};
  std::unique_ptr<TfrmProgress> Progress;
  // The bank in hand: slot i holds dump i as received or read; a Mix fills the first 1180 bytes.
  std::vector<std::array<std::uint8_t, kMaxDumpSize>> BankBuffer;

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
  void CreateHelpHook();
  // The value a number field's text stands for: its minimum when it is not a whole number.
  static int FieldValue(const std::string& text, int minimum);
  void SetFieldFromProgram(std::string& text, int value, int minimum, int maximum,
                           void (TfrmMain::*change)());
  // Closes the input port while set changes one of its properties, then opens it again.
  void ReopenInput(const std::function<void()>& set);
  // The single-object transfers, written once over the Program and Mix descriptors.
  void GetDumpClick(const DumpKind& kind, bool rename);
  void SendDumpRequest(const DumpKind& kind);
  void RecDump(const DumpKind& kind, TMidiInput& port);
  void SendDumpFileClick(const DumpKind& kind);
  int& SelectedBank(const DumpKind& kind);
  int& SelectedNumber(const DumpKind& kind);
  std::string& FolderFor(const DumpKind& kind);
  std::span<std::uint8_t> DumpBuffer(const DumpKind& kind);
  // Locks, hands one message to the output port and, once it has left, unlocks and shows status;
  // only while the port is open.
  void SendMessage(ByteView message, const std::string& status);
  // The status of the single message SendMessage is sending, until it has left the port.
  std::optional<std::string> sendingStatus_;
  // The file the user picks, remembering its folder in folder; nothing when cancelled.
  std::optional<std::string> ChooseFile(FileChoice::Mode mode, std::string& folder,
                                        const std::string& fileName = {});
  // Bytes received of the Global Data so far.
  std::size_t globalReceived_ = 0;

  // Whole banks, written once over the Program and Mix descriptors.
  void GetBankClick(const DumpKind& kind, int tag);
  void SendBankRequest(const DumpKind& kind);
  // Locks, shows the progress window and asks for the bank; the collector takes it from there.
  void StartBankFetch(const DumpKind& kind);
  void RecBank(const DumpKind& kind, TMidiInput& port);
  void SendBankFileClick(const DumpKind& kind);
  // The bank file the user picks, when all its records are sound dumps at their own places;
  // otherwise the refusal box, and nothing.
  std::optional<Bytes> OpenBankFile(const DumpKind& kind);
  std::string& BankFolderFor(const DumpKind& kind);
  // The kind whose bank is being collected; nullptr while none is.
  const DumpKind* collecting_ = nullptr;
  // Bank rename and split, written once over the Program and Mix descriptors.
  void RenameBankClick(const DumpKind& kind);
  // The grid over the bank in hand; on OK, the second half of the rename.
  void RenameBankInHand(const DumpKind& kind);
  void HandleRename(const DumpKind& kind);
  void SplitBank(const DumpKind& kind);
  void WriteSplitFile(const DumpKind& kind, ByteView dump, std::size_t n);
  // The whole bank is in and the window unlocked: what a rename or split does with it.
  void BankCollected(const DumpKind& kind);

  // A send of many messages, each after the last has left the output port and SendDelay more.
  struct PacedMessage {
    Bytes bytes;
    std::string caption;  // the progress window's while it goes out
  };
  void SendPaced(std::vector<PacedMessage> messages, const std::string& status,
                 std::string doneStatus);
  void SendNextPaced();
  void OutputDone();
  // A message of the exchange under way did not leave the output port: the exchange ends.
  void SendFailed();
  // What the MIDI system said goes to the trace, when the trace is on.
  void TraceMidiLog();
  struct PacedSend {
    std::vector<PacedMessage> messages;
    std::size_t sent = 0;
    std::string doneStatus;
    MidiDispatcher::TimerId pause = 0;
  };
  std::optional<PacedSend> pacedSend_;

  // A backup or restore under way: what it has learned and what is left to do.
  struct BackupRun {
    bool restoring = false;
    std::filesystem::path folder;  // the backup's own
    std::filesystem::path temp;    // a backup is written here until every file is in
    bool withPresets = false;
    std::vector<BackupFile> files;  // a backup's, in fetch order
    std::size_t next = 0;           // the file being fetched
    BackupManifest manifest;
    const DumpKind* probing = nullptr;  // the card bank 1 asked for, while waiting for it
    MidiDispatcher::TimerId probeTimer = 0;
    std::size_t bytesTotal = 0, bytesDone = 0;
    std::chrono::steady_clock::time_point started;
    RestoreParts parts = RestoreParts::All;
    std::vector<std::pair<BackupFile, Bytes>> verified;  // a restore's files, checked
  };
  std::optional<BackupRun> backup_;
  void ProbeCard(const DumpKind& kind);
  void CardProbed(bool answered);
  void BackupStart();
  void BackupNext();
  // Called by the collectors for each dump or piece a backup receives.
  void BackupReceived(std::size_t bytes, const std::string& entry);
  void BackupBankDump(const DumpKind& kind);
  void BackupGlobalWhole();
  void BackupFinish();
  void BackupSave(const BackupFile& file, ByteView content, std::vector<std::string> names);
  void RestoreProbed();
  // Removes what an unfinished backup wrote; part of ending any exchange.
  void AbandonBackup();

  // The reply watch: armed while an exchange waits for the instrument, re-armed by every message.
  void WatchReply();
  void StopWatching();
  void GiveUp(GaveUp why);
  bool awaiting_ = false;
  MidiDispatcher::TimerId watchdog_ = 0;
  GaveUp gaveUp_ = GaveUp::No;

  FormHost& host_;
  MidiDispatcher& dispatcher_;
  bool controlsEnabled_ = true;
  std::string statusText_;
  // The first error met while applying stored settings, shown once when start-up is over.
  std::optional<std::string> startupError_;
};

}  // namespace quorle
