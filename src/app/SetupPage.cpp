#include <algorithm>
#include <cctype>

#include "app/TfrmMain.h"

namespace quorle {

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
  if (cbxInIndex < 0) return;  // typed text that names no device
  MidiIn.SetDeviceID(static_cast<std::uint16_t>(cbxInIndex));
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
}

void TfrmMain::RecDeviceInfo(TMidiInput& port) {
  const auto event = Fetch(port);
  if (!event) return;
  const ByteView message(event->SysexData.data(), event->SysexSize);
  const Identity id = RecogniseIdentityReply(message);
  if (id.result == IdentityResult::WrongLength) {
    SetStatus(UnknownMessageText(event->SysexSize));
  } else if (id.result == IdentityResult::Andromeda) {
    StopWatching();
    host_.ShowMessage(MessageIcon::Information,
                      "Alesis Andromeda version " + id.version + " found");
  }
}

}  // namespace quorle
