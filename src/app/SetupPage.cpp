#include <algorithm>
#include <cctype>

#include "app/TfrmMain.h"
#include "midi/MidiService.h"

namespace quorle {

namespace {

// The ports' names as the MIDI system lists them now.
std::vector<std::string> DeviceNames(MidiService& service, bool inputs) {
  std::vector<std::string> names;
  const unsigned count = inputs ? service.InGetNumDevs() : service.OutGetNumDevs();
  for (unsigned i = 0; i < count; ++i) {
    std::string name;
    if (inputs) {
      MidiInCaps caps;
      if (service.InGetDevCaps(i, caps) == MMSYSERR_NOERROR) name = caps.szPname;
    } else {
      MidiOutCaps caps;
      if (service.OutGetDevCaps(i, caps) == MMSYSERR_NOERROR) name = caps.szPname;
    }
    names.push_back(name);
  }
  return names;
}

// Where the chosen device stands in names: at its number when that still names it, else wherever
// its name is; -1 when no port has the name. A choice without a name keeps its number.
int DevicePlace(const std::vector<std::string>& names, int number, const std::string& name) {
  const int count = static_cast<int>(names.size());
  if (name.empty()) return number >= 0 && number < count ? number : -1;
  if (number >= 0 && number < count && names[number] == name) return number;
  const auto found = std::find(names.begin(), names.end(), name);
  return found == names.end() ? -1 : static_cast<int>(found - names.begin());
}

}  // namespace

std::string TfrmMain::MissingDeviceText() const {
  const std::string& missing = !missingOut_.empty() ? missingOut_ : missingIn_;
  return missing.empty() ? "" : " The MIDI device \"" + missing + "\" is not connected";
}

void TfrmMain::FollowDevices() {
  if (SessionDevice) return;
  const std::vector<std::string> ins = DeviceNames(service_, true);
  if (!InputDeviceName.empty()) {
    const bool wasMissing = !missingIn_.empty();
    const int at = DevicePlace(ins, MidiIn.DeviceID(), InputDeviceName);
    missingIn_ = at < 0 ? InputDeviceName : "";
    if (at < 0 && InputOpen) {
      MidiIn.Close();
      InputOpen = false;
    }
    if (at >= 0 && (wasMissing || at != MidiIn.DeviceID())) {
      cbxInItems = ins;
      cbxInIndex = at;
      cbxInChange();
    }
  }
  const std::vector<std::string> outs = DeviceNames(service_, false);
  if (!OutputDeviceName.empty()) {
    const bool wasMissing = !missingOut_.empty();
    const int at = DevicePlace(outs, MidiOut.DeviceID(), OutputDeviceName);
    missingOut_ = at < 0 ? OutputDeviceName : "";
    if (at < 0 && OutputOpen && MidiOut.MessagesInFlight() == 0) {
      MidiOut.Close();
      OutputOpen = false;
    }
    if (at >= 0 && (wasMissing || at != MidiOut.DeviceID())) {
      cbxOutItems = outs;
      cbxOutIndex = at;
      cbxOutChange();
    }
  }
}

bool TfrmMain::OutputReady(bool sayNotOpen) {
  FollowDevices();
  if (const std::string missing = MissingDeviceText(); !missing.empty()) {
    SetStatus(missing);
    return false;
  }
  if (!OutputOpen && sayNotOpen) SetStatus(kNoOutputText);
  return OutputOpen;
}

void TfrmMain::btnRefreshClick() {
  if (!ControlsEnabled()) return;
  cbxInItems = DeviceNames(service_, true);
  cbxOutItems = DeviceNames(service_, false);
  const auto place = [](const std::vector<std::string>& names, const std::string& name) {
    const auto found = std::find(names.begin(), names.end(), name);
    return found == names.end() ? -1 : static_cast<int>(found - names.begin());
  };
  if (!InputDeviceName.empty()) cbxInIndex = place(cbxInItems, InputDeviceName);
  if (!OutputDeviceName.empty()) cbxOutIndex = place(cbxOutItems, OutputDeviceName);
  FollowDevices();
  host_.StateChanged();
  const std::string missing = MissingDeviceText();
  SetStatus(missing);
}

void TfrmMain::InitMidiControls() {
  InputOpen = false;
  cbxInItems.clear();
  for (unsigned i = 0; i < MidiIn.DeviceCount(); ++i) {
    MidiIn.SetDeviceID(static_cast<std::uint16_t>(i));
    cbxInItems.push_back(MidiIn.ProductName());
  }
  // With no device at all there is nothing to select; the port stays closed.
  cbxInIndex = cbxInItems.empty() ? -1 : 0;
  if (!cbxInItems.empty()) MidiIn.SetDeviceID(0);

  OutputOpen = false;
  cbxOutItems.clear();
  for (unsigned i = 0; i < MidiOut.DeviceCount(); ++i) {
    MidiOut.SetDeviceID(static_cast<int>(i));
    cbxOutItems.push_back(MidiOut.ProductName());
  }
  cbxOutIndex = cbxOutItems.empty() ? -1 : 0;
  if (!cbxOutItems.empty()) MidiOut.SetDeviceID(0);
  host_.StateChanged();
}

void TfrmMain::cbxInChange() {
  if (InputOpen) MidiIn.Close();
  InputOpen = false;
  if (cbxInIndex < 0) return;  // typed text that names no device
  MidiIn.SetDeviceID(static_cast<std::uint16_t>(cbxInIndex));
  if (!SessionDevice) InputDeviceName = MidiIn.ProductName();
  missingIn_.clear();
  MidiIn.SetSysexOnly(true);
  MidiIn.Open();
  MidiIn.Start();
  InputOpen = true;
}

void TfrmMain::cbxOutChange() {
  if (OutputOpen) {
    MidiOut.Close();
    OutputOpen = false;
  }
  if (cbxOutIndex < 0) return;
  MidiOut.SetDeviceID(cbxOutIndex);
  if (!SessionDevice) OutputDeviceName = MidiOut.ProductName();
  missingOut_.clear();
  if (MidiOut.Open()) {
    OutputOpen = true;
  } else {
    host_.ShowMessage(MessageIcon::Error, "Can't open Midi Out port " + MidiOut.ProductName());
  }
}

void TfrmMain::tbSendDelayChange() {
  SendDelay = tbSendDelayPosition;
  lblSendDelayCaption = std::to_string(tbSendDelayPosition) + " ms ";
  host_.StateChanged();
}

int TfrmMain::FieldValue(const std::string& text, int minimum) {
  if (text.empty() || text.size() > 9 || !std::all_of(text.begin(), text.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c));
      })) {
    return minimum;
  }
  // The port's fields are 16 bits wide; a longer number must not wrap around.
  return std::min(std::stoi(text), 65535);
}

