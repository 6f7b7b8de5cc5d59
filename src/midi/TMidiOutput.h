#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>

#include "midi/MidiDispatcher.h"
#include "midi/MidiService.h"
#include "midi/MidiWindow.h"
#include "midi/TMidiCallbackContext.h"
#include "midi/TMyMidiEvent.h"
#include "midi/TMyMidiHdr.h"

namespace quorle {

// One MIDI output device. SendLong copies the message and returns before it has gone out; the
// service's done notice, dispatched on the port's thread, frees the copy and raises
// Onmidioutput, during which DoneResult tells whether the message left. Every call belongs to
// the thread that runs the dispatcher.
class TMidiOutput {
 public:
  using Handler = std::function<void(TMidiOutput& sender)>;

  explicit TMidiOutput(MidiService& service, MidiDispatcher& dispatcher = MidiDispatcher::Main());
  virtual ~TMidiOutput();
  TMidiOutput(const TMidiOutput&) = delete;
  TMidiOutput& operator=(const TMidiOutput&) = delete;

  virtual bool Open();   // never raises
  virtual bool Close();  // true when an open device was closed; refused while messages are queued
  virtual void SendEvent(const TMyMidiEvent& event);
  virtual void SendShort(std::uint8_t status, std::uint8_t data1, std::uint8_t data2);
  virtual void SendLong(const std::uint8_t* bytes, std::uint16_t length);
  // The same for a whole message held in a buffer; longer than 65,535 bytes is refused.
  void SendLong(ByteView message);
  bool IsOpen() const { return open_; }
  // Copies not yet freed by their done notice.
  std::size_t MessagesInFlight() const { return inFlight_.size(); }
  // Of the message whose done notice was handled last: MMSYSERR_NOERROR when it left, else the
  // code of why it did not (refused by the MIDI system, or given up).
  MidiResult DoneResult() const { return doneResult_; }

  const std::string& ProductName() const { return productName_; }
  void SetProductName(const std::string& name);
  std::int32_t DeviceID() const { return deviceID_; }
  void SetDeviceID(std::int32_t id);
  const Handler& Onmidioutput() const { return onMidiOutput_; }
  void SetOnmidioutput(Handler handler) { onMidiOutput_ = std::move(handler); }

  unsigned DeviceCount() const { return deviceCount_; }
  MidiResult Error() const { return error_; }
  std::uint32_t DriverVersion() const { return caps_.vDriverVersion; }
  std::uint16_t Technology() const { return caps_.wTechnology; }
  std::uint16_t Voices() const { return caps_.wVoices; }
  std::uint16_t Notes() const { return caps_.wNotes; }
  std::uint16_t ChannelMask() const { return caps_.wChannelMask; }
  std::uint32_t Support() const { return caps_.dwSupport; }

 private:
  void WindowProc(const MidiNotice& notice);
  [[noreturn]] void Raise(MidiResult code);
  std::string ErrorText(MidiResult code);

  MidiService& service_;
  MidiWindow window_;
  HMIDIOUT handle_ = nullptr;
  bool open_ = false;
  std::unique_ptr<TMidiCallbackContext> context_;
  std::unordered_map<MidiHdr*, std::unique_ptr<TMyMidiHdr>> inFlight_;

  std::string productName_;
  std::int32_t deviceID_ = 0;
  Handler onMidiOutput_;
  unsigned deviceCount_ = 0;
  MidiResult error_ = 0;
  MidiResult doneResult_ = MMSYSERR_NOERROR;
  MidiOutCaps caps_;
};

}  // namespace quorle
