#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "app/DumpListener.h"
#include "app/FormHost.h"
#include "app/TMainState.h"
#include "app/TVersionInfo.h"
#include "dialogs/RunProgress.h"
#include "dialogs/TfrmProgress.h"
#include "help/THookHelpSystem.h"
#include "midi/MidiDispatcher.h"
#include "midi/TMidiInput.h"
#include "midi/TMidiOutput.h"
#include "protocol/BackupManifest.h"
#include "protocol/MessageSet.h"

namespace quorle {

class MidiService;
class MidiLog;
// Defined in transfers/, which app/ does not include; the window holds them by shared pointer.
class EntryCollector;
class SendVerification;
class SafetyCopy;
enum class CollectStep : int;

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
  // Before the window closes: a transfer under way is stopped cleanly if the user agrees to
  // kCloseQuestion. False when the window is to stay open.
  bool FormCloseQuery();
  static constexpr const char* kCloseQuestion = "A transfer is under way. Stop it and quit?";

  // Runs one operation started by the user or by a received message, as the application's
  // top-level handler would: an error is shown in a box and the window is unlocked again.
  void Guarded(const std::function<void()>& operation);

  // The control lock. It does not count: one Enable undoes any number of Disable calls.
  void Enable();
  void Disable();
  bool ControlsEnabled() const { return controlsEnabled_; }
  // A connection check waits for its reply; the window stays unlocked, the front end shows a wait.
  bool Checking() const { return checking_; }
  static constexpr const char* kCheckingText = " Checking...";
  // Unlocks the window when a reply handler ends, however it ends (a file error included).
  struct EnableOnExit {
    TfrmMain& form;
    // A send still under way keeps the lock until it has left the port.
    ~EnableOnExit() {
      if (!form.singleSend_) form.Enable();
    }
  };

  // Ends the exchange under way, if any: no more collecting or sending, the progress window gone.
  // The lock is the caller's.
  void EndExchange();
  // What the status bar says when an operation needs the instrument and no output port is open.
  static constexpr const char* kNoOutputText = " The MIDI output port is not open";

  // Giving up an exchange: the progress window closes, nothing partial is kept, the window
  // unlocks, and whatever the instrument still sends is freed unread.
  enum class GaveUp { No, NoReply, Cancelled, NoOutput, SendFailed };
  // At the user's word (Escape, or Cancel on the progress window); only while the window is locked.
  void CancelExchange();
  // How the last exchange was given up; No once a new one starts.
  GaveUp LastGaveUp() const { return gaveUp_; }
  static constexpr const char* kNoReplyText = " No reply from the Andromeda";
  static constexpr const char* kCancelledText = " Transfer cancelled";
  // The output port never said a message had gone out.
  static constexpr const char* kNoOutputReplyText = " No reply from the MIDI output port";

  // Every message sent and received is written here when set (the front end owns it).
  MidiLog* Log = nullptr;
  // Hands one message to the output port, as every exchange does; watched until it has gone out.
  void Send(ByteView message);
  // Takes the oldest received message from the input port, as every reply handler does.
  std::unique_ptr<TMyMidiEvent> Fetch(TMidiInput& port);

  // The catalogue told of every dump fetched from and sent to the instrument; none when no front
  // end connected one. Capture (the setting) turns the reports off; a safety copy is never off.
  void SetDumpListener(DumpListener* listener) { dumpListener_ = listener; }
  static constexpr const char* kLibraryNotUpdatedText = " (the Library was not updated)";
  // The MIDI system refused a message the exchange sent (its words go to the MIDI log).
  static constexpr const char* kSendFailedText = " The MIDI output port could not send the message";
  // A received message found no room in the input port's buffers and was lost.
  static constexpr const char* kBuffersFullText = " SysEx buffers full: a message was lost";

  void SetStatus(const std::string& text);
  const std::string& StatusText() const { return statusText_; }
  static std::string UnknownMessageText(std::size_t length);
  // After an exchange is given up the instrument may still be sending what it was asked for (the
  // rest of a bank): until it has been silent for kLeftoverQuiet, a Program or Mix dump that no
  // exchange takes is passed over without a word (the MIDI log still has it).
  static constexpr std::chrono::milliseconds kLeftoverQuiet{2000};
  bool PassingOverLeftovers() const { return leftoverTimer_ != 0; }

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
  void EndCheck();
  std::string CheckFailedText(GaveUp why);

