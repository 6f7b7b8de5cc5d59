#include "cli/CliApp.h"

#include <CLI/CLI.hpp>
#include <cstdlib>
#include <functional>

#include "app/TVersionInfo.h"
#include "cli/BackupCommands.h"
#include "cli/DeviceCommands.h"
#include "cli/LibraryCommands.h"
#include "cli/LiveCommands.h"
#include "cli/LiveSession.h"
#include "cli/OfflineCommands.h"
#include "cli/StopSignals.h"
#include "frontend/LibraryConnection.h"
#include "midi/MidiSystemLog.h"
#include "sim/SimulatedAndromeda.h"

namespace quorle {

namespace {

// Options every live command shares; they come before the command name.
void AddLiveOptions(CLI::App& app, LiveOptions& live, std::vector<std::string>& simErrors) {
  app.add_option("--in", live.in, "MIDI input device: its number or its exact name");
  app.add_option("--midi-log", live.midiLog,
                 "Write every MIDI message sent and received to this file, one a line");
  app.add_option("--out", live.out, "MIDI output device: its number or its exact name");
  app.add_option("--delay", live.delay, "Pause after each message of a bank send, ms")
      ->check(CLI::Range(0, 200));
  app.add_option("--buffers", live.buffers, "Number of SysEx receive buffers")
      ->check(CLI::Range(4, 128));
  app.add_option("--buffer-size", live.bufferSize, "Size of each SysEx receive buffer")
      ->check(CLI::Range(4096, 16384));
  app.add_option_function<double>(
         "--timeout", [&live](double seconds) { live.timeout = seconds; },
         "Seconds of silence after which the instrument is given up (default: the stored "
         "setting, 10; 0 waits as long as it takes)")
      ->check(CLI::Range(0.0, 86400.0));

  SimSettings& sim = live.midi.sim;
  auto simValue = [&](const char* name, const char* help,
                      std::function<bool(const std::string&, std::string&)> apply) {
    app.add_option_function<std::string>(
        name,
        [&simErrors, &live, apply, name](const std::string& value) {
          live.simulator = true;
          std::string error;
          if (!apply(value, error)) simErrors.push_back(std::string(name) + ": " + error);
        },
        help);
  };
  simValue("--sim-state", "File the simulated instrument keeps its memory in",
           [&sim](const std::string& v, std::string&) {
             sim.stateFile = v;
             return !v.empty();
           });
  simValue("--sim-rate", "Simulator speed: wire, instant or bytes per second",
           [&sim](const std::string& v, std::string& e) {
             const auto rate = ParseSimRate(v, e);
             if (rate) sim.rate = *rate;
             return rate.has_value();
           });
  simValue("--sim-program-card-banks", "Program banks on the simulator's card (0 to 14)",
           [&sim](const std::string& v, std::string& e) {
             const auto n = ParseCardBanks(v, e);
             if (n) sim.programCardBanks = *n;
             return n.has_value();
           });
  simValue("--sim-mix-card-banks", "Mix banks on the simulator's card (0 to 14)",
           [&sim](const std::string& v, std::string& e) {
             const auto n = ParseCardBanks(v, e);
             if (n) sim.mixCardBanks = *n;
             return n.has_value();
           });
  app.add_option_function<std::vector<std::string>>(
         "--sim-fault",
         [&sim, &simErrors, &live](const std::vector<std::string>& values) {
           live.simulator = true;
           for (const std::string& v : values) {
             std::string e;
             if (!ParseSimFault(v, sim.faults, e)) simErrors.push_back(e);
           }
         },
         "Simulator misbehaviour, several allowed: drop:K, wrong-opcode:K, short:K, foreign:K, "
         "stall:K, stall:K:MS, slow:MS, ignore, busy:MS, lose:P[:SEED], port-fail:N, "
         "input-loss:N")
      ->expected(1)
      ->take_all();
  simValue("--sim-version", "Software version the simulator reports (a.bc)",
           [&sim](const std::string& v, std::string& e) {
             const auto version = ParseSimVersion(v, e);
             if (version) sim.version = *version;
             return version.has_value();
           });
}

}  // namespace

std::filesystem::path ProgramFolder(const char* argv0) {
  std::error_code ec;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec) return self.parent_path();
  return std::filesystem::absolute(argv0, ec).parent_path();
}

