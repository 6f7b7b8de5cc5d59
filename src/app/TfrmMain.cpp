#include "app/TfrmMain.h"

#include <algorithm>
#include <exception>

#include "app/InstallLayout.h"
#include "app/MidiLog.h"
#include "help/HelpViewer.h"
#include "midi/MidiSystemLog.h"
#include "protocol/BankName.h"

namespace quorle {

TfrmMain::TfrmMain(FormHost& host, MidiService& service, MidiDispatcher& dispatcher,
                   std::filesystem::path appFolder)
    : MidiIn(service, dispatcher),
      MidiOut(service, dispatcher),
      BankBuffer(kBankEntries),
      service_(service),
      host_(host),
      dispatcher_(dispatcher) {
  std::string folder = appFolder.string();
  if (folder.empty() || folder.back() != std::filesystem::path::preferred_separator) {
    folder += std::filesystem::path::preferred_separator;
  }
  AppFolder = folder;
  DataFolder = LibraryFileFor(appFolder).parent_path();
  // The input port as the window keeps it: four buffers of 4096 bytes, SysEx only.
  MidiIn.SetSysexBufferSize(4096);
  MidiIn.SetSysexBufferCount(4);
  MidiIn.SetSysexOnly(true);
  MidiOut.SetOnmidioutput([this](TMidiOutput&) {
    // Done notices come in the order the messages were handed over.
    if (!outSizes_.empty()) outSizes_.pop_front();
    WatchOutput();
    Guarded([&] { OutputDone(); });
  });
  // Whatever the exchange, the user learns that something the instrument said is gone.
  MidiIn.SetOnOverflow([this](TMidiInput&) {
    SetStatus(kBuffersFullText);
    TraceMidiSystemLog();
  });
}

TfrmMain::~TfrmMain() {
  // Handlers point back at this window; none may run once it is gone.
  MidiIn.SetOnMidiInput(nullptr);
  MidiIn.SetOnOverflow(nullptr);
  MidiOut.SetOnmidioutput(nullptr);
  StopWatching();
  EndExchange();
  if (outputWatch_ != 0) dispatcher_.StopTimer(outputWatch_);
  if (leftoverTimer_ != 0) dispatcher_.StopTimer(leftoverTimer_);
}

void TfrmMain::FormCreate() {
  CreateHelpHook();
  InitMidiControls();
  ReadRegistry();
  // Stored buffer values come into range before the port first opens, whatever the fields show
  // and whether or not the stored devices can be opened: a port without buffers takes no SysEx.
  const int count = std::clamp<int>(MidiIn.SysexBufferCount(), kMinBufferCount, kMaxBufferCount);
  const int size = std::clamp<int>(MidiIn.SysexBufferSize(), kMinBufferSize, kMaxBufferSize);
  MidiIn.SetSysexBufferCount(static_cast<std::uint16_t>(count));
  MidiIn.SetSysexBufferSize(static_cast<std::uint16_t>(size));
  spCountText = std::to_string(count);
  spSizeText = std::to_string(size);

  // A stored device that no longer exists leaves both ports closed rather than talking to a
  // device the user did not choose.
  // So does a chosen device that no port has now: nothing goes to whatever stands in its place.
  if (!startupError_ && missingIn_.empty()) {
    MidiIn.Open();
    Guarded([&] { MidiIn.Start(); });
    InputOpen = true;
  }
  if (!startupError_ && missingOut_.empty()) OutputOpen = MidiOut.Open();

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
  if (const std::string missing = MissingDeviceText(); !missing.empty()) SetStatus(missing);
}

void TfrmMain::FormClose() {
  TraceMidiSystemLog();
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

bool TfrmMain::FormCloseQuery() {
  // The window is locked exactly while an exchange is under way.
  if (ControlsEnabled()) return true;
  if (!host_.Confirm(kCloseQuestion)) return false;
  CancelExchange();
  // The message on its way out is let finish, so the instrument never takes half a dump, and the
  // output port can close.
  const double seconds = ReplyTimeout > 0 ? ReplyTimeout : 10;
  dispatcher_.DispatchUntil([this] { return MidiOut.MessagesInFlight() == 0; },
                            std::chrono::milliseconds(static_cast<long long>(seconds * 1000)));
  return true;
}

void TfrmMain::Guarded(const std::function<void()>& operation) {
  try {
    operation();
  } catch (const std::exception& e) {
    // An interrupted exchange must not leave the window locked with no way out.
    EndExchange();
    Enable();
    host_.ShowMessage(MessageIcon::Error, e.what());
  }
}

void TfrmMain::Enable() {
  // An exchange that unlocks the window has what it waited for, or has given up.
  StopWatching();
  controlsEnabled_ = true;
  host_.StateChanged();
}

void TfrmMain::Disable() {
  // A new exchange starts: a watch left by one that did not lock (the connection check) must not
  // give this one up.
  StopWatching();
  libraryMissed_ = false;
  checking_ = false;
  controlsEnabled_ = false;
  host_.StateChanged();
}

void TfrmMain::EndExchange() {
  AbandonBackup();
  collecting_ = nullptr;
  collector_.reset();
  if (collectTimer_ != 0) dispatcher_.StopTimer(collectTimer_);
  collectTimer_ = 0;
  verify_.reset();
  safety_.reset();
  globalSend_.reset();
  if (pacedSend_ && pacedSend_->pause != 0) dispatcher_.StopTimer(pacedSend_->pause);
  pacedSend_.reset();
  singleSend_.reset();
  Progress.reset();
  overall_.reset();
  KeepWhatWasReplaced();
}

void TfrmMain::SetStatus(const std::string& text) {
  // Until the next exchange starts, its texts say that the Library missed part of it.
  statusText_ = libraryMissed_ && !text.empty() ? text + kLibraryNotUpdatedText : text;
  host_.StatusChanged(statusText_);
}

void TfrmMain::ReportFetched(const DumpKind& kind, ByteView dump, int bank, int entry) {
  if (dumpListener_ && LibraryCapture && !dumpListener_->DumpFetched(kind, dump, bank, entry)) {
    libraryMissed_ = true;
  }
}

void TfrmMain::ReportSent(ByteView message) {
  const DumpKind* kind = FramedDumpKind(message);
  if (kind) NoteReplaced(*kind, message[6], message[7]);
  if (!dumpListener_ || !LibraryCapture) return;
  // Until the card's size is known, a card bank may not be there at all: such a send is not
  // recorded as placed.
  if (kind && kind->IsCardBank(message[6]) &&
      (&*kind == &kProgramKind ? ProgramBanksOnCard : MixBanksOnCard) < 0) {
    return;
  }
  if (kind && !dumpListener_->DumpSent(*kind, message, message[6], message[7])) {
    libraryMissed_ = true;
  }
}

std::string TfrmMain::UnknownMessageText(std::size_t length) {
  return " unknown Midi message [" + std::to_string(length) + " bytes]";
}

void TfrmMain::PassOverLeftovers() {
  if (leftoverTimer_ != 0) dispatcher_.StopTimer(leftoverTimer_);
  leftoverTimer_ = dispatcher_.StartTimer(kLeftoverQuiet, [this] { leftoverTimer_ = 0; });
}

bool TfrmMain::Leftover(ByteView message) const {
  return PassingOverLeftovers() && FramedDumpKind(message) != nullptr;
}

void TfrmMain::SayUnknown(ByteView message) {
  if (!Leftover(message)) SetStatus(UnknownMessageText(message.size()));
}

void TfrmMain::InstallReplyHandler(ReplyHandler handler) {
  MidiIn.SetOnMidiInput([this, handler](TMidiInput& port) {
    // The instrument is still talking: the time-out counts from its latest message.
    if (awaiting_) WatchReply();
    if (leftoverTimer_ != 0) PassOverLeftovers();
    Guarded([&] { (this->*handler)(port); });
  });
}

void TfrmMain::SendRequest(Bytes message, ReplyHandler handler, bool lock) {
  OutMessage = std::move(message);
  InstallReplyHandler(handler);
  if (!OutputReady(false)) return;
  if (lock) Disable();
  gaveUp_ = GaveUp::No;
  awaiting_ = true;
  WatchReply();
  Send(OutMessage);
}

void TfrmMain::Send(ByteView message) {
  ++sends_;
  if (Log) Log->Write(MidiLog::kSent, MidiOut.ProductName(), message);
  MidiOut.SendLong(message);
  outSizes_.push_back(message.size());
  WatchOutput();
}

std::unique_ptr<TMyMidiEvent> TfrmMain::Fetch(TMidiInput& port) {
  auto event = port.FetchEvent();
  if (Log && event) {
    const Bytes shortMessage{event->Status, event->DataByte1, event->DataByte2};
    Log->Write(MidiLog::kReceived, port.ProductName(),
               event->SysexSize > 0 ? ByteView(event->SysexData.data(), event->SysexSize)
                                    : ByteView(shortMessage));
  }
  return event;
}

void TfrmMain::WatchOutput() {
  if (outputWatch_ != 0) dispatcher_.StopTimer(outputWatch_);
  outputWatch_ = 0;
  // Each done notice shows the port is alive; the watch runs while anything is still out.
  if (MidiOut.MessagesInFlight() == 0) outSizes_.clear();
  if (ReplyTimeout <= 0 || MidiOut.MessagesInFlight() == 0) return;
  const auto limit = std::chrono::milliseconds(static_cast<long long>(ReplyTimeout * 1000)) +
                     std::chrono::duration_cast<std::chrono::milliseconds>(
                         WireTime(outSizes_.empty() ? 0 : outSizes_.front()));
  outputWatch_ = dispatcher_.StartTimer(limit, [this] {
    outputWatch_ = 0;
    Guarded([&] { GiveUp(GaveUp::NoOutput); });
  });
}

void TfrmMain::IgnoreReply(TMidiInput& port) {
  Fetch(port);
}

bool TfrmMain::AnswersRequest(ByteView dump, bool entryToo) const {
  // Requests and dumps alike carry the bank at byte 6 and the entry at byte 7.
  if (dump.size() < 8 || OutMessage.size() < 8) return false;
  return dump[6] == OutMessage[6] && (!entryToo || dump[7] == OutMessage[7]);
}

void TfrmMain::WatchReply() {
  if (watchdog_ != 0) dispatcher_.StopTimer(watchdog_);
  watchdog_ = 0;
  if (ReplyTimeout <= 0) return;
  const auto limit = std::chrono::milliseconds(static_cast<long long>(ReplyTimeout * 1000));
  watchdog_ = dispatcher_.StartTimer(limit, [this] {
    watchdog_ = 0;
    Guarded([&] {
      if (!AskAgainAfterSilence()) GiveUp(GaveUp::NoReply);
    });
  });
}

void TfrmMain::StopWatching() {
  awaiting_ = false;
  if (watchdog_ != 0) dispatcher_.StopTimer(watchdog_);
  watchdog_ = 0;
}

void TfrmMain::CancelExchange() {
  if (ControlsEnabled()) return;
  GiveUp(GaveUp::Cancelled);
}

void TfrmMain::GiveUp(GaveUp why) {
  std::string status = why == GaveUp::NoReply      ? kNoReplyText
                       : why == GaveUp::NoOutput   ? kNoOutputReplyText
                       : why == GaveUp::SendFailed ? kSendFailedText
                                                   : kCancelledText;
  // Where a bank stopped tells a loose cable from a damaged dump.
  if (backup_) {
    status = BackupGivenUpText(why, status);
  } else if (safety_ || globalSend_) {
    status += ": no copy kept, nothing was sent";
  } else if (why == GaveUp::SendFailed) {
    // What already changed on the instrument, and what did not.
    status += CutShortText();
  } else if (pacedSend_) {
    status += ": " + std::to_string(pacedSend_->sent) + " of " +
              std::to_string(pacedSend_->messages.size()) + " sent";
  } else if (collecting_) {
    status += ": " + std::to_string(ReceivedCount) + " of 128 received";
  }
  EndExchange();
  // Whatever is still on its way belongs to nothing now.
  InstallReplyHandler(&TfrmMain::IgnoreReply);
  PassOverLeftovers();
  globalReceived_ = 0;
  Enable();
  gaveUp_ = why;
  SetStatus(status);
  if (checking_) {
    // A failed check is said as plainly as a found instrument.
    EndCheck();
    host_.ShowMessage(MessageIcon::Warning, CheckFailedText(why));
  }
}

std::string TfrmMain::CheckFailedText(GaveUp why) {
  const std::string out = MidiOut.ProductName();
  if (why == GaveUp::NoReply) {
    return "No Andromeda answered on " + out +
           ". Check the MIDI cables both ways, the Midi In and Midi Out ports chosen here, and "
           "that "
           "the Andromeda is switched on.";
  }
  return "The check could not be sent through " + out + ". Choose another Midi Out port.";
}

void TfrmMain::TraceMidiSystemLog() {
  // Without a trace the lines wait in the log, for a front end that prints them.
  if (!HelpHook || !HelpHook->Trace().On()) return;
  THelpTrace trace = HelpHook->Trace();
  for (const std::string& line : MidiSystemLog::Main().Take()) trace.Line("MIDI: " + line);
}

void TfrmMain::UserSelectsPage(int index) {
  if (index < 0 || index >= kPageCount) return;
  ActivePage = index;
  TabsHelpContext = 1000 + index;
  host_.StateChanged();
}

}  // namespace quorle