  // The devices the user chose, by name: a number names whatever port stands at that place
  // today. Empty for settings written before names were kept.
  std::string InputDeviceName, OutputDeviceName;
  // A device for this run only (the simulator of a rehearsal): both ports use it, whatever was
  // chosen before, and the stored choice is written back as it was.
  std::optional<std::string> SessionDevice;
  // " The MIDI device "X" is not connected": a chosen device that no port has; empty when none.
  std::string MissingDeviceText() const;
  // Before an exchange: each port is (re)opened on its chosen device wherever that now stands.
  // False when the output port cannot be used; the status then says why (the missing device, or
  // with sayNotOpen kNoOutputText).
  bool OutputReady(bool sayNotOpen = true);
  // Both ports are on their chosen devices and the output port is open.
  bool CanSend() const { return OutputOpen && MissingDeviceText().empty(); }
  // The Setup page's "Refresh": both lists again, for an interface plugged in after the start.
  void btnRefreshClick();

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
  // The user's data folder, where the Library lives: a Global Data send keeps the settings it
  // replaces in its sub-folder kGlobalCopyFolder, as files Send Global Data takes back.
  std::filesystem::path DataFolder;
  static constexpr const char* kGlobalCopyFolder = "Global Data copies";
  std::filesystem::path GlobalCopyFolder() const;

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

  // What the Library window and the bank composer send and fetch, through the same dialogs,
  // transfers and status as a file would (LibrarySends.cpp). A Program or Mix dump goes where the
  // Send Program or Send Mix dialog says.
  void SendDump(const DumpKind& kind, ByteView dump);
  // A bank file's bytes go where the bank send dialog says, paced; name tells the status. mayGo,
  // when given, is asked with the bank chosen before anything is sent.
  using BankSendCheck = std::function<bool(int bank)>;
  void SendBank(const DumpKind& kind, ByteView bank, const std::string& name,
                const BankSendCheck& mayGo = {});
  // The bank chooser, then the bank fetch with its progress, time-out and Cancel; done receives
  // the whole bank as a bank file holds it. False when nothing was started.
  using BankDelivery = std::function<void(Bytes bank)>;
  bool FetchBankInto(const DumpKind& kind, BankDelivery done);
  // The same fetch of a bank the caller names (the Library's view of it): no chooser.
  bool FetchBankInto(const DumpKind& kind, int bank, BankDelivery done);
  // A Program or Mix dump to a slot the caller named and the user confirmed there: no dialog, but
  // the send Send Program and Send Mix make, its safety copy first and read back under Verify.
  void SendDumpTo(const DumpKind& kind, ByteView dump, int bank, int entry);

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
  // A restore reads every bank it sent back and sends again what did not take.
  bool RestoreVerify = true;

  // Put Back: each dump (addressed to the place it was replaced from) sent back, paced like a bank,
  // after a safety copy of what is there now.
  void PutBack(std::vector<Bytes> dumps);

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
  // Opens each port on its chosen device where that stands in today's lists.
  void FollowDevices();
  std::string missingIn_, missingOut_;  // chosen devices that no port has now
  MidiService& service_;
  // Closes the input port while set changes one of its properties, then opens it again.
  void ReopenInput(const std::function<void()>& set);
  // The single-object transfers, written once over the Program and Mix descriptors.
  void GetDumpClick(const DumpKind& kind, bool rename);
  void SendDumpRequest(const DumpKind& kind);
  void RecDump(const DumpKind& kind, TMidiInput& port);
  // A single Program or Mix request met silence: true when it was asked again (or ended as a
  // damaged one), by the rules of a bank's entries; false when the instrument is given up.
  bool AskAgainAfterSilence();
  std::string DamagedThriceText(const DumpKind& kind) const;
  void SendDumpFileClick(const DumpKind& kind);
  int& SelectedBank(const DumpKind& kind);
  int& SelectedNumber(const DumpKind& kind);
  std::string& FolderFor(const DumpKind& kind);
  std::span<std::uint8_t> DumpBuffer(const DumpKind& kind);
  // Locks, hands one message to the output port and, once it has left, unlocks and shows status;
  // only while the port is open.
  void SendMessage(ByteView message, const std::string& status);
  // One Program or Mix to the instrument, read back and compared when Verify is on.
  void SendAddressedDump(const DumpKind& kind, ByteView dump, const std::string& done,
                         const std::string& notVerified);
  // The single message SendMessage is sending and what the status bar says once it has left the
  // port: until then it is neither reported sent nor recorded in the Library.
  struct SingleSend {
    Bytes message;
    std::string status;
  };
  std::optional<SingleSend> singleSend_;
  // The file the user picks, remembering its folder in folder; nothing when cancelled.
  std::optional<std::string> ChooseFile(FileChoice::Mode mode, std::string& folder,
                                        const std::string& fileName = {});
  // Bytes received of the Global Data so far.
  std::size_t globalReceived_ = 0;
  // A Global Data send waiting for the copy of the settings it replaces: once the Global Data
  // fetched now are kept at copy, dump goes out, or then runs for a larger send (a restore).
  struct GlobalSend {
    Bytes dump;
    std::string status;
    std::filesystem::path copy;
    std::function<void()> then;
  };
  std::optional<GlobalSend> globalSend_;
  std::filesystem::path NextGlobalCopy() const;
  void SendGlobalKeepingCopy(Bytes dump, const std::string& name);
  void KeepGlobal(GlobalSend send);
  void KeepGlobalThenSend();

