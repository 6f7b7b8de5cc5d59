#include "cli/BackupCommands.h"

#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <iostream>
#include <map>
#include <memory>

#include "cli/OfflineCommands.h"
#include "cli/StopSignals.h"
#include "midi/MidiDispatcher.h"
#include "protocol/BankJoin.h"
#include "protocol/SysexFile.h"
#include "sim/SimulatedAndromeda.h"

namespace quorle {

namespace fs = std::filesystem;

std::string RunToEnd(LiveSession& session, const std::function<void(TfrmMain&)>& operation) {
  TfrmMain& form = session.Form();
  RequireOutput(form);
  form.Guarded([&] { operation(form); });
  session.WaitFor([&] { return form.ControlsEnabled() && form.MidiOut.MessagesInFlight() == 0; });
  session.Midi().Simulator().FlushState(std::chrono::seconds(10));
  // The error box has been printed already.
  if (session.Host().ErrorCount() > 0) throw Refusal("");
  return form.StatusText();
}

void Expect(const std::string& status, const std::string& expected, const std::string& otherwise) {
  if (status.rfind(expected, 0) != 0) throw Refusal(status.empty() ? otherwise : status.substr(1));
}

namespace {

// The files a split wrote into folder, in entry order.
std::vector<JoinPart> SplitFiles(const fs::path& folder) {
  std::map<int, JoinPart> byEntry;
  const DumpKind* prefixKind = nullptr;
  std::error_code ec;
  for (const fs::directory_entry& e : fs::directory_iterator(folder, ec)) {
    const std::string name = e.path().filename().string();
    if (!e.is_regular_file() || e.path().extension() != ".syx") continue;
    const DumpKind* kind = &kProgramKind;
    int entry = SplitEntry(kProgramKind, name);
    if (entry < 0) entry = SplitEntry(*(kind = &kMixKind), name);
    if (entry < 0) {
      throw Refusal(e.path().string() +
                    ": does not begin with an entry number (PRG000 to PRG127, MIX000 to MIX127)");
    }
    if (prefixKind && kind != prefixKind) {
      throw Refusal(e.path().string() +
                    ": Programs and Mixes in one folder; a bank holds one kind");
    }
    prefixKind = kind;
    if (const auto found = byEntry.find(entry); found != byEntry.end()) {
      throw Refusal(e.path().string() + ": entry " + std::to_string(entry) + " again, after " +
                    found->second.name);
    }
    byEntry[entry] = {e.path().string(), ReadOrRefuse(e.path())};
  }
  if (ec) throw Refusal(folder.string() + ": cannot be read: " + ec.message());
  std::vector<JoinPart> parts;
  for (auto& [entry, part] : byEntry) parts.push_back(std::move(part));
  return parts;
}

}  // namespace

void JoinCommand(const std::vector<fs::path>& inputs, const fs::path& output, std::ostream& out) {
  std::vector<JoinPart> parts;
  if (inputs.size() == 1 && fs::is_directory(inputs.front())) {
    parts = SplitFiles(inputs.front());
  } else {
    // The same file twice would fill two entries and leave the one meant for another empty.
    std::map<std::pair<dev_t, ino_t>, std::size_t> entries;
    for (const fs::path& file : inputs) {
      struct stat st {};
      if (::stat(file.c_str(), &st) == 0) {
        const auto [first, fresh] = entries.emplace(std::pair{st.st_dev, st.st_ino}, parts.size());
        if (!fresh) {
          throw Refusal(file.string() + ": the same file for entries " +
                        std::to_string(first->second) + " and " + std::to_string(parts.size()));
        }
      }
      parts.push_back({file.string(), ReadOrRefuse(file)});
    }
  }
  std::string error;
  const Bytes bank = JoinBank(parts, error);
  if (bank.empty()) throw Refusal(error);
  if (const IoResult r = WriteFileAtomically(output, bank); !r.ok) {
    throw Refusal(output.string() + ": cannot be written: " + r.error);
  }
  out << output.string() << ": " << FileKindName(ClassifyFile(bank)) << " of 128 dumps\n";
}

void AddBackupCommands(CLI::App& app, std::function<void()>& command,
                       const std::function<LiveSession&()>& run, std::ostream& out) {
  struct Options {
    std::string folder;
    bool presets = false;
    bool yes = false;
    bool noVerify = false;
    bool noKeepCopy = false;
    std::string only;
    std::vector<std::string> inputs;
    std::string output;
  };
  auto o = std::make_shared<Options>();

  auto* backup = app.add_subcommand(
      "backup", "Save the Global Data and every User and card bank into a new folder");
  backup->add_option("DIR", o->folder, "The folder to create; it must not exist")->required();
  backup->add_flag("--with-presets", o->presets, "Save the preset banks too");
  backup->callback([&command, &run, o] {
    command = [&run, o] {
      // Before the session starts the MIDI threads, so they leave the stop signals to it.
      const StopSignals stop(MidiDispatcher::Main());
      LiveSession& session = run();
      session.Form().cbBackupPresetsChecked = o->presets;
      const std::string status = RunToEnd(session, [&](TfrmMain& f) { f.Backup(o->folder); });
      Expect(status, " Backup \"", "the backup did not complete");
    };
  });

  auto* restore =
      app.add_subcommand("restore", "Send a backup folder back to the instrument (presets never)");
  restore->add_option("DIR", o->folder, "The backup folder")->required();
  restore->add_flag("--yes", o->yes, "Do not ask before overwriting the instrument");
  restore->add_flag("--no-verify", o->noVerify,
                    "Do not read the banks back after sending them (faster, unchecked)");
  restore->add_flag("--no-keep-copy", o->noKeepCopy,
                    "Do not keep a copy of the banks this replaces in the Library first");
  restore->add_option("--only", o->only, "Only these: programs, mixes or global")
      ->check(CLI::IsMember({"programs", "mixes", "global"}));
  restore->callback([&command, &run, &out, o] {
    command = [&run, &out, o] {
      // Overwriting the instrument needs a yes from someone; a script says so with --yes.
      if (!o->yes && !::isatty(STDIN_FILENO)) {
        throw Refusal(
            "restore overwrites the instrument and asks first; without a terminal to "
            "answer on, give --yes");
      }
      const auto parts = o->only == "programs" ? TfrmMain::RestoreParts::Programs
                         : o->only == "mixes"  ? TfrmMain::RestoreParts::Mixes
                         : o->only == "global" ? TfrmMain::RestoreParts::Global
                                               : TfrmMain::RestoreParts::All;
      LiveSession& session = run();
      session.Form().RestoreVerify = !o->noVerify;
      const CommandChoices choices(session.Form(), session.Form().Verify, !o->noKeepCopy);
      session.Host().answerConfirm = [&out, o](const std::string& question) {
        if (o->yes) return true;
        out << question << "\n[y/N] " << std::flush;
        std::string answer;
        std::getline(std::cin, answer);
        return answer == "y" || answer == "Y" || answer == "yes";
      };
      const std::string status =
          RunToEnd(session, [&](TfrmMain& f) { f.Restore(o->folder, parts); });
      Expect(status, " Restored from", "nothing was sent");
    };
  });

  auto* join = app.add_subcommand(
      "join", "Join 128 single Program or Mix files (or a folder split wrote) into a bank file");
  join->add_option("FILES", o->inputs, "128 files in entry order, or one folder")->required();
  join->add_option("-o,--output", o->output, "The bank file to write")->required();
  join->callback([&command, &out, o] {
    command = [&out, o] {
      JoinCommand(std::vector<fs::path>(o->inputs.begin(), o->inputs.end()), o->output, out);
    };
  });
}

}  // namespace quorle
