#include "cli/LiveSession.h"

#include <algorithm>
#include <cctype>

#include "cli/DeviceCommands.h"
#include "cli/OfflineCommands.h"
#include "cli/StopSignals.h"
#include "midi/MidiDispatcher.h"
#include "sim/SimulatedAndromeda.h"

namespace quorle {

LiveSession::LiveSession(const LiveOptions& options, const std::filesystem::path& appFolder,
                         std::ostream& out, std::ostream& err)
    : options_(options), host_(out, err) {
  try {
    if (!options.midiLog.empty()) log_ = std::make_unique<MidiLog>(options.midiLog);
    midi_ = std::make_unique<MidiSystem>(options.midi);
  } catch (const std::runtime_error& e) {
    throw Refusal(e.what());
  }
  form_ = std::make_unique<TfrmMain>(host_, midi_->Service(), MidiDispatcher::Main(), appFolder);
  form_->Log = log_.get();
}

LiveSession::~LiveSession() {
  if (started_) form_->FormClose();
}

int LiveSession::DeviceIndex(const std::string& device, const std::vector<std::string>& names,
                             bool input) {
  const bool number =
      !device.empty() && device.size() < 6 && std::all_of(device.begin(), device.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c));
      });
  const std::string choices = std::string("\nThe MIDI ") + (input ? "inputs" : "outputs") +
                              " are: " + DeviceChoices(names) + " (quorle-cli devices lists them).";
  if (number) {
    const int index = std::stoi(device);
    if (index < static_cast<int>(names.size())) return index;
    throw Refusal("Invalid device ID: there is no MIDI " + std::string(input ? "input" : "output") +
                  " " + device + "." + choices);
  }
  const auto found = std::find(names.begin(), names.end(), device);
  if (found != names.end()) return static_cast<int>(found - names.begin());
  // The ports' own words for a name that no device has.
  throw Refusal((input ? "MIDI Input Device " + device + " not installed "
                       : "MIDI output Device " + device + " not installed ") +
                choices);
}

void LiveSession::Start() {
  if (options_.simulator) form_->SessionDevice = SimulatedAndromeda::kDeviceName;
  form_->FormCreate();
  started_ = true;
  TfrmMain& f = *form_;
  if (options_.timeout) f.ReplyTimeout = *options_.timeout;
  if (options_.in) f.UserSelectsInput(DeviceIndex(*options_.in, f.cbxInItems, true));
  if (options_.out) f.UserSelectsOutput(DeviceIndex(*options_.out, f.cbxOutItems, false));
  if (options_.delay) f.UserMovesSendDelay(*options_.delay);
  if (options_.buffers) {
    f.UserTypesBufferCount(std::to_string(*options_.buffers));
    f.UserLeavesBufferCount();
  }
  if (options_.bufferSize) {
    f.UserTypesBufferSize(std::to_string(*options_.bufferSize));
    f.UserLeavesBufferSize();
  }
}

void RequireOutput(TfrmMain& form) {
  if (form.OutputReady(false)) return;
  const std::string missing = form.MissingDeviceText();
  throw Refusal(missing.empty() ? "the MIDI output port is not open" : missing.substr(1));
}

void LiveSession::WaitFor(const std::function<bool()>& done) {
  // The window's own reply watch decides when the instrument has gone quiet for too long.
  const auto gaveUp = [&] { return form_->LastGaveUp() != TfrmMain::GaveUp::No; };
  const auto stopped = [] { return StopSignals::Taken() != 0; };
  while (!MidiDispatcher::Main().DispatchUntil([&] { return done() || gaveUp() || stopped(); },
                                               std::chrono::hours(1))) {
  }
  if (stopped()) {
    // As the window's Cancel: what the exchange left half done goes, an unfinished backup too.
    // The request on its way out is let finish, as when the window closes.
    form_->CancelExchange();
    MidiDispatcher::Main().DispatchUntil([&] { return form_->MidiOut.MessagesInFlight() == 0; },
                                         std::chrono::seconds(2));
    throw Interrupted(StopSignals::Taken());
  }
  if (form_->LastGaveUp() == TfrmMain::GaveUp::NoReply) throw NoReply();
  if (form_->LastGaveUp() == TfrmMain::GaveUp::NoOutput) {
    throw NoReply("no reply from the MIDI output port");
  }
  if (form_->LastGaveUp() == TfrmMain::GaveUp::SendFailed) {
    throw SendFailure(form_->StatusText());
  }
}

}  // namespace quorle