  // Whole banks, written once over the Program and Mix descriptors.
  void GetBankClick(const DumpKind& kind, int tag);
  void SendBankRequest(const DumpKind& kind);
  // Locks, shows the progress window and asks for the bank; the collector takes it from there.
  void StartBankFetch(const DumpKind& kind);
  void RecBank(const DumpKind& kind, TMidiInput& port);
  void SendBankFileClick(const DumpKind& kind);
  // The second halves of Send Program / Send Mix and Send Bank / Send Mix Bank, once the dump is
  // in its buffer or the bank in hand.
  // what: the dump or file as the status names it (" Pad.syx"); " sent to Andromeda" follows.
  void SendDumpInHand(const DumpKind& kind, const std::string& what);
  void SendBankInHand(const DumpKind& kind, ByteView content, const std::string& what,
                      const BankSendCheck& mayGo = {});
  // The fetch and split buttons' bank chooser; true for a bank that can be asked for.
  bool ChooseBankToFetch(const DumpKind& kind);
  // A whole bank for FetchBankInto's receiver.
  static constexpr int kDumpDeliver = 5;
  void DeliverBank(const DumpKind& kind);
  BankDelivery bankDelivery_;
  // The bank file the user picks, when all its records are sound dumps at their own places;
  // otherwise the refusal box, and nothing.
  std::optional<Bytes> OpenBankFile(const DumpKind& kind);
  std::string& BankFolderFor(const DumpKind& kind);
  // The kind whose bank is being collected; nullptr while none is.
  const DumpKind* collecting_ = nullptr;
  // Collecting a bank, or some of its entries: which are in and what to ask next is the
  // collector's; the window sends the requests and times the waits.
  void BeginCollect(const DumpKind& kind, int bank, std::shared_ptr<EntryCollector> collector);
  void CollectNext(const DumpKind& kind, CollectStep step);
  void ArmCollectTimer();
  // Every entry asked for is in (or, in a verification, given up).
  void Collected(const DumpKind& kind);
  // Ends an exchange that could not finish, with its reason on the status bar.
  void Fail(const std::string& status);
  std::string FetchedAgainText() const;
  std::shared_ptr<EntryCollector> collector_;
  std::size_t inputLossesAtStart_ = 0;  // the input port's count when the collecting began
  int collectBank_ = 0;
  MidiDispatcher::TimerId collectTimer_ = 0;
  // Sends a request whose wait the caller times itself.
  void Ask(Bytes message, ReplyHandler handler);

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
  // delay: the pause after each message; SendDelay unless given. pauseFirst: the pause comes
  // before the first message too, for an instrument that may still be busy with the last one.
  void SendPaced(std::vector<PacedMessage> messages, const std::string& status,
                 std::string doneStatus, int delay = -1, bool pauseFirst = false);
  void SendNextPaced();
  void OutputDone();
  // A message of the exchange under way did not leave the output port: the exchange ends.
  void SendFailed();
  // What the MIDI system said goes to the trace, when the trace is on.
  void TraceMidiSystemLog();
  struct PacedSend {
    std::vector<PacedMessage> messages;
    std::size_t sent = 0;  // handed to the port
    std::string doneStatus;
    MidiDispatcher::TimerId pause = 0;
    int delay = 0;
    std::size_t left = 0;  // known to have left the port, and so recorded in the Library
  };
  std::optional<PacedSend> pacedSend_;
  // What a paced send cut short had sent: ": entries 000-037 of Programs User were sent, the rest
  // not", or for several banks each as restored, restored in part or not sent.
  std::string CutShortText() const;

  // A verified send: once the dumps have gone out, each part is read back and compared.
  std::shared_ptr<SendVerification> verify_;
  // A paced send that ends with done; with verify, the Program and Mix dumps among messages are
  // then read back by bank and compared (the Global Data are not), and it ends with verifiedDone
  // or failStatus instead. With nothing to read back it is a plain send.
  void SendVerified(bool verify, std::vector<PacedMessage> messages, const std::string& status,
                    std::string done, const std::string& verifiedDone,
                    const std::string& failStatus);
  void VerifyPart();
  void VerifyCollected(const DumpKind& kind);

