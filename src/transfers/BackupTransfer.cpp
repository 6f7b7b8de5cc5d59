// Backup: the whole instrument into one new folder, in one action. A sequence over the exchanges
// of the single transfers: the identity, one dump of card bank 1 to learn the card, the Global
// Data and every bank through the bank collector.
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include "app/FileAccess.h"
#include "app/TfrmMain.h"
#include "protocol/DumpName.h"
#include "protocol/Pack.h"
#include "protocol/Sha256.h"
#include "transfers/EntryCollector.h"
#include "transfers/TimeText.h"

namespace quorle {

namespace fs = std::filesystem;

namespace {

std::string HexBytes(ByteView bytes) {
  std::string hex;
  char two[4];
  for (std::uint8_t b : bytes) {
    std::snprintf(two, sizeof two, hex.empty() ? "%02X" : " %02X", b);
    hex += two;
  }
  return hex;
}

}  // namespace

void TfrmMain::btnBackupClick() {
  const auto folder = host_.ChooseFile(
      {FileChoice::Mode::NewFolder, GlobalPath, "Andromeda Backup " + Now("%Y-%m-%d %H%M")});
  if (folder) Backup(*folder);
}

namespace {

// ".NAME.unfinished-PID" (or "-PID-N") folders beside a new backup whose process has ended: what
// an interrupted backup left behind.
void RemoveAbandonedBackups(const fs::path& parent) {
  std::error_code ec;
  for (const fs::directory_entry& e : fs::directory_iterator(parent, ec)) {
    const std::string name = e.path().filename().string();
    const std::size_t mark = name.rfind(".unfinished-");
    if (name.empty() || name[0] != '.' || mark == std::string::npos) continue;
    const std::string number = name.substr(mark + 12, name.find('-', mark + 12) - mark - 12);
    if (number.empty() || number.size() > 9 ||
        !std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; }))
      continue;
    const pid_t pid = static_cast<pid_t>(std::stol(number));
    std::error_code ignored;
    if (pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH && e.is_directory(ignored))
      fs::remove_all(e.path(), ignored);
  }
}

}  // namespace

void TfrmMain::Backup(const std::string& folder) {
  if (!OutputReady()) return;
  // Whatever an earlier split or rename left in DumpMode, a backup only collects.
  DumpMode = kDumpSave;
  const fs::path target = FolderPath(folder);
  std::error_code ec;
  // A backup is never mixed into, or written over, a folder that exists.
  if (fs::exists(target, ec) || fs::is_symlink(target, ec)) {
    host_.ShowMessage(MessageIcon::Error,
                      target.string() + " already exists: a backup goes into a new folder");
    return;
  }
  fs::create_directories(target.parent_path(), ec);
  RemoveAbandonedBackups(target.parent_path());
  // Hidden and named unfinished, so an interrupted backup never looks like one; the number is
  // the process's, so a later backup knows when nobody is writing it any more.
  fs::path temp;
  std::random_device seed;
  for (int attempt = 0; attempt < 16 && temp.empty(); ++attempt) {
    const fs::path candidate =
        target.parent_path() /
        ("." + target.filename().string() + ".unfinished-" + std::to_string(::getpid()) +
         (attempt == 0 ? "" : "-" + std::to_string(seed() % 1000000)));
    if (fs::create_directory(candidate, ec)) temp = candidate;
  }
  if (temp.empty())
    throw FileError("Cannot create a folder beside " + target.string() + ": " + ec.message());

  backup_.emplace();
  backup_->folder = target;
  backup_->temp = temp;
  backup_->withPresets = cbBackupPresetsChecked;
  Disable();
  SetStatus(" Backing up the Andromeda...");
  Progress = std::make_unique<TfrmProgress>(host_);
  Progress->SetCaption(" Asking the Andromeda who it is");
  Progress->Show();
  SendRequest(IdentityRequest(), &TfrmMain::RecBackupIdentity, true);
}

