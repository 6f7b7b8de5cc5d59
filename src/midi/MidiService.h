#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace quorle {

// Result codes, numbered as on the platform the ports were first written for.
using MidiResult = unsigned;
inline constexpr MidiResult MMSYSERR_NOERROR = 0;
inline constexpr MidiResult MMSYSERR_ERROR = 1;
inline constexpr MidiResult MMSYSERR_BADDEVICEID = 2;
inline constexpr MidiResult MMSYSERR_NOTENABLED = 3;
inline constexpr MidiResult MMSYSERR_ALLOCATED = 4;
inline constexpr MidiResult MMSYSERR_INVALHANDLE = 5;
inline constexpr MidiResult MMSYSERR_NODRIVER = 6;
inline constexpr MidiResult MMSYSERR_NOMEM = 7;
inline constexpr MidiResult MMSYSERR_NOTSUPPORTED = 8;
inline constexpr MidiResult MMSYSERR_BADERRNUM = 9;
inline constexpr MidiResult MMSYSERR_INVALFLAG = 10;
inline constexpr MidiResult MMSYSERR_INVALPARAM = 11;
inline constexpr MidiResult MIDIERR_UNPREPARED = 64;
inline constexpr MidiResult MIDIERR_STILLPLAYING = 65;
inline constexpr MidiResult MIDIERR_NOMAP = 66;
inline constexpr MidiResult MIDIERR_NOTREADY = 67;
inline constexpr MidiResult MIDIERR_NODEVICE = 68;
inline constexpr MidiResult MIDIERR_INVALIDSETUP = 69;

// Callback message numbers.
inline constexpr unsigned MIM_OPEN = 0x3C1;
inline constexpr unsigned MIM_CLOSE = 0x3C2;
inline constexpr unsigned MIM_DATA = 0x3C3;
inline constexpr unsigned MIM_LONGDATA = 0x3C4;
inline constexpr unsigned MIM_ERROR = 0x3C5;
inline constexpr unsigned MIM_LONGERROR = 0x3C6;
inline constexpr unsigned MOM_OPEN = 0x3C7;
inline constexpr unsigned MOM_CLOSE = 0x3C8;
inline constexpr unsigned MOM_DONE = 0x3C9;
inline constexpr unsigned MIM_MOREDATA = 0x3CC;
inline constexpr unsigned WM_USER = 0x400;
// Quorle's own: a received message found no room in the port's buffers nor in the driver's store
// and was lost; p1 the number lost since the port opened. It may come from any service thread.
inline constexpr unsigned MIM_OVERFLOW = WM_USER + 1;
// Quorle's own: the MIDI system lost input (its input pool overran, a read failed); the SysEx
// being assembled then was dropped. p1 the number of losses since the port opened.
inline constexpr unsigned MIM_INPUTLOST = WM_USER + 2;

inline constexpr std::uint32_t CALLBACK_FUNCTION = 0x30000;

// Header flags.
inline constexpr std::uint32_t MHDR_DONE = 0x1;
inline constexpr std::uint32_t MHDR_PREPARED = 0x2;
inline constexpr std::uint32_t MHDR_INQUEUE = 0x4;

// A long-message buffer shared between a port and the service. While it is queued the service
// owns the data and the counters; the port reads them again only after the service's callback.
struct MidiHdr {
  std::uint8_t* lpData = nullptr;
  std::uint32_t dwBufferLength = 0;
  std::uint32_t dwBytesRecorded = 0;
  void* dwUser = nullptr;
  std::uint32_t dwFlags = 0;
  MidiHdr* lpNext = nullptr;  // the service's own link while the header is queued
};

class MidiInputDriver;
class MidiOutputDriver;
using HMIDIIN = MidiInputDriver*;
using HMIDIOUT = MidiOutputDriver*;

// Runs on a thread of the service. For input, p1 is the packed short message or the MidiHdr*,
// p2 the time stamp in milliseconds since start; for MOM_DONE, p1 is the MidiHdr* and p2 the
// result: MMSYSERR_NOERROR when the message left, else the code of why it did not (the platform
// the ports come from reports no such thing; a librarian must not call a refused send done).
using MidiCallback = void (*)(void* handle, unsigned message, void* instance, std::uintptr_t p1,
                              std::uintptr_t p2);

struct MidiInCaps {
  std::uint16_t wMid = 0;
  std::uint16_t wPid = 0;
  std::uint32_t vDriverVersion = 0;
  std::string szPname;  // the name the backend reports, not cut to 31 characters
};

struct MidiOutCaps {
  std::uint16_t wMid = 0;
  std::uint16_t wPid = 0;
  std::uint32_t vDriverVersion = 0;
  std::string szPname;
  std::uint16_t wTechnology = 1;  // MOD_MIDIPORT
  std::uint16_t wVoices = 0;
  std::uint16_t wNotes = 0;
  std::uint16_t wChannelMask = 0xFFFF;
  std::uint32_t dwSupport = 0;
};

// The platform calls the ports are written against. Device ids count from 0; the output id
// 0xFFFFFFFF (-1) names the default device, which is device 0. Handles are owned by the service
// from a successful open to a successful close. Every call but the callback runs on the thread
// that owns the ports.
class MidiService {
 public:
  virtual ~MidiService();

  virtual unsigned InGetNumDevs() = 0;
  virtual MidiResult InGetDevCaps(unsigned id, MidiInCaps& caps) = 0;
  virtual MidiResult InOpen(HMIDIIN* handle, unsigned id, MidiCallback callback, void* instance,
                            std::uint32_t flags) = 0;
  virtual MidiResult InClose(HMIDIIN handle) = 0;
  virtual MidiResult InPrepareHeader(HMIDIIN handle, MidiHdr* header);
  virtual MidiResult InUnprepareHeader(HMIDIIN handle, MidiHdr* header);
  virtual MidiResult InAddBuffer(HMIDIIN handle, MidiHdr* header);
  virtual MidiResult InStart(HMIDIIN handle);
  virtual MidiResult InStop(HMIDIIN handle);
  virtual MidiResult InReset(HMIDIIN handle);
  virtual MidiResult InGetErrorText(MidiResult code, std::string& text);

  virtual unsigned OutGetNumDevs() = 0;
  virtual MidiResult OutGetDevCaps(unsigned id, MidiOutCaps& caps) = 0;
  virtual MidiResult OutOpen(HMIDIOUT* handle, unsigned id, MidiCallback callback, void* instance,
                             std::uint32_t flags) = 0;
  virtual MidiResult OutClose(HMIDIOUT handle) = 0;
  virtual MidiResult OutShortMsg(HMIDIOUT handle, std::uint32_t message);
  virtual MidiResult OutPrepareHeader(HMIDIOUT handle, MidiHdr* header);
  virtual MidiResult OutUnprepareHeader(HMIDIOUT handle, MidiHdr* header);
  virtual MidiResult OutLongMsg(HMIDIOUT handle, MidiHdr* header);
  virtual MidiResult OutReset(HMIDIOUT handle);
  virtual MidiResult OutGetErrorText(MidiResult code, std::string& text);
};

inline constexpr unsigned MIDI_MAPPER = 0xFFFFFFFFu;

// English text of a result code; MMSYSERR_BADERRNUM for a code that has none.
MidiResult MidiErrorText(MidiResult code, std::string& text);

}  // namespace quorle
