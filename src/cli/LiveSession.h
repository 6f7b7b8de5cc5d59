#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>

#include "app/MidiLog.h"
#include "app/MidiSystem.h"
#include "app/TfrmMain.h"
#include "cli/CliHost.h"

namespace quorle {

// The instrument did not answer in time: exit status 3.
class NoReply : public std::runtime_error {
 public:
  explicit NoReply(const std::string& what = "no reply from the instrument")
      : std::runtime_error(what) {}
};

// The MIDI output port could not send what the command sent: exit status 3 too.
class SendFailure : public std::runtime_error {
 public:
  // status: the window's, which names what was sent before the port refused.
  explicit SendFailure(const std::string& status = TfrmMain::kSendFailedText)
      : std::runtime_error(status.substr(status.find_first_not_of(' '))) {}
};

// What the command line says about ports and the simulator, before the command name.
struct LiveOptions {
  std::optional<std::string> in, out;  // a device number or an exact device name
  std::optional<int> delay, buffers, bufferSize;
  std::optional<double> timeout;  // seconds; the stored setting when not given
  std::string midiLog;            // every message sent and received goes here when set
  // A --sim-* option was given: the simulated Andromeda for input and output, nothing real.
  bool simulator = false;

  MidiSystem::Options midi;
};

// The main window without a window: the same start-up, Setup page changes and close sequence,
// with a host that prints what the window would show.
class LiveSession {
 public:
  LiveSession(const LiveOptions& options, const std::filesystem::path& appFolder, std::ostream& out,
              std::ostream& err);
  ~LiveSession();

  // Start-up, then the port options as changes on the Setup page. Throws Refusal for a device
  // that names none.
  void Start();
  TfrmMain& Form() { return *form_; }
  CliHost& Host() { return host_; }
  MidiSystem& Midi() { return *midi_; }

  // Handles received messages until done() holds; throws NoReply when the time limit passes,
  // SendFailure when the output port could not send, Interrupted when a stop signal was taken
  // (the exchange cancelled first).
  void WaitFor(const std::function<bool()>& done);

 private:
  int DeviceIndex(const std::string& device, const std::vector<std::string>& names, bool input);

  LiveOptions options_;
  std::unique_ptr<MidiLog> log_;
  CliHost host_;
  std::unique_ptr<MidiSystem> midi_;
  std::unique_ptr<TfrmMain> form_;
  bool started_ = false;
};

// Refuses a command that needs the instrument when the output port cannot be used: its chosen
// device is not connected, or the port is not open.
void RequireOutput(TfrmMain& form);

// A command's own --verify and --no-keep-copy, for as long as it runs: the window's stored
// choices come back however the command ends, so the settings the session writes when it closes
// stay the user's.
class CommandChoices {
 public:
  CommandChoices(TfrmMain& form, bool verify, bool keepCopy)
      : form_(form), storedVerify_(form.Verify), storedKeep_(form.KeepReplaced) {
    form.Verify = verify;
    form.KeepReplaced = keepCopy;
  }
  ~CommandChoices() {
    form_.Verify = storedVerify_;
    form_.KeepReplaced = storedKeep_;
  }
  CommandChoices(const CommandChoices&) = delete;
  CommandChoices& operator=(const CommandChoices&) = delete;

 private:
  TfrmMain& form_;
  const bool storedVerify_;
  const bool storedKeep_;
};

}  // namespace quorle
