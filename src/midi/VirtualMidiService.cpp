#include "midi/VirtualMidiService.h"

namespace quorle {

VirtualMidiService::VirtualMidiService() : engine_(std::make_shared<VirtualMidiEngine>()) {}

VirtualMidiService::~VirtualMidiService() {
  engine_->Stop();
}

std::shared_ptr<VirtualDevice> VirtualMidiService::AddDevice(std::string name, Receiver receiver) {
  return engine_->AddDevice(std::move(name), std::move(receiver));
}

std::shared_ptr<VirtualDevice> VirtualMidiService::AddLoopback(std::string name) {
  auto self = std::make_shared<VirtualDevice*>(nullptr);
  auto device = engine_->AddDevice(std::move(name), [self](ByteView message) {
    (*self)->Inject(Bytes(message.begin(), message.end()));
  });
  *self = device.get();
  return device;
}

unsigned VirtualMidiService::InGetNumDevs() {
  return engine_->DeviceCount();
}

MidiResult VirtualMidiService::InGetDevCaps(unsigned id, MidiInCaps& caps) {
  auto device = engine_->Device(id);
  if (!device) return MMSYSERR_BADDEVICEID;
  caps = MidiInCaps{};
  caps.vDriverVersion = 0x0100;
  caps.szPname = device->Name();
  return MMSYSERR_NOERROR;
}

MidiResult VirtualMidiService::InOpen(HMIDIIN* handle, unsigned id, MidiCallback callback,
                                      void* instance, std::uint32_t flags) {
  if (!handle) return MMSYSERR_INVALPARAM;
  if (flags != CALLBACK_FUNCTION || !callback) return MMSYSERR_INVALFLAG;
  auto driver = std::make_shared<MidiInputDriver>(*this, callback, instance);
  const MidiResult result = engine_->OpenInput(id, driver);
  if (result != MMSYSERR_NOERROR) return result;
  *handle = driver.get();
  inputs_.emplace(driver.get(), std::move(driver));
  return MMSYSERR_NOERROR;
}

MidiResult VirtualMidiService::InClose(HMIDIIN handle) {
  auto it = inputs_.find(handle);
  if (it == inputs_.end()) return MMSYSERR_INVALHANDLE;
  const MidiResult result = handle->Close();
  if (result != MMSYSERR_NOERROR) return result;
  engine_->CloseInput(handle);
  inputs_.erase(it);
  return MMSYSERR_NOERROR;
}

unsigned VirtualMidiService::OutGetNumDevs() {
  return engine_->DeviceCount();
}

MidiResult VirtualMidiService::OutGetDevCaps(unsigned id, MidiOutCaps& caps) {
  if (id == MIDI_MAPPER) id = 0;
  auto device = engine_->Device(id);
  if (!device) return MMSYSERR_BADDEVICEID;
  caps = MidiOutCaps{};
  caps.vDriverVersion = 0x0100;
  caps.szPname = device->Name();
  return MMSYSERR_NOERROR;
}

MidiResult VirtualMidiService::OutOpen(HMIDIOUT* handle, unsigned id, MidiCallback callback,
                                       void* instance, std::uint32_t flags) {
  if (!handle) return MMSYSERR_INVALPARAM;
  if (flags != CALLBACK_FUNCTION || !callback) return MMSYSERR_INVALFLAG;
  if (id == MIDI_MAPPER) id = 0;
  auto driver = std::make_shared<MidiOutputDriver>(*this, callback, instance);
  const MidiResult result = engine_->OpenOutput(id, driver);
  if (result != MMSYSERR_NOERROR) return result;
  *handle = driver.get();
  outputs_.emplace(driver.get(), std::move(driver));
  return MMSYSERR_NOERROR;
}

MidiResult VirtualMidiService::OutClose(HMIDIOUT handle) {
  auto it = outputs_.find(handle);
  if (it == outputs_.end()) return MMSYSERR_INVALHANDLE;
  const MidiResult result = handle->Close();
  if (result != MMSYSERR_NOERROR) return result;
  engine_->CloseOutput(handle);
  outputs_.erase(it);
  return MMSYSERR_NOERROR;
}

MidiResult VirtualMidiService::OutReset(HMIDIOUT handle) {
  if (outputs_.find(handle) == outputs_.end()) return MMSYSERR_INVALHANDLE;
  return handle->Reset(std::chrono::milliseconds(0));
}

}  // namespace quorle
