#include "midi/CompositeMidiService.h"

#include "midi/MidiInputDriver.h"
#include "midi/MidiOutputDriver.h"

namespace quorle {

CompositeMidiService::CompositeMidiService(std::vector<std::shared_ptr<MidiService>> services)
    : services_(std::move(services)) {}

MidiService* CompositeMidiService::FindIn(unsigned& id) {
  for (auto& service : services_) {
    const unsigned count = service->InGetNumDevs();
    if (id < count) return service.get();
    id -= count;
  }
  return nullptr;
}

MidiService* CompositeMidiService::FindOut(unsigned& id) {
  if (id == MIDI_MAPPER) id = 0;
  for (auto& service : services_) {
    const unsigned count = service->OutGetNumDevs();
    if (id < count) return service.get();
    id -= count;
  }
  return nullptr;
}

unsigned CompositeMidiService::InGetNumDevs() {
  unsigned count = 0;
  for (auto& service : services_) count += service->InGetNumDevs();
  return count;
}

MidiResult CompositeMidiService::InGetDevCaps(unsigned id, MidiInCaps& caps) {
  MidiService* service = FindIn(id);
  return service ? service->InGetDevCaps(id, caps) : MMSYSERR_BADDEVICEID;
}

MidiResult CompositeMidiService::InOpen(HMIDIIN* handle, unsigned id, MidiCallback callback,
                                        void* instance, std::uint32_t flags) {
  MidiService* service = FindIn(id);
  return service ? service->InOpen(handle, id, callback, instance, flags) : MMSYSERR_BADDEVICEID;
}

MidiResult CompositeMidiService::InClose(HMIDIIN handle) {
  return handle ? handle->Owner().InClose(handle) : MMSYSERR_INVALHANDLE;
}
MidiResult CompositeMidiService::InPrepareHeader(HMIDIIN handle, MidiHdr* header) {
  return handle ? handle->Owner().InPrepareHeader(handle, header) : MMSYSERR_INVALHANDLE;
}
MidiResult CompositeMidiService::InUnprepareHeader(HMIDIIN handle, MidiHdr* header) {
  return handle ? handle->Owner().InUnprepareHeader(handle, header) : MMSYSERR_INVALHANDLE;
}
MidiResult CompositeMidiService::InAddBuffer(HMIDIIN handle, MidiHdr* header) {
  return handle ? handle->Owner().InAddBuffer(handle, header) : MMSYSERR_INVALHANDLE;
}
MidiResult CompositeMidiService::InStart(HMIDIIN handle) {
  return handle ? handle->Owner().InStart(handle) : MMSYSERR_INVALHANDLE;
}
MidiResult CompositeMidiService::InStop(HMIDIIN handle) {
  return handle ? handle->Owner().InStop(handle) : MMSYSERR_INVALHANDLE;
}
MidiResult CompositeMidiService::InReset(HMIDIIN handle) {
  return handle ? handle->Owner().InReset(handle) : MMSYSERR_INVALHANDLE;
}

unsigned CompositeMidiService::OutGetNumDevs() {
  unsigned count = 0;
  for (auto& service : services_) count += service->OutGetNumDevs();
  return count;
}

MidiResult CompositeMidiService::OutGetDevCaps(unsigned id, MidiOutCaps& caps) {
  MidiService* service = FindOut(id);
  return service ? service->OutGetDevCaps(id, caps) : MMSYSERR_BADDEVICEID;
}

MidiResult CompositeMidiService::OutOpen(HMIDIOUT* handle, unsigned id, MidiCallback callback,
                                         void* instance, std::uint32_t flags) {
  MidiService* service = FindOut(id);
  return service ? service->OutOpen(handle, id, callback, instance, flags) : MMSYSERR_BADDEVICEID;
}

MidiResult CompositeMidiService::OutClose(HMIDIOUT handle) {
  return handle ? handle->Owner().OutClose(handle) : MMSYSERR_INVALHANDLE;
}
MidiResult CompositeMidiService::OutShortMsg(HMIDIOUT handle, std::uint32_t message) {
  return handle ? handle->Owner().OutShortMsg(handle, message) : MMSYSERR_INVALHANDLE;
}
MidiResult CompositeMidiService::OutPrepareHeader(HMIDIOUT handle, MidiHdr* header) {
  return handle ? handle->Owner().OutPrepareHeader(handle, header) : MMSYSERR_INVALHANDLE;
}
MidiResult CompositeMidiService::OutUnprepareHeader(HMIDIOUT handle, MidiHdr* header) {
  return handle ? handle->Owner().OutUnprepareHeader(handle, header) : MMSYSERR_INVALHANDLE;
}
MidiResult CompositeMidiService::OutLongMsg(HMIDIOUT handle, MidiHdr* header) {
  return handle ? handle->Owner().OutLongMsg(handle, header) : MMSYSERR_INVALHANDLE;
}
MidiResult CompositeMidiService::OutReset(HMIDIOUT handle) {
  return handle ? handle->Owner().OutReset(handle) : MMSYSERR_INVALHANDLE;
}

}  // namespace quorle