int RunCli(int argc, const char* const* argv, const std::filesystem::path& appFolder,
           std::ostream& out, std::ostream& err) {
  CLI::App app{"Quorle: a SysEx librarian for the Alesis Andromeda", "quorle-cli"};
  app.require_subcommand(1);
  app.set_version_flag("--version", [] { return VersionReport(TVersionInfo()); });
  std::function<void()> command;

  LiveOptions live;
  live.midi.sim.rate = 0;  // the command line talks to the simulator at once unless told
  std::vector<std::string> simErrors;
  AddLiveOptions(app, live, simErrors);

  std::string file;
  bool json = false;
  bool names = false;
  auto* info = app.add_subcommand("info", "Tell what a .syx file holds");
  info->add_option("FILE", file, "The .syx file")->required();
  auto* jsonFlag = info->add_flag("--json", json, "One JSON object instead of text");
  info->add_flag("--names", names, "Only the names, one a line, trailing blanks trimmed")
      ->excludes(jsonFlag);
  info->callback([&] { command = [&] { InfoCommand(file, json, out, names); }; });

  int index = 0;
  std::string name;
  std::string output;
  auto* rename = app.add_subcommand("rename", "Write a copy of a file with one dump renamed");
  rename->add_option("FILE", file, "A Program or Mix file or bank file")->required();
  rename->add_option("INDEX", index, "The dump's position: 0 for a single dump, 0 to 127 in a bank")
      ->required();
  rename->add_option("NAME", name, "The new name, at most 16 characters")->required();
  rename->add_option("-o,--output", output, "The file to write (may be FILE itself)")->required();
  rename->callback([&] { command = [&] { RenameCommand(file, index, name, output, out); }; });

  std::string folder;
  auto* split = app.add_subcommand("split", "Write a bank file as 128 single-dump files");
  split->add_option("FILE", file, "A Program or Mix bank file")->required();
  split->add_option("DIR", folder, "The folder to write into")->required();
  split->callback([&] { command = [&] { SplitCommand(file, folder, out); }; });

  std::optional<std::string> libraryFile;
  app.add_option("--library", libraryFile,
                 "The library file (default: QUORLE_LIBRARY, else library.sqlite beside the "
                 "program or in the user's data folder)")
      ->check(LibraryOptionProblem, "FILE");
  std::unique_ptr<LibraryConnection> library;
  const std::function<LibraryConnection&()> openLibrary = [&]() -> LibraryConnection& {
    if (!library) {
      library = std::make_unique<LibraryConnection>(ResolveLibraryPath(libraryFile, appFolder));
    }
    return *library;
  };

  std::unique_ptr<LiveSession> session;
  const std::function<LiveSession&()> startSession = [&]() -> LiveSession& {
    if (const char* api = std::getenv("QUORLE_MIDI_API"); api && std::string(api) == "none") {
      live.midi.realDevices = false;
    }
    session = std::make_unique<LiveSession>(live, appFolder, out, err);
    session->Start();
    // What the instrument held and when goes into the library as it arrives.
    session->Form().SetDumpListener(&openLibrary());
    session->Form().DataFolder = std::filesystem::absolute(openLibrary().File()).parent_path();
    return *session;
  };

  auto* devices = app.add_subcommand("devices", "List the MIDI ports --in and --out can name");
  devices->add_flag("--json", json, "One JSON object instead of text");
  devices->callback([&] { command = [&] { DevicesCommand(live, appFolder, json, out, err); }; });

  bool all = false;
  auto* check = app.add_subcommand("check", "Ask the instrument who it is");
  check->add_flag("--all", all, "Try every output and listen on every input");
  check->callback([&] {
    // Each output is listened to for a second, unless --timeout gives a listening time.
    const auto window =
        live.timeout && *live.timeout > 0
            ? std::chrono::milliseconds(static_cast<long long>(*live.timeout * 1000))
            : std::chrono::milliseconds(1000);
    if (all) command = [&, window] { CheckAllCommand(live, window, out, err); };
    if (all) return;
    command = [&] {
      TfrmMain& f = startSession().Form();
      RequireOutput(f);
      f.Guarded([&] { f.btnCheckClick(); });
      session->WaitFor([&] { return session->Host().InformationCount() > 0; });
    };
  });

  AddLiveCommands(app, command, startSession);
  AddBackupCommands(app, command, startSession, out);
  AddLibraryCommands(app, command, openLibrary, startSession, out, err);

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    out << app.help();
    return kExitOk;
  } catch (const CLI::CallForVersion& e) {
    out << e.what() << '\n';
    return kExitOk;
  } catch (const CLI::CallForAllHelp&) {
    out << app.help("", CLI::AppFormatMode::All);
    return kExitOk;
  } catch (const CLI::ParseError& e) {
    err << "quorle-cli: " << e.what() << '\n' << "Run with --help for usage.\n";
    return kExitUsage;
  }
  if (!simErrors.empty()) {
    err << "quorle-cli: " << simErrors.front() << '\n';
    return kExitUsage;
  }
  if (live.simulator) {
    // A rehearsal never reaches a real instrument, whatever the stored or named devices.
    for (const auto& [flag, device] : {std::pair{"--in", live.in}, std::pair{"--out", live.out}}) {
      if (device && *device != SimulatedAndromeda::kDeviceName) {
        err << "quorle-cli: the --sim- options mean the " << SimulatedAndromeda::kDeviceName
            << ", but " << flag << " " << *device << " names another device\n";
        return kExitUsage;
      }
    }
    live.midi.realDevices = false;
  }
  ApplySimEnvironment(live.midi.sim, std::getenv(SimSettings::kStateVariable),
                      !live.midi.sim.stateFile.empty());

  int status = kExitOk;
  try {
    command();
  } catch (const Refusal& e) {
    if (*e.what()) err << e.what() << '\n';
    status = kExitRefused;
  } catch (const NoReply& e) {
    err << e.what() << '\n';
    status = kExitNoReply;
  } catch (const SendFailure& e) {
    err << e.what() << '\n';
    status = kExitNoReply;
  } catch (const Interrupted& e) {
    // The status line has said what was given up.
    status = 128 + e.signal;
  }
  // What the MIDI system said (RtMidi's reason for a refused send, an input warning) follows.
  for (const std::string& line : MidiSystemLog::Main().Take()) err << "MIDI: " << line << '\n';
  return status;
}

}  // namespace quorle