  // The safety copy before a send: what is at the places parts name is fetched (with the bank
  // healing) and kept in the Library as replaced, then send runs. keep false sends at once.
  void KeepThenSend(std::vector<ReplacedPlaces> parts, bool keep, const std::string& note,
                    std::function<void()> send);
  void KeepNextPart();
  void SafetyCollected(const DumpKind& kind);
  std::shared_ptr<SafetyCopy> safety_;
  // The copy stored before the send under way: the places that send reaches are marked replaced
  // when it ends, however it ends.
  std::shared_ptr<SafetyCopy> replacing_;
  void KeepWhatWasReplaced();
  // A bank fetched whole for the rename grid is the copy of what a send back to the same bank
  // replaces, as long as nothing was sent to the instrument since: sends counts Send's messages.
  struct FetchedForRename {
    const DumpKind* kind;
    int bank;
    std::size_t sends;
  };
  std::optional<FetchedForRename> fetchedForRename_;
  std::size_t sends_ = 0;
  // Stores the bank in hand as the copy of what send replaces, then sends; no fetch.
  void KeepInHandThenSend(const DumpKind& kind, int bank, const std::string& note,
                          std::function<void()> send);
  void NoteReplaced(const DumpKind& kind, int bank, int entry);
  static std::vector<std::size_t> AllEntries();

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
    RunProgress bar;
    RestoreParts parts = RestoreParts::All;
    std::vector<std::pair<BackupFile, Bytes>> verified;  // a restore's files, checked
  };
  std::optional<BackupRun> backup_;
  // A restore's passes (copies, the send, read-backs) under one bar, while it runs.
  std::optional<RunProgress> overall_;
  // A pass's progress window; within a run the bar goes on from where the run stands.
  void ShowPassProgress();
  // One step of a pass (bytes on the wire): its caption and bar position, or within a run the
  // run's share done and time left.
  void ShowStep(const std::string& caption, int position, std::size_t bytes);
  void ProbeCard(const DumpKind& kind);
  void CardProbed(bool answered);
  void BackupStart();
  void BackupNext();
  // Called by the collectors for each dump or piece a backup receives.
  void BackupReceived(std::size_t bytes, const std::string& entry);
  void BackupBankDump(const DumpKind& kind, std::size_t n);
  void BackupBankWhole(const DumpKind& kind);
  void BackupGlobalWhole();
  void BackupFinish();
  void BackupSave(const BackupFile& file, ByteView content, std::vector<std::string> names);
  void RestoreProbed();
  // Removes what an unfinished backup wrote; part of ending any exchange.
  void AbandonBackup();
  // The status of a backup, or a restore's card probe, given up on: it speaks of the whole set.
  std::string BackupGivenUpText(GaveUp why, const std::string& reason) const;

  // The reply watch: armed while an exchange waits for the instrument, re-armed by every message.
  void WatchReply();
  void StopWatching();
  // The output watch: armed while a message is on its way out, re-armed by every done notice.
  void WatchOutput();
  MidiDispatcher::TimerId outputWatch_ = 0;
  // Sizes of the messages handed to the output port and not yet done, oldest first: the oldest
  // is given its time on a MIDI cable on top of the reply time-out.
  std::deque<std::size_t> outSizes_;
  void GiveUp(GaveUp why);
  bool awaiting_ = false;
  MidiDispatcher::TimerId watchdog_ = 0;
  GaveUp gaveUp_ = GaveUp::No;

  // Reports to the listener; a report that fails marks the exchange's status texts.
  void ReportFetched(const DumpKind& kind, ByteView dump, int bank, int entry);
  // What a collection is for, as its texts name it: "Verifying Programs Card 1", "Keeping a copy of
  // Programs User", "Verifying Program 010"; empty for a plain fetch.
  std::string PassName(const DumpKind& kind, int bank) const;
  // The progress line of entry n of the collection under way.
  std::string CollectCaption(const DumpKind& kind, std::size_t n, const std::string& text) const;
  // The bank in BankBuffer, collected whole from the instrument's bank.
  void ReportBankFetched(const DumpKind& kind, int bank);
  void ReportSent(ByteView message);
  DumpListener* dumpListener_ = nullptr;
  bool libraryMissed_ = false;

  // (Re)starts the wait for the instrument to fall silent after a given-up exchange.
  void PassOverLeftovers();
  MidiDispatcher::TimerId leftoverTimer_ = 0;
  // The unknown-message text for a message no handler takes, unless it is such a leftover.
  void SayUnknown(ByteView message);
  bool Leftover(ByteView message) const;

  FormHost& host_;
  MidiDispatcher& dispatcher_;
  bool controlsEnabled_ = true;
  bool checking_ = false;
  std::string statusText_;
  // The first error met while applying stored settings, shown once when start-up is over.
  std::optional<std::string> startupError_;
};

}  // namespace quorle
