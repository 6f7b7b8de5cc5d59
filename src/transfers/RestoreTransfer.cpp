// Restore: a backup folder back into the instrument. Every file is checked against the manifest
// before anything goes out; then the card is probed and one paced send carries the whole set.
#include <algorithm>
#include <cstdio>

#include "app/FileAccess.h"
#include "app/TfrmMain.h"
#include "protocol/DumpName.h"
#include "protocol/Sha256.h"

namespace quorle {

namespace fs = std::filesystem;

namespace {

bool Wanted(const BackupFile& file, TfrmMain::RestoreParts parts) {
  switch (parts) {
    case TfrmMain::RestoreParts::Programs:
      return file.kind == FileKind::ProgramBank;
    case TfrmMain::RestoreParts::Mixes:
      return file.kind == FileKind::MixBank;
    case TfrmMain::RestoreParts::Global:
      return file.kind == FileKind::Global;
    case TfrmMain::RestoreParts::All:
      break;
  }
  return true;
}

// Why content cannot be sent as the manifest's entry; empty when it can.
std::string Fault(const BackupManifest::Entry& entry, ByteView content) {
  const BackupFile& file = entry.file;
  if (content.size() != entry.size || content.size() != file.Size()) {
    return " is not the size the backup wrote";
  }
  if (Sha256::Hex(content) != entry.sha256) {
    return " has changed since the backup (its SHA-256 differs)";
  }
  if (const DumpKind* kind = file.Dump()) {
    for (std::size_t i = 0; i < kBankEntries; ++i) {
      const ByteView record = content.subspan(i * kind->dumpSize, kind->dumpSize);
      if (!CheckDumpFraming(*kind, record) || record[7] != i) {
        return file.kind == FileKind::ProgramBank ? " is not a Program Bank Dump"
                                                  : " is not a Mix Bank Dump";
      }
    }
  } else if (!CheckGlobalFraming(content)) {
    return " is not a Global Data Dump";
  }
  return "";
}

std::string Label(const BackupFile& file) {
  return file.name.substr(0, file.name.size() - 4);
}

}  // namespace

void TfrmMain::btnRestoreClick() {
  const auto folder = host_.ChooseFile({FileChoice::Mode::Folder, GlobalPath, ""});
  if (folder) Restore(*folder);
}

void TfrmMain::Restore(const std::string& folder, RestoreParts parts) {
  const fs::path dir = FolderPath(folder);
  const fs::path manifestPath = dir / BackupFile::kManifestName;
  Bytes text;
  std::error_code ec;
  if (!std::filesystem::exists(manifestPath, ec)) {
    host_.ShowMessage(MessageIcon::Error, dir.string() + " holds no Quorle backup (no " +
                                              BackupFile::kManifestName + ")");
    return;
  }
  if (const IoResult r = ReadWholeFile(manifestPath, text, kLargestFileSize); !r.ok) {
    host_.ShowMessage(MessageIcon::Error,
                      manifestPath.string() + " cannot be read (" + r.error + "): no backup there");
    return;
  }
  std::string error;
  const auto manifest = BackupManifest::FromJson(
      std::string_view(reinterpret_cast<const char*>(text.data()), text.size()), error);
  if (!manifest) {
    host_.ShowMessage(MessageIcon::Error, manifestPath.string() + ": " + error);
    return;
  }

  // All or nothing: one damaged file stops the restore before the first byte goes out.
  std::vector<std::pair<BackupFile, Bytes>> verified;
  for (const BackupManifest::Entry& entry : manifest->entries) {
    if (entry.file.IsPreset() || !Wanted(entry.file, parts)) continue;
    Bytes content;
    std::string fault;
    if (const IoResult r = ReadWholeFile(dir / entry.file.name, content, kLargestFileSize); !r.ok) {
      fault = " cannot be read: " + r.error;
    } else {
      fault = Fault(entry, content);
    }
    if (!fault.empty()) {
      host_.ShowMessage(MessageIcon::Error, entry.file.name + fault + ". Nothing was sent.");
      return;
    }
    verified.emplace_back(entry.file, std::move(content));
  }
  if (verified.empty()) {
    host_.ShowMessage(MessageIcon::Error, dir.filename().string() + " holds nothing to restore");
    return;
  }
  if (!OutputReady()) return;

  backup_.emplace();
  backup_->restoring = true;
  backup_->folder = dir;
  backup_->parts = parts;
  backup_->verified = std::move(verified);
  const bool cards = std::any_of(backup_->verified.begin(), backup_->verified.end(),
                                 [](const auto& v) { return v.first.CardBank() > 0; });
  Disable();
  if (!cards) {
    RestoreProbed();
    return;
  }
  Progress = std::make_unique<TfrmProgress>(host_);
  Progress->Show();
  ProbeCard(kProgramKind);
}

void TfrmMain::RestoreProbed() {
  std::vector<PacedMessage> messages;
  std::vector<ReplacedPlaces> replaced;
  std::vector<std::string> sent, skipped;
  const Bytes* global = nullptr;
  for (const auto& [file, content] : backup_->verified) {
    const DumpKind* kind = file.Dump();
    if (!kind) {
      global = &content;
      continue;
    }
    const int onCard = kind == &kProgramKind ? ProgramBanksOnCard : MixBanksOnCard;
    if (file.CardBank() > std::max(onCard, 0)) {
      skipped.push_back(Label(file));
      continue;
    }
    sent.push_back(Label(file));
    replaced.push_back({kind, file.bank, AllEntries()});
    for (std::size_t i = 0; i < kBankEntries; ++i) {
      const ByteView record = ByteView(content).subspan(i * kind->dumpSize, kind->dumpSize);
      char number[32];
      std::snprintf(number, sizeof number, " %.3d/127 - ", static_cast<int>(i));
      PacedMessage m{Bytes(record.begin(), record.end()),
                     " " + Label(file) + number + DumpName(*kind, record)};
      m.bytes[6] = static_cast<std::uint8_t>(file.bank);
      messages.push_back(std::move(m));
    }
  }
  // The Global Data last: they may change how the instrument listens to what comes before.
  if (global) {
    sent.push_back("Global Data");
    messages.push_back({*global, " Global Data"});
  }

  auto list = [](const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items) text += (text.empty() ? "" : ", ") + item;
    return text;
  };
  const std::string folder = backup_->folder.filename().string();
  if (messages.empty()) {
    EndExchange();
    Enable();
    SetStatus(" Nothing restored from \"" + folder + "\"; not on the card: " + list(skipped));
    return;
  }
  std::string question =
      "Restore \"" + folder + "\" to the Andromeda?\n\nThis overwrites on the instrument:";
  for (const std::string& item : sent) question += "\n  " + item;
  if (!skipped.empty()) question += "\n\nNot on the card now, so left out:\n  " + list(skipped);
  if (KeepReplaced) question += "\n\nA copy of what this replaces is kept in the Library first.";
  // As Send Global Data does, the settings it replaces are kept in a file it takes back.
  const fs::path globalCopy = global ? NextGlobalCopy() : fs::path();
  if (global) {
    question += "\n\nThe Global Data on the Andromeda now are first kept in:\n" +
                globalCopy.string() + "\n\nTo put them back, send that file with Send Global Data.";
  }
  if (!host_.Confirm(question)) {
    EndExchange();
    Enable();
    SetStatus(" Restore cancelled: nothing was sent");
    return;
  }
  backup_.reset();
  // The status bar holds the count; the question above named each file.
  auto files = [](std::size_t n) { return std::to_string(n) + (n == 1 ? " file" : " files"); };
  const std::string skippedText =
      skipped.empty() ? "" : "; " + std::to_string(skipped.size()) + " not on the card, left out";
  const std::string status = " Restoring \"" + folder + "\"...";
  const std::string done = " Restored from \"" + folder + "\"";
  const std::string count = files(sent.size()) + skippedText;
  // One bar over the copies, the send and the read-backs of every bank.
  std::size_t banks = 0, all = 0;
  for (const ReplacedPlaces& bank : replaced) banks += kBankEntries * bank.kind->dumpSize;
  for (const PacedMessage& m : messages) all += m.bytes.size();
  overall_.emplace((global ? kGlobalDumpSize : 0) + (KeepReplaced ? banks : 0) + all +
                   (RestoreVerify ? banks : 0));
  auto send = [this, keep = KeepReplaced, verify = RestoreVerify, status, done, count, folder,
               r = std::move(replaced), m = std::move(messages)]() mutable {
    KeepThenSend(std::move(r), keep, "Restore " + folder,
                 [this, verify, status, done, count, folder, m = std::move(m)]() mutable {
                   SendVerified(verify, std::move(m), status, done + ": " + count,
                                done + " and verified: " + count,
                                " Restore of \"" + folder + "\" not verified");
                 });
  };
  if (!global) return send();
  KeepGlobal(GlobalSend{{}, "", globalCopy, std::move(send)});
}

}  // namespace quorle
