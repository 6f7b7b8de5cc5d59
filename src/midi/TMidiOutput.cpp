#include "midi/TMidiOutput.h"

#include <cstring>

#include "midi/EmidioutputError.h"

namespace quorle {

TMidiOutput::TMidiOutput(MidiService& service, MidiDispatcher& dispatcher)
    : service_(service),
      window_(dispatcher, [this](const MidiNotice& notice) { WindowProc(notice); }) {
  deviceCount_ = service_.OutGetNumDevs();
}

TMidiOutput::~TMidiOutput() {
  if (!handle_) return;
  // Whatever is still queued is given up; the service may take a while over a stuck send.
  service_.OutReset(handle_);
  if (service_.OutClose(handle_) != MMSYSERR_NOERROR) {
    // The service may still read them: better lost than freed under its feet.
    for (auto& [header, copy] : inFlight_) copy.release();
    context_.release();
  }
}

std::string TMidiOutput::ErrorText(MidiResult code) {
  std::string text;
  if (service_.OutGetErrorText(code, text) != MMSYSERR_NOERROR) {
    text = "Specified error number is out of range";
  }
  return text;
}

void TMidiOutput::Raise(MidiResult code) {
  throw EmidioutputError(ErrorText(code));
}

bool TMidiOutput::Open() {
  if (open_) return true;
  if (!context_) context_ = std::make_unique<TMidiCallbackContext>();
  context_->Ring = nullptr;
  context_->Dispatcher = &window_.Dispatcher();
  context_->Window = window_.Id();
  error_ = service_.OutOpen(&handle_, static_cast<unsigned>(deviceID_), &MidiCallbackProc,
                            context_.get(), CALLBACK_FUNCTION);
  if (error_ != MMSYSERR_NOERROR) {
    handle_ = nullptr;
    context_.reset();
    return false;
  }
  open_ = true;
  return true;
}

bool TMidiOutput::Close() {
  const bool wasOpen = open_;
  if (open_) {
    error_ = service_.OutClose(handle_);
    if (error_ != MMSYSERR_NOERROR) Raise(error_);
  }
  handle_ = nullptr;
  open_ = false;
  return wasOpen;
}

void TMidiOutput::SendShort(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
  const std::uint32_t packed =
      status | static_cast<std::uint32_t>(data1) << 8 | static_cast<std::uint32_t>(data2) << 16;
  error_ = service_.OutShortMsg(handle_, packed);
  if (error_ != MMSYSERR_NOERROR) Raise(error_);
}

void TMidiOutput::SendLong(const std::uint8_t* bytes, std::uint16_t length) {
  auto copy = std::make_unique<TMyMidiHdr>(length);
  if (length > 0) std::memcpy(copy->Data(), bytes, length);
  MidiHdr* header = copy->Header();
  header->dwUser = copy.get();
  // Held before the service sees it, so the done notice always finds its copy.
  inFlight_.emplace(header, std::move(copy));
  error_ = service_.OutPrepareHeader(handle_, header);
  if (error_ != MMSYSERR_NOERROR) {
    inFlight_.erase(header);
    Raise(error_);
  }
  error_ = service_.OutLongMsg(handle_, header);
  if (error_ != MMSYSERR_NOERROR) {
    service_.OutUnprepareHeader(handle_, header);
    inFlight_.erase(header);
    Raise(error_);
  }
}

void TMidiOutput::SendLong(ByteView message) {
  if (message.size() > 0xFFFF) Raise(MMSYSERR_INVALPARAM);
  SendLong(message.data(), static_cast<std::uint16_t>(message.size()));
}

void TMidiOutput::SendEvent(const TMyMidiEvent& event) {
  if (!open_) throw EmidioutputError("MIDI Output device not open");
  if (!event.SysexData.empty()) {
    SendLong(event.SysexData.data(), event.SysexSize);
  } else {
    SendShort(event.Status, event.DataByte1, event.DataByte2);
  }
}

void TMidiOutput::WindowProc(const MidiNotice& notice) {
  if (notice.message != MOM_DONE) return;
  auto* header = reinterpret_cast<MidiHdr*>(notice.lParam);
  service_.OutUnprepareHeader(handle_, header);
  // Only copies this port still holds are freed; anything else is not ours to touch.
  if (inFlight_.erase(header) == 0) return;
  doneResult_ = static_cast<MidiResult>(notice.wParam);
  if (onMidiOutput_) {
    const Handler handler = onMidiOutput_;
    handler(*this);
  }
}

void TMidiOutput::SetDeviceID(std::int32_t id) {
  if (open_) throw EmidioutputError("Change to DeviceID while device was open");
  if (id != -1 && static_cast<std::uint32_t>(id) >= service_.OutGetNumDevs()) {
    throw EmidioutputError("Invalid device ID");
  }
  deviceID_ = id;
  MidiOutCaps caps;
  error_ = service_.OutGetDevCaps(static_cast<unsigned>(id), caps);
  if (error_ != MMSYSERR_NOERROR) Raise(error_);
  caps_ = caps;
  productName_ = caps.szPname;
}

void TMidiOutput::SetProductName(const std::string& name) {
  if (open_) throw EmidioutputError("Change to ProductName while device was open");
  const unsigned count = service_.OutGetNumDevs();
  for (unsigned i = 0; i < count; ++i) {
    MidiOutCaps caps;
    error_ = service_.OutGetDevCaps(i, caps);
    if (error_ != MMSYSERR_NOERROR) Raise(error_);
    if (caps.szPname == name) {
      SetDeviceID(static_cast<std::int32_t>(i));
      return;
    }
  }
  throw EmidioutputError("MIDI output Device " + name + " not installed");
}

}  // namespace quorle
