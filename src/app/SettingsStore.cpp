#include <algorithm>
#include <charconv>
#include <locale>
#include <sstream>

#include "app/IniFile.h"
#include "app/InstallLayout.h"
#include "app/TfrmMain.h"
#include "midi/EMidiInputError.h"
#include "midi/EmidioutputError.h"

namespace quorle {

namespace {

constexpr const char* kMidi = "MIDI";
constexpr const char* kProgram = "PROGRAM";
constexpr const char* kLibrary = "LIBRARY";

}  // namespace

std::filesystem::path TfrmMain::SettingsPath() const {
  return SettingsFileFor(AppFolder);
}

void TfrmMain::ReadRegistry() {
  // There is no older store on this platform: a missing file means the defaults. A read-only
  // copy's own settings beside the program still count until the first ones of its own are kept.
  const std::filesystem::path path = SettingsPath();
  const std::filesystem::path beside = std::filesystem::path(AppFolder) / "quorle.ini";
  std::error_code ec;
  const IniFile ini = IniFile::Load(
      !std::filesystem::exists(path, ec) && std::filesystem::exists(beside, ec) ? beside : path);
  auto integer = [&](const char* section, const char* key, long long fallback) {
    return ini.GetInt(section, key, fallback);
  };
  auto folder = [&](const char* key) { return ini.Get(kProgram, key).value_or(""); };
  // A value the port refuses is remembered and shown once; the other settings still apply.
  auto apply = [&](const std::function<void()>& set) {
    try {
      set();
    } catch (const std::exception& e) {
      if (!startupError_) startupError_ = e.what();
    }
  };
  // Values that do not fit a port's 16-bit property are out of range like any other stale one.
  auto port16 = [](long long v) { return v >= 0 && v <= 65535; };

  // A device is the user's choice by name; its number is where it stood when chosen.
  long long input = integer(kMidi, "InputDeviceID", 0);
  long long output = integer(kMidi, "OutputDeviceID", 0);
  InputDeviceName = ini.Get(kMidi, "InputDeviceName").value_or("");
  OutputDeviceName = ini.Get(kMidi, "OutputDeviceName").value_or("");
  if (SessionDevice) {
    // The last port of that name: the in-process simulator is listed after every real device.
    const auto at = [&](const std::vector<std::string>& names) {
      const auto found = std::find(names.rbegin(), names.rend(), *SessionDevice);
      return found == names.rend() ? -1LL : static_cast<long long>(names.rend() - found - 1);
    };
    input = at(cbxInItems);
    output = at(cbxOutItems);
    if (input < 0) missingIn_ = *SessionDevice;
    if (output < 0) missingOut_ = *SessionDevice;
  } else {
    const auto follow = [](const std::vector<std::string>& names, long long& number,
                           const std::string& name, std::string& missing) {
      if (name.empty()) return;
      if (number >= 0 && number < static_cast<long long>(names.size()) && names[number] == name)
        return;
      const auto found = std::find(names.begin(), names.end(), name);
      if (found == names.end()) {
        missing = name;
        number = 0;
      } else {
        number = found - names.begin();
      }
    };
    follow(cbxInItems, input, InputDeviceName, missingIn_);
    follow(cbxOutItems, output, OutputDeviceName, missingOut_);
  }
  apply([&] {
    if (!port16(input)) throw EMidiInputError("Invalid device ID");
    if (!missingIn_.empty() && cbxInItems.empty()) return;
    MidiIn.SetDeviceID(static_cast<std::uint16_t>(input));
    if (InputDeviceName.empty() && !SessionDevice) InputDeviceName = MidiIn.ProductName();
  });
  const long long size = integer(kMidi, "BufferSize", 4096);
  MidiIn.SetSysexBufferSize(static_cast<std::uint16_t>(port16(size) ? size : 4096));
  const long long count = integer(kMidi, "BufferCount", 4);
  MidiIn.SetSysexBufferCount(static_cast<std::uint16_t>(port16(count) ? count : 4));
  apply([&] {
    if (output < 0 || output > 65535) throw EmidioutputError("Invalid device ID");
    if (!missingOut_.empty() && cbxOutItems.empty()) return;
    MidiOut.SetDeviceID(static_cast<int>(output));
    if (OutputDeviceName.empty() && !SessionDevice) OutputDeviceName = MidiOut.ProductName();
  });
  SendDelay =
      static_cast<int>(std::clamp<long long>(integer(kMidi, "SendDelay", 15), -1000000, 1000000));
  // A missing, unreadable or negative value means the default; fractions are kept. Read with a
  // decimal point whatever the user's locale, as it is written.
  const std::string timeout = ini.Get(kMidi, "ReplyTimeout").value_or("");
  double seconds = -1;
  const char* const last = timeout.data() + timeout.size();
  if (const auto [end, error] = std::from_chars(timeout.data(), last, seconds);
      error != std::errc() || end != last) {
    seconds = -1;
  }
  ReplyTimeout = seconds >= 0 && seconds <= 86400 ? seconds : 10;
  Verify = integer(kMidi, "Verify", 0) != 0;
  ActivePage =
      static_cast<int>(std::clamp<long long>(integer(kProgram, "ActivePage", 1), -1, 1000));
  LibraryCapture = integer(kLibrary, "Capture", 1) != 0;
  KeepReplaced = integer(kLibrary, "KeepReplaced", 1) != 0;
  ProgramPath = folder("ProgramPath");
  BankPath = folder("BankPath");
  MixPath = folder("MixPath");
  MixBankPath = folder("MixBankPath");
  GlobalPath = folder("GlobalPath");
  ProgramBanksOnCard =
      static_cast<int>(std::clamp<long long>(integer(kProgram, "ProgramBanksOnCard", -1), -1, 14));
  MixBanksOnCard =
      static_cast<int>(std::clamp<long long>(integer(kProgram, "MixBanksOnCard", -1), -1, 14));

  cbxInIndex = MidiIn.DeviceID() < cbxInItems.size() ? MidiIn.DeviceID() : cbxInIndex;
  cbxOutIndex = MidiOut.DeviceID() >= 0 && MidiOut.DeviceID() < static_cast<int>(cbxOutItems.size())
                    ? MidiOut.DeviceID()
                    : cbxOutIndex;
  if (!missingIn_.empty()) cbxInIndex = -1;
  if (!missingOut_.empty()) cbxOutIndex = -1;
}

void TfrmMain::WriteRegistry() {
  const std::filesystem::path path = SettingsPath();
  IniFile ini = IniFile::Load(path);
  // A device missing today, or a device of this run only, leaves the stored choice as it was.
  if (!SessionDevice && missingIn_.empty() && !InputDeviceName.empty()) {
    ini.Set(kMidi, "InputDeviceID", std::to_string(MidiIn.DeviceID()));
    ini.Set(kMidi, "InputDeviceName", InputDeviceName);
  }
  if (!SessionDevice && missingOut_.empty() && !OutputDeviceName.empty()) {
    ini.Set(kMidi, "OutputDeviceID", std::to_string(MidiOut.DeviceID()));
    ini.Set(kMidi, "OutputDeviceName", OutputDeviceName);
  }
  ini.Set(kMidi, "BufferCount", std::to_string(MidiIn.SysexBufferCount()));
  ini.Set(kMidi, "BufferSize", std::to_string(MidiIn.SysexBufferSize()));
  ini.Set(kMidi, "SendDelay", std::to_string(SendDelay));
  // Written after the keys older copies of the program know, which they pass over.
  std::ostringstream timeout;
  timeout.imbue(std::locale::classic());
  timeout << ReplyTimeout;
  ini.Set(kMidi, "ReplyTimeout", timeout.str());
  ini.Set(kMidi, "Verify", Verify ? "1" : "0");
  ini.Set(kProgram, "ProgramPath", ProgramPath);
  ini.Set(kProgram, "BankPath", BankPath);
  ini.Set(kProgram, "MixPath", MixPath);
  ini.Set(kProgram, "MixBankPath", MixBankPath);
  ini.Set(kProgram, "GlobalPath", GlobalPath);
  ini.Set(kProgram, "ProgramBanksOnCard", std::to_string(ProgramBanksOnCard));
  ini.Set(kProgram, "MixBanksOnCard", std::to_string(MixBanksOnCard));
  ini.Set(kProgram, "ActivePage", std::to_string(ActivePage));
  ini.Set(kLibrary, "Capture", LibraryCapture ? "1" : "0");
  ini.Set(kLibrary, "KeepReplaced", KeepReplaced ? "1" : "0");
  std::error_code ec;
  std::filesystem::create_directories(path.parent_path(), ec);
  if (!ini.Save(path)) {
    host_.ShowMessage(MessageIcon::Error, "Unable to write to " + path.string());
  }
}

}  // namespace quorle