void TfrmMain::RecBackupIdentity(TMidiInput& port) {
  const auto event = Fetch(port);
  if (!event || !backup_) return;
  const ByteView message(event->SysexData.data(), event->SysexSize);
  const Identity id = RecogniseIdentityReply(message);
  if (id.result != IdentityResult::Andromeda) {
    if (id.result == IdentityResult::WrongLength) SayUnknown(message);
    return;
  }
  backup_->manifest.identity = HexBytes(message);
  backup_->manifest.version = id.version;
  ProbeCard(kProgramKind);
}

// A card answers for its bank 1; an instrument without one stays silent, so silence for the
// time-out is the answer too, not a failure.
void TfrmMain::ProbeCard(const DumpKind& kind) {
  StopWatching();
  gaveUp_ = GaveUp::No;
  backup_->probing = &kind;
  Progress->SetCaption(" Looking for a card");
  InstallReplyHandler(&TfrmMain::RecCardProbe);
  OutMessage = DumpRequest(kind, kind.firstCardBank, 0);
  const double seconds = ReplyTimeout > 0 ? ReplyTimeout : 10;
  backup_->probeTimer = dispatcher_.StartTimer(
      std::chrono::milliseconds(static_cast<long long>(seconds * 1000)), [this] {
        backup_->probeTimer = 0;
        Guarded([&] { CardProbed(false); });
      });
  Send(OutMessage);
}

void TfrmMain::RecCardProbe(TMidiInput& port) {
  const auto event = Fetch(port);
  if (!event || !backup_ || !backup_->probing) return;
  const DumpKind& kind = *backup_->probing;
  const ByteView message(event->SysexData.data(), event->SysexSize);
  if (message.size() != kind.dumpSize || !CheckDumpFraming(kind, message) ||
      !AnswersRequest(message, true)) {
    SayUnknown(message);
    return;
  }
  std::copy_n(message.begin() + kPayloadOffset, kind.packedSize, PackedData.begin());
  Unpack(std::span<const std::uint8_t>(PackedData).first(kind.packedSize), UnpackedData,
         kind.packedSize);
  ProgramBanksOnCard = std::min<int>(UnpackedData[kind.cardProgramBanksOffset], 14);
  MixBanksOnCard = std::min<int>(UnpackedData[kind.cardMixBanksOffset], 14);
  CardProbed(true);
}

void TfrmMain::CardProbed(bool answered) {
  if (backup_->probeTimer != 0) dispatcher_.StopTimer(backup_->probeTimer);
  backup_->probeTimer = 0;
  // A card may hold Mix banks and no Program bank.
  if (!answered && backup_->probing == &kProgramKind) {
    ProbeCard(kMixKind);
    return;
  }
  backup_->probing = nullptr;
  if (!answered) ProgramBanksOnCard = MixBanksOnCard = 0;
  InstallReplyHandler(&TfrmMain::IgnoreReply);
  if (backup_->restoring) {
    RestoreProbed();
  } else {
    BackupStart();
  }
}

void TfrmMain::BackupStart() {
  BackupRun& run = *backup_;
  run.files = BackupFiles(ProgramBanksOnCard, MixBanksOnCard, run.withPresets);
  run.manifest.programCardBanks = ProgramBanksOnCard;
  run.manifest.mixCardBanks = MixBanksOnCard;
  std::size_t total = 0;
  for (const BackupFile& f : run.files) total += f.Size();
  run.bar = RunProgress(total);
  BackupNext();
}

void TfrmMain::BackupNext() {
  BackupRun& run = *backup_;
  if (run.next == run.files.size()) {
    BackupFinish();
    return;
  }
  const BackupFile& file = run.files[run.next];
  BackupReceived(0, "");
  ReceivedCount = 0;
  if (file.kind == FileKind::Global) {
    globalReceived_ = 0;
    SendRequest(GlobalDumpRequest(), &TfrmMain::RecGlobalDump, true);
    return;
  }
  const DumpKind& kind = *file.Dump();
  BeginCollect(kind, file.bank, std::make_shared<EntryCollector>(EntryCollector::WholeBank()));
}

