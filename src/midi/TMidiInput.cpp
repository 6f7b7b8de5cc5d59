#include "midi/TMidiInput.h"

#include <new>

#include "midi/EMidiInputError.h"

namespace quorle {

TMidiInput::TMidiInput(MidiService& service, MidiDispatcher& dispatcher)
    : service_(service),
      window_(dispatcher, [this](const MidiNotice& notice) { WindowProc(notice); }) {
  deviceCount_ = service_.InGetNumDevs();
  SetDeviceID(0);
}

TMidiInput::~TMidiInput() {
  if (!handle_) return;
  service_.InReset(handle_);
  for (auto& buffer : buffers_) service_.InUnprepareHeader(handle_, buffer->Header());
  if (service_.InClose(handle_) != MMSYSERR_NOERROR) {
    // The service may still write into them: better lost than freed under its feet.
    for (auto& buffer : buffers_) buffer.release();
    ring_.release();
    context_.release();
  }
}

std::string TMidiInput::ErrorText(MidiResult code) {
  std::string text;
  if (service_.InGetErrorText(code, text) != MMSYSERR_NOERROR) {
    text = "Specified error number is out of range";
  }
  return text;
}

void TMidiInput::Raise(MidiResult code) {
  throw EMidiInputError(ErrorText(code));
}

void TMidiInput::Open() {
  if (open_) return;
  if (!ring_) {
    ring_ = TMidiEventRing::Create(capacity_);
    if (!ring_) {
      context_.reset();
      return;
    }
  }
  if (!context_) context_ = std::make_unique<TMidiCallbackContext>();
  context_->Ring = ring_.get();
  context_->Dispatcher = &window_.Dispatcher();
  context_->Window = window_.Id();
  context_->SysexOnly.store(sysexOnly_ ? 1 : 0, std::memory_order_relaxed);

  error_ = static_cast<std::uint16_t>(
      service_.InOpen(&handle_, deviceID_, &MidiCallbackProc, context_.get(), CALLBACK_FUNCTION));
  if (error_ != MMSYSERR_NOERROR) {
    handle_ = nullptr;
    FailOpen();
    return;
  }
  if (sysexBufferCount_ > 0 && sysexBufferSize_ > 0 && handle_) {
    for (unsigned i = 0; i < sysexBufferCount_; ++i) {
      std::unique_ptr<TMyMidiHdr> buffer;
      try {
        buffer = std::make_unique<TMyMidiHdr>(sysexBufferSize_);
      } catch (const std::bad_alloc&) {
        error_ = MMSYSERR_NOMEM;
        FailOpen();
        return;
      }
      buffer->Header()->dwUser = buffer.get();
      error_ = static_cast<std::uint16_t>(service_.InPrepareHeader(handle_, buffer->Header()));
      buffers_.push_back(std::move(buffer));
      if (error_ != MMSYSERR_NOERROR) {
        FailOpen();
        return;
      }
    }
    for (auto& buffer : buffers_) {
      error_ = static_cast<std::uint16_t>(service_.InAddBuffer(handle_, buffer->Header()));
      if (error_ != MMSYSERR_NOERROR) {
        FailOpen();
        return;
      }
    }
  }
  open_ = true;
}

// Gives back what a failed Open acquired. Error keeps the code of the call that failed.
void TMidiInput::FailOpen() {
  if (handle_) {
    service_.InReset(handle_);
    for (auto& buffer : buffers_) service_.InUnprepareHeader(handle_, buffer->Header());
    if (service_.InClose(handle_) != MMSYSERR_NOERROR) {
      for (auto& buffer : buffers_) buffer.release();
      ring_.release();
      context_.release();
    }
    handle_ = nullptr;
  }
  buffers_.clear();
  ring_.reset();
  context_.reset();
  open_ = false;
}

void TMidiInput::Start() {
  if (!open_) return;
  error_ = static_cast<std::uint16_t>(service_.InStart(handle_));
  if (error_ != MMSYSERR_NOERROR) Raise(error_);
}

std::unique_ptr<TMyMidiEvent> TMidiInput::FetchEvent() {
  if (!open_ || !ring_) return nullptr;
  TMidiRingItem item;
  if (!ring_->Peek(item)) return nullptr;
  auto event = std::make_unique<TMyMidiEvent>();
  event->Timestamp = item.Timestamp;
  if (!item.LongHeader) {
    event->Status = static_cast<std::uint8_t>(item.ShortMessage & 0xFF);
    event->DataByte1 = static_cast<std::uint8_t>((item.ShortMessage >> 8) & 0xFF);
    event->DataByte2 = static_cast<std::uint8_t>((item.ShortMessage >> 16) & 0xFF);
  } else {
    MidiHdr* header = item.LongHeader;
    event->Status = 0xF0;
    event->SysexSize = static_cast<std::uint16_t>(header->dwBytesRecorded);
    if (event->SysexSize > 0) {
      event->SysexData.assign(header->lpData, header->lpData + event->SysexSize);
    }
    MidiResult result = service_.InPrepareHeader(handle_, header);
    if (result == MMSYSERR_NOERROR) result = service_.InAddBuffer(handle_, header);
    error_ = static_cast<std::uint16_t>(result);
    if (result != MMSYSERR_NOERROR) Raise(result);
  }
  ring_->Remove();
  return event;
}

std::uint16_t TMidiInput::PendingCount() const {
  return open_ && ring_ ? ring_->Count() : 0;
}

void TMidiInput::Close() {
  if (!open_) return;
  open_ = false;
  error_ = static_cast<std::uint16_t>(service_.InReset(handle_));
  if (error_ != MMSYSERR_NOERROR) Raise(error_);
  while (!buffers_.empty()) {
    error_ =
        static_cast<std::uint16_t>(service_.InUnprepareHeader(handle_, buffers_.front()->Header()));
    if (error_ != MMSYSERR_NOERROR) Raise(error_);
    buffers_.erase(buffers_.begin());
  }
  error_ = static_cast<std::uint16_t>(service_.InClose(handle_));
  if (error_ != MMSYSERR_NOERROR) Raise(error_);
  handle_ = nullptr;
  ring_.reset();
}

void TMidiInput::WindowProc(const MidiNotice& notice) {
  if (notice.message == MIM_DATA) {
    if (onMidiInput_ && open_ && PendingCount() > 0) {
      const Handler handler = onMidiInput_;  // the handler may install its successor
      handler(*this);
    }
  } else if (notice.message == MIM_INPUTLOST) {
    if (open_) ++inputLosses_;
  } else if (notice.message == WM_USER) {
    if (onOverflow_ && open_) {
      const Handler handler = onOverflow_;
      handler(*this);
    }
  }
}

void TMidiInput::SetDeviceID(std::uint16_t id) {
  if (open_) throw EMidiInputError("Change to DeviceID while device was open");
  if (id >= service_.InGetNumDevs()) throw EMidiInputError("Invalid device ID");
  deviceID_ = id;
  MidiInCaps caps;
  error_ = static_cast<std::uint16_t>(service_.InGetDevCaps(id, caps));
  if (error_ != MMSYSERR_NOERROR) Raise(error_);
  productName_ = caps.szPname;
  driverVersion_ = caps.vDriverVersion;
  mid_ = caps.wMid;
  pid_ = caps.wPid;
}

void TMidiInput::SetProductName(const std::string& name) {
  if (open_) throw EMidiInputError("Change to ProductName while device was open");
  const unsigned count = service_.InGetNumDevs();
  for (unsigned i = 0; i < count; ++i) {
    MidiInCaps caps;
    error_ = static_cast<std::uint16_t>(service_.InGetDevCaps(i, caps));
    if (error_ != MMSYSERR_NOERROR) Raise(error_);
    if (caps.szPname == name) {
      SetDeviceID(static_cast<std::uint16_t>(i));
      return;
    }
  }
  throw EMidiInputError("MIDI Input Device " + name + " not installed ");
}

void TMidiInput::SetSysexBufferSize(std::uint16_t size) {
  if (open_) throw EMidiInputError("Change to SysexBufferSize while device was open");
  sysexBufferSize_ = size;
}

void TMidiInput::SetSysexBufferCount(std::uint16_t count) {
  if (open_) throw EMidiInputError("Change to SysexBuffercount while device was open");
  sysexBufferCount_ = count;
}

void TMidiInput::SetSysexOnly(bool only) {
  sysexOnly_ = only;
  if (context_) context_->SysexOnly.store(only ? 1 : 0, std::memory_order_relaxed);
}

}  // namespace quorle
