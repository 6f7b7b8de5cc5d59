#include "cli/DeviceCommands.h"

#include <memory>
#include <nlohmann/json.hpp>

#include "cli/OfflineCommands.h"
#include "midi/MidiDispatcher.h"
#include "midi/TMidiInput.h"
#include "midi/TMidiOutput.h"
#include "protocol/MessageSet.h"

namespace quorle {

namespace {

void PrintList(const char* title, const std::vector<std::string>& names, std::ostream& out) {
  out << title << '\n';
  if (names.empty()) out << "  (none)\n";
  for (std::size_t i = 0; i < names.size(); ++i) out << "  " << i << "  " << names[i] << '\n';
}

nlohmann::json JsonList(const std::vector<std::string>& names) {
  nlohmann::json list = nlohmann::json::array();
  for (std::size_t i = 0; i < names.size(); ++i)
    list.push_back({{"number", i}, {"name", names[i]}});
  return list;
}

}  // namespace

std::string DeviceChoices(const std::vector<std::string>& names) {
  if (names.empty()) return "none";
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i) {
    text += (i ? ", " : "") + std::to_string(i) + " \"" + names[i] + "\"";
  }
  return text;
}

void DevicesCommand(const LiveOptions& live, const std::filesystem::path& appFolder, bool json,
                    std::ostream& out, std::ostream& err) {
  // The window's own lists, without opening a port or touching the settings.
  LiveSession session(live, appFolder, out, err);
  TfrmMain& form = session.Form();
  form.InitMidiControls();
  if (json) {
    out << nlohmann::json{{"inputs", JsonList(form.cbxInItems)},
                          {"outputs", JsonList(form.cbxOutItems)}}
               .dump(2)
        << '\n';
    return;
  }
  PrintList("MIDI inputs (--in):", form.cbxInItems, out);
  PrintList("MIDI outputs (--out):", form.cbxOutItems, out);
}

void CheckAllCommand(const LiveOptions& live, std::chrono::milliseconds window, std::ostream& out,
                     std::ostream& err) {
  std::unique_ptr<MidiSystem> midi;
  try {
    midi = std::make_unique<MidiSystem>(live.midi);
  } catch (const std::runtime_error& e) {
    throw Refusal(e.what());
  }
  MidiService& service = midi->Service();
  MidiDispatcher& dispatcher = MidiDispatcher::Main();

  struct Answer {
    unsigned input;
    std::string version;
  };
  std::vector<Answer> answers;
  std::vector<std::unique_ptr<TMidiInput>> inputs;
  const unsigned inputCount = TMidiInput(service, dispatcher).DeviceCount();
  for (unsigned i = 0; i < inputCount; ++i) {
    auto input = std::make_unique<TMidiInput>(service, dispatcher);
    input->SetDeviceID(static_cast<std::uint16_t>(i));
    input->SetSysexOnly(true);
    input->SetSysexBufferCount(4);
    input->Open();
    if (!input->IsOpen()) {
      err << "MIDI input " << i << " \"" << input->ProductName() << "\" cannot be opened\n";
      continue;
    }
    input->SetOnMidiInput([&answers, i](TMidiInput& port) {
      const auto event = port.FetchEvent();
      if (!event) return;
      const Identity id =
          RecogniseIdentityReply(ByteView(event->SysexData.data(), event->SysexSize));
      if (id.result == IdentityResult::Andromeda) answers.push_back({i, id.version});
    });
    input->Start();
    inputs.push_back(std::move(input));
  }

  int found = 0;
  TMidiOutput output(service, dispatcher);
  const unsigned outputCount = output.DeviceCount();
  for (unsigned o = 0; o < outputCount; ++o) {
    output.SetDeviceID(static_cast<int>(o));
    if (!output.Open()) {
      err << "MIDI output " << o << " \"" << output.ProductName() << "\" cannot be opened\n";
      continue;
    }
    answers.clear();
    output.SendLong(IdentityRequest());
    // Every input may answer, so the whole window is listened through.
    dispatcher.DispatchUntil([] { return false; }, window);
    dispatcher.DispatchUntil([&] { return output.MessagesInFlight() == 0; }, window);
    for (const Answer& a : answers) {
      TMidiInput names(service, dispatcher);
      names.SetDeviceID(static_cast<std::uint16_t>(a.input));
      out << "Alesis Andromeda version " << a.version << ": --in " << a.input << " \""
          << names.ProductName() << "\" --out " << o << " \"" << output.ProductName() << "\"\n";
      ++found;
    }
    output.Close();
  }
  for (auto& input : inputs) input->Close();
  if (found == 0) throw NoReply();
}

}  // namespace quorle
