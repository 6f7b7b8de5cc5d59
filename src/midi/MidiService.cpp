#include "midi/MidiService.h"

#include "midi/MidiInputDriver.h"
#include "midi/MidiOutputDriver.h"

namespace quorle {

MidiService::~MidiService() = default;

MidiResult MidiService::InPrepareHeader(HMIDIIN handle, MidiHdr* header) {
  return handle ? handle->Prepare(header) : MMSYSERR_INVALHANDLE;
}
MidiResult MidiService::InUnprepareHeader(HMIDIIN handle, MidiHdr* header) {
  return handle ? handle->Unprepare(header) : MMSYSERR_INVALHANDLE;
}
MidiResult MidiService::InAddBuffer(HMIDIIN handle, MidiHdr* header) {
  return handle ? handle->AddBuffer(header) : MMSYSERR_INVALHANDLE;
}
MidiResult MidiService::InStart(HMIDIIN handle) {
  return handle ? handle->Start() : MMSYSERR_INVALHANDLE;
}
MidiResult MidiService::InStop(HMIDIIN handle) {
  return handle ? handle->Stop() : MMSYSERR_INVALHANDLE;
}
MidiResult MidiService::InReset(HMIDIIN handle) {
  return handle ? handle->Reset() : MMSYSERR_INVALHANDLE;
}
MidiResult MidiService::InGetErrorText(MidiResult code, std::string& text) {
  return MidiErrorText(code, text);
}

MidiResult MidiService::OutShortMsg(HMIDIOUT handle, std::uint32_t message) {
  return handle ? handle->ShortMsg(message) : MMSYSERR_INVALHANDLE;
}
MidiResult MidiService::OutPrepareHeader(HMIDIOUT handle, MidiHdr* header) {
  return handle ? handle->Prepare(header) : MMSYSERR_INVALHANDLE;
}
MidiResult MidiService::OutUnprepareHeader(HMIDIOUT handle, MidiHdr* header) {
  return handle ? handle->Unprepare(header) : MMSYSERR_INVALHANDLE;
}
MidiResult MidiService::OutLongMsg(HMIDIOUT handle, MidiHdr* header) {
  return handle ? handle->LongMsg(header) : MMSYSERR_INVALHANDLE;
}
MidiResult MidiService::OutReset(HMIDIOUT handle) {
  return handle ? handle->Reset(std::chrono::seconds(5)) : MMSYSERR_INVALHANDLE;
}
MidiResult MidiService::OutGetErrorText(MidiResult code, std::string& text) {
  return MidiErrorText(code, text);
}

MidiResult MidiErrorText(MidiResult code, std::string& text) {
  const char* t = nullptr;
  switch (code) {
    case MMSYSERR_NOERROR:
      t = "The specified command was carried out.";
      break;
    case MMSYSERR_ERROR:
      t = "Undefined external error.";
      break;
    case MMSYSERR_BADDEVICEID:
      t = "A device ID has been used that is out of range for your system.";
      break;
    case MMSYSERR_NOTENABLED:
      t = "The driver was not enabled.";
      break;
    case MMSYSERR_ALLOCATED:
      t = "The specified device is already in use. Wait until it is free, and then try again.";
      break;
    case MMSYSERR_INVALHANDLE:
      t = "The specified device handle is invalid.";
      break;
    case MMSYSERR_NODRIVER:
      t = "There is no driver installed on your system.";
      break;
    case MMSYSERR_NOMEM:
      t = "There is not enough memory available for this task. Quit one or more applications to "
          "increase available memory, and then try again.";
      break;
    case MMSYSERR_NOTSUPPORTED:
      t = "This function is not supported. Use the Capabilities function to determine which "
          "functions and messages the driver supports.";
      break;
    case MMSYSERR_BADERRNUM:
      t = "An error number was specified that is not defined in the system.";
      break;
    case MMSYSERR_INVALFLAG:
      t = "An invalid flag was passed to a system function.";
      break;
    case MMSYSERR_INVALPARAM:
      t = "An invalid parameter was passed to a system function.";
      break;
    case MIDIERR_UNPREPARED:
      t = "The header is not prepared. Use the Prepare function to prepare the header, and then "
          "try again.";
      break;
    case MIDIERR_STILLPLAYING:
      t = "This operation cannot be performed while the data is still playing. Reset the device, "
          "or wait until the data is finished playing, and then try again.";
      break;
    case MIDIERR_NOMAP:
      t = "A MIDI map was not found. There may be a problem with the driver, or the MIDIMAP.CFG "
          "file may be corrupt or missing.";
      break;
    case MIDIERR_NOTREADY:
      t = "The port is transmitting data to the device. Wait until the data has been "
          "transmitted, and then try again.";
      break;
    case MIDIERR_NODEVICE:
      t = "The MIDI device is no longer present or does not answer. Close the port and open it "
          "again.";
      break;
    case MIDIERR_INVALIDSETUP:
      t = "The MIDI setup is invalid.";
      break;
    default:
      return MMSYSERR_BADERRNUM;
  }
  text = t;
  return MMSYSERR_NOERROR;
}

}  // namespace quorle
