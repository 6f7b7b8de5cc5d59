// quorle-sim: the simulated Andromeda on this machine's MIDI system, for the program, other MIDI
// tools and the tests to reach as they would reach the instrument.

#include <pthread.h>

#include <csignal>
#include <cstdlib>
#include <deque>
#include <iostream>
#include <mutex>
#include <thread>

#include "app/MidiLog.h"
#include "app/TVersionInfo.h"
#include "sim/SimSettings.h"
#include "sim/SimulatedAndromeda.h"
#include "simtool/RtMidiAndromeda.h"

namespace {

constexpr const char* kUsage =
    "Usage: quorle-sim [OPTION]...\n"
    "Puts a simulated Alesis Andromeda on the MIDI system as the port pair \"Simulated "
    "Andromeda\".\n"
    "\n"
    "  --sim-state FILE               keep the memory in FILE (a SysEx file) across runs\n"
    "  --sim-rate wire|instant|N      send at the MIDI wire rate (the default), at once,\n"
    "                                 or at N bytes per second\n"
    "  --sim-gap MS                   pause between the dumps of a bank (default 0)\n"
    "  --sim-program-card-banks N     Program banks on the card, 0 to 14 (default 2)\n"
    "  --sim-mix-card-banks N         Mix banks on the card, 0 to 14 (default 2)\n"
    "  --sim-version a.bc             version in the identity reply (default 2.05)\n"
    "  --sim-seed N                   the content of a fresh memory (default 1)\n"
    "  --sim-fault FAULT              misbehave, see the README; several may be given\n"
    "  --midi-log FILE                write every message taken and sent to FILE, one a line\n"
    "  --help                         show this text\n"
    "  --version                      show the version and build number\n"
    "\n"
    "QUORLE_SIM_STATE names the state file when --sim-state does not; QUORLE_MIDI_API chooses\n"
    "alsa or jack. Ends on SIGINT or SIGTERM.\n";

// Messages seen by the instrument's threads, waiting for the main thread to log them.
struct LogQueue {
  struct Line {
    quorle::MidiLog::Clock::time_point when;
    char direction;
    quorle::Bytes message;
  };
  std::mutex mutex;
  std::deque<Line> lines;

  void WriteTo(quorle::MidiLog& log) {
    std::deque<Line> taken;
    {
      std::lock_guard lock(mutex);
      taken.swap(lines);
    }
    for (const Line& l : taken)
      log.Write(l.when, l.direction, quorle::SimulatedAndromeda::kDeviceName, l.message);
  }
};

std::string RateText(unsigned rate) {
  if (rate == 0) return "instant";
  if (rate == quorle::SimSettings::kWireRate) return "the MIDI wire rate";
  return std::to_string(rate) + " bytes per second";
}

}  // namespace

int main(int argc, char** argv) {
  using namespace quorle;

  // Only the main thread takes the stop signals, through sigwait; every thread started from here
  // on inherits the mask, MIDI system threads included.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  std::vector<std::string> args(argv + 1, argv + argc);
  for (const auto& arg : args) {
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return 0;
    }
    if (arg == "--version") {
      std::cout << VersionReport(TVersionInfo()) << '\n';
      return 0;
    }
  }
  std::string logFile, logError;
  if (!TakeMidiLogOption(args, logFile, logError)) {
    std::cerr << "quorle-sim: " << logError << "\n" << kUsage;
    return 2;
  }
  SimSettings settings;
  const SimArguments parsed = ParseSimArguments(args, settings);
  if (!parsed.error.empty() || !parsed.rest.empty()) {
    std::cerr << "quorle-sim: "
              << (parsed.error.empty() ? "unknown argument " + parsed.rest.front() : parsed.error)
              << "\n"
              << kUsage;
    return 2;
  }
  ApplySimEnvironment(settings, std::getenv(SimSettings::kStateVariable), parsed.stateGiven);

  std::string error;
  const RtMidi::Api api = RtMidiAndromeda::ChooseApi(std::getenv("QUORLE_MIDI_API"), error);
  if (!error.empty()) {
    std::cerr << "quorle-sim: " << error << "\n";
    return 2;
  }

  SimulatedAndromeda instrument(settings);
  if (const std::string stateError = instrument.OpenState(); !stateError.empty()) {
    std::cerr << "quorle-sim: " << stateError << "\n";
    return 1;
  }
  instrument.SetStateErrorHandler(
      [](const std::string& text) { std::cerr << "quorle-sim: " << text << "\n"; });

  std::unique_ptr<MidiLog> log;
  if (!logFile.empty()) {
    try {
      log = std::make_unique<MidiLog>(logFile);
    } catch (const std::runtime_error& e) {
      std::cerr << "quorle-sim: " << e.what() << "\n";
      return 1;
    }
  }
  // The log is written by this thread alone; the instrument's threads only queue what they saw.
  LogQueue queue;
  auto midi = std::make_unique<RtMidiAndromeda>(instrument, api);
  if (log) {
    midi->SetTap([&queue](char direction, const Bytes& message) {
      std::lock_guard lock(queue.mutex);
      queue.lines.push_back({MidiLog::Clock::now(), direction, message});
    });
  }
  if (const std::string midiError = midi->Open(); !midiError.empty()) {
    std::cerr << "quorle-sim: cannot open the " << RtMidi::getApiDisplayName(api)
              << " MIDI ports: " << midiError << "\n";
    return 1;
  }
  std::cout << "quorle-sim: \"" << SimulatedAndromeda::kDeviceName << "\" is ready on "
            << midi->ApiName() << ", sending at " << RateText(settings.rate)
            << (settings.stateFile.empty() ? "" : ", memory in " + settings.stateFile.string())
            << std::endl;

  const timespec tick{0, 100'000'000};
  while (sigtimedwait(&stopSignals, nullptr, &tick) < 0) {
    if (log) queue.WriteTo(*log);
  }
  if (log) queue.WriteTo(*log);

  midi->CloseInput();
  if (!instrument.FlushState(std::chrono::seconds(30))) {
    std::cerr << "quorle-sim: the state file could not be written in time\n";
  }
  // RtMidi's JACK send can spin for ever once the server is gone; do not hang the shutdown on it.
  std::thread([] {
    std::this_thread::sleep_for(std::chrono::seconds(5));
    std::cerr << "quorle-sim: the MIDI system does not let go; ending anyway\n";
    std::_Exit(1);
  }).detach();
  midi.reset();
  return 0;
}