void TfrmMain::BackupReceived(std::size_t bytes, const std::string& entry) {
  BackupRun& run = *backup_;
  run.bar.Add(bytes);
  const BackupFile& file = run.files[run.next];
  std::string caption = " " + file.name.substr(0, file.name.size() - 4);
  if (!entry.empty()) caption += " " + entry;
  Progress->SetCaption(caption + run.bar.Text());
  Progress->SetPosition(run.bar.Position());
}

void TfrmMain::BackupBankDump(const DumpKind& kind, std::size_t n) {
  char number[32];
  std::snprintf(number, sizeof number, "%.3d/127 ", static_cast<int>(n));
  std::string name = (*BankNames)[n];
  name.erase(name.find_last_not_of(' ') + 1);
  BackupReceived(kind.dumpSize, number + name);
}

void TfrmMain::BackupBankWhole(const DumpKind& kind) {
  collecting_ = nullptr;
  collector_.reset();
  Bytes content;
  content.reserve(kind.BankFileSize());
  for (const auto& slot : BankBuffer)
    content.insert(content.end(), slot.begin(), slot.begin() + kind.dumpSize);
  BackupSave(backup_->files[backup_->next], content, *BankNames);
}

void TfrmMain::BackupGlobalWhole() {
  globalReceived_ = 0;
  BackupSave(backup_->files[backup_->next], GlobalDump, {});
}

void TfrmMain::BackupSave(const BackupFile& file, ByteView content,
                          std::vector<std::string> names) {
  BackupRun& run = *backup_;
  // Each file as the single Get Bank or Receive Global Data writes it, so it opens on its own.
  WriteFileOrThrow((run.temp / file.name).string(), content);
  run.manifest.entries.push_back({file, content.size(), Sha256::Hex(content), std::move(names)});
  ++run.next;
  BackupNext();
}

void TfrmMain::BackupFinish() {
  BackupRun& run = *backup_;
  run.manifest.created = Now("%Y-%m-%dT%H:%M:%SZ");
  const std::string json = run.manifest.ToJson();
  WriteFileOrThrow((run.temp / BackupFile::kManifestName).string(),
                   ByteView(reinterpret_cast<const std::uint8_t*>(json.data()), json.size()));
  // Whole or not at all: the finished folder takes its name in one step, and never that of a
  // folder that appeared meanwhile. Where there is no no-replace rename (another platform, a file
  // system without it), check, then rename, rather than lose the set.
  int error = EINVAL;
#ifdef __linux__
  error =
      ::renameat2(AT_FDCWD, run.temp.c_str(), AT_FDCWD, run.folder.c_str(), RENAME_NOREPLACE) == 0
          ? 0
          : errno;
#endif
  if (error == EINVAL || error == ENOSYS) {
    std::error_code ec;
    error = fs::exists(run.folder, ec)                               ? EEXIST
            : std::rename(run.temp.c_str(), run.folder.c_str()) == 0 ? 0
                                                                     : errno;
  }
  if (error != 0) {
    throw FileError("Cannot name the backup " + run.folder.string() + ": " + std::strerror(error));
  }
  if (dumpListener_) dumpListener_->FileWritten(run.folder);
  const std::string done = " Backup \"" + run.folder.filename().string() +
                           "\" saved to disk: " + std::to_string(run.manifest.entries.size()) +
                           " files";
  run.temp.clear();
  EndExchange();
  Enable();
  SetStatus(done);
}

std::string TfrmMain::BackupGivenUpText(GaveUp why, const std::string& reason) const {
  if (backup_->restoring) {
    return why == GaveUp::Cancelled ? " Restore cancelled: nothing was sent"
                                    : reason + ": nothing was sent";
  }
  return why == GaveUp::Cancelled ? " Backup cancelled: nothing was kept"
                                  : reason + ": the backup kept nothing";
}

void TfrmMain::AbandonBackup() {
  if (!backup_) return;
  if (backup_->probeTimer != 0) dispatcher_.StopTimer(backup_->probeTimer);
  std::error_code ec;
  if (!backup_->temp.empty()) fs::remove_all(backup_->temp, ec);
  backup_.reset();
}

}  // namespace quorle
