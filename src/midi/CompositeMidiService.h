#pragma once

#include <memory>
#include <vector>

#include "midi/MidiService.h"

namespace quorle {

// The devices of several services as one list, in the order the services were given (real
// devices first, in-process ones after them, as the application builds it). Calls on a handle
// go to the service that opened it.
class CompositeMidiService : public MidiService {
 public:
  explicit CompositeMidiService(std::vector<std::shared_ptr<MidiService>> services);

  unsigned InGetNumDevs() override;
  MidiResult InGetDevCaps(unsigned id, MidiInCaps& caps) override;
  MidiResult InOpen(HMIDIIN* handle, unsigned id, MidiCallback callback, void* instance,
                    std::uint32_t flags) override;
  MidiResult InClose(HMIDIIN handle) override;
  MidiResult InPrepareHeader(HMIDIIN handle, MidiHdr* header) override;
  MidiResult InUnprepareHeader(HMIDIIN handle, MidiHdr* header) override;
  MidiResult InAddBuffer(HMIDIIN handle, MidiHdr* header) override;
  MidiResult InStart(HMIDIIN handle) override;
  MidiResult InStop(HMIDIIN handle) override;
  MidiResult InReset(HMIDIIN handle) override;

  unsigned OutGetNumDevs() override;
  MidiResult OutGetDevCaps(unsigned id, MidiOutCaps& caps) override;
  MidiResult OutOpen(HMIDIOUT* handle, unsigned id, MidiCallback callback, void* instance,
                     std::uint32_t flags) override;
  MidiResult OutClose(HMIDIOUT handle) override;
  MidiResult OutShortMsg(HMIDIOUT handle, std::uint32_t message) override;
  MidiResult OutPrepareHeader(HMIDIOUT handle, MidiHdr* header) override;
  MidiResult OutUnprepareHeader(HMIDIOUT handle, MidiHdr* header) override;
  MidiResult OutLongMsg(HMIDIOUT handle, MidiHdr* header) override;
  MidiResult OutReset(HMIDIOUT handle) override;

 private:
  // The service that holds list entry `id`, and the entry's number there.
  MidiService* FindIn(unsigned& id);
  MidiService* FindOut(unsigned& id);

  std::vector<std::shared_ptr<MidiService>> services_;
};

}  // namespace quorle