void TfrmMain::spCountChange() {
  ReopenInput([&] {
    MidiIn.SetSysexBufferCount(
        static_cast<std::uint16_t>(FieldValue(spCountText, kMinBufferCount)));
  });
}

void TfrmMain::spSizeChange() {
  ReopenInput([&] {
    MidiIn.SetSysexBufferSize(static_cast<std::uint16_t>(FieldValue(spSizeText, kMinBufferSize)));
  });
}

void TfrmMain::ReopenInput(const std::function<void()>& set) {
  // A port left closed (no device could be opened) still takes the value, so the next open uses
  // it and the settings keep it.
  if (InputOpen) MidiIn.Close();
  set();
  if (!InputOpen) return;
  MidiIn.Open();
  MidiIn.Start();
}

void TfrmMain::SetFieldFromProgram(std::string& text, int value, int minimum, int maximum,
                                   void (TfrmMain::*change)()) {
  const std::string shown = std::to_string(std::clamp(value, minimum, maximum));
  if (shown == text) return;
  text = shown;
  host_.StateChanged();
  Guarded([&] { (this->*change)(); });
}

void TfrmMain::UserSelectsInput(int index) {
  cbxInIndex = index >= 0 && index < static_cast<int>(cbxInItems.size()) ? index : -1;
  Guarded([&] { cbxInChange(); });
}

void TfrmMain::UserSelectsOutput(int index) {
  cbxOutIndex = index >= 0 && index < static_cast<int>(cbxOutItems.size()) ? index : -1;
  Guarded([&] { cbxOutChange(); });
}

void TfrmMain::UserMovesSendDelay(int position) {
  position = std::clamp(position, 0, kMaxSendDelay);
  if (position == tbSendDelayPosition) return;
  tbSendDelayPosition = position;
  tbSendDelayChange();
}

void TfrmMain::UserTypesBufferCount(const std::string& text) {
  spCountText = text;
  Guarded([&] { spCountChange(); });
}

void TfrmMain::UserTypesBufferSize(const std::string& text) {
  spSizeText = text;
  Guarded([&] { spSizeChange(); });
}

void TfrmMain::UserLeavesBufferCount() {
  const int value = FieldValue(spCountText, kMinBufferCount);
  SetFieldFromProgram(spCountText, value, kMinBufferCount, kMaxBufferCount,
                      &TfrmMain::spCountChange);
}

void TfrmMain::UserLeavesBufferSize() {
  const int value = FieldValue(spSizeText, kMinBufferSize);
  SetFieldFromProgram(spSizeText, value, kMinBufferSize, kMaxBufferSize, &TfrmMain::spSizeChange);
}

void TfrmMain::btnCheckClick() {
  SendRequest(IdentityRequest(), &TfrmMain::RecDeviceInfo, false);
  if (!awaiting_) return;  // nothing went out
  checking_ = true;
  SetStatus(kCheckingText);
  host_.StateChanged();
}

void TfrmMain::EndCheck() {
  if (!checking_) return;
  checking_ = false;
  host_.StateChanged();
}

void TfrmMain::RecDeviceInfo(TMidiInput& port) {
  const auto event = Fetch(port);
  if (!event) return;
  const ByteView message(event->SysexData.data(), event->SysexSize);
  const Identity id = RecogniseIdentityReply(message);
  if (id.result == IdentityResult::WrongLength) {
    SayUnknown(message);
  } else if (id.result == IdentityResult::Andromeda) {
    StopWatching();
    if (checking_) SetStatus("");
    EndCheck();
    host_.ShowMessage(MessageIcon::Information,
                      "Alesis Andromeda version " + id.version + " found");
  }
}

}  // namespace quorle
