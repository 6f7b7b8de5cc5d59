#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "midi/MidiDispatcher.h"
#include "midi/MidiService.h"
#include "midi/MidiWindow.h"
#include "midi/TMidiCallbackContext.h"
#include "midi/TMidiEventRing.h"
#include "midi/TMyMidiEvent.h"
#include "midi/TMyMidiHdr.h"

namespace quorle {

// One MIDI input device. Received events go through the ring to the dispatcher's thread, where
// OnMidiInput is raised once per waiting event; the handler takes the oldest with FetchEvent.
// Every call belongs to the thread that runs the dispatcher.
class TMidiInput {
 public:
  using Handler = std::function<void(TMidiInput& sender)>;

  // Selects device 0; raises "Invalid device ID" when there is no input device.
  explicit TMidiInput(MidiService& service, MidiDispatcher& dispatcher = MidiDispatcher::Main());
  ~TMidiInput();
  TMidiInput(const TMidiInput&) = delete;
  TMidiInput& operator=(const TMidiInput&) = delete;

  // Never raises; a failure leaves the port closed and its code in Error.
  void Open();
  void Start();
  std::unique_ptr<TMyMidiEvent> FetchEvent();  // nothing while closed or when none waits
  std::uint16_t PendingCount() const;
  void Close();
  bool IsOpen() const { return open_; }

  const std::string& ProductName() const { return productName_; }
  void SetProductName(const std::string& name);
  std::uint16_t DeviceID() const { return deviceID_; }
  void SetDeviceID(std::uint16_t id);
  std::uint16_t Capacity() const { return capacity_; }
  void SetCapacity(std::uint16_t capacity) { capacity_ = capacity; }
  std::uint16_t Error() const { return error_; }
  std::uint16_t SysexBufferSize() const { return sysexBufferSize_; }
  void SetSysexBufferSize(std::uint16_t size);
  std::uint16_t SysexBufferCount() const { return sysexBufferCount_; }
  void SetSysexBufferCount(std::uint16_t count);
  bool SysexOnly() const { return sysexOnly_; }
  void SetSysexOnly(bool only);
  const Handler& OnMidiInput() const { return onMidiInput_; }
  void SetOnMidiInput(Handler handler) { onMidiInput_ = std::move(handler); }
  const Handler& OnOverflow() const { return onOverflow_; }
  void SetOnOverflow(Handler handler) { onOverflow_ = std::move(handler); }
  // Times the MIDI system reported lost input while this port was open, each dropping the SysEx
  // it was receiving then; counted as the notices come, in order with the messages.
  std::size_t InputLosses() const { return inputLosses_; }

  unsigned DeviceCount() const { return deviceCount_; }
  std::uint32_t DriverVersion() const { return driverVersion_; }
  std::uint16_t MID() const { return mid_; }
  std::uint16_t PID() const { return pid_; }

 private:
  void WindowProc(const MidiNotice& notice);
  void FailOpen();
  [[noreturn]] void Raise(MidiResult code);
  std::string ErrorText(MidiResult code);

  MidiService& service_;
  MidiWindow window_;
  HMIDIIN handle_ = nullptr;
  bool open_ = false;
  std::unique_ptr<TMidiEventRing> ring_;
  std::unique_ptr<TMidiCallbackContext> context_;
  std::vector<std::unique_ptr<TMyMidiHdr>> buffers_;

  std::string productName_;
  std::uint16_t deviceID_ = 0;
  std::uint16_t capacity_ = 1024;
  std::uint16_t error_ = 0;
  std::uint16_t sysexBufferSize_ = 4096;
  std::uint16_t sysexBufferCount_ = 16;
  bool sysexOnly_ = false;
  Handler onMidiInput_;
  Handler onOverflow_;
  std::size_t inputLosses_ = 0;
  unsigned deviceCount_ = 0;
  std::uint32_t driverVersion_ = 0;
  std::uint16_t mid_ = 0;
  std::uint16_t pid_ = 0;
};

}  // namespace quorle
