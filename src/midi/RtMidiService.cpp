#include "midi/RtMidiService.h"

#include <jack/jack.h>
#include <unistd.h>

#include <RtMidi.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>

namespace quorle {

namespace {

using Clock = std::chrono::steady_clock;

void Quiet(RtMidiError::Type, const std::string&, void*) {}

RtMidi::Api ChooseApi(RtMidiService::Api api) {
  if (api == RtMidiService::Api::Auto) {
    const char* env = std::getenv("QUORLE_MIDI_API");
    const std::string wanted = env ? env : "";
    if (wanted == "alsa") {
      api = RtMidiService::Api::Alsa;
    } else if (wanted == "jack") {
      api = RtMidiService::Api::Jack;
    } else {
      // Without the sequencer device every ALSA client fails; JACK may still be there.
      api =
          ::access("/dev/snd/seq", F_OK) == 0 ? RtMidiService::Api::Alsa : RtMidiService::Api::Jack;
    }
  }
  return api == RtMidiService::Api::Alsa ? RtMidi::LINUX_ALSA : RtMidi::UNIX_JACK;
}

// JACK refuses client names over 63 characters.
std::string FitClientName(std::string name) {
  if (name.size() > 60) name.resize(60);
  return name;
}

template <class Midi>
std::vector<std::string> PortNames(Midi* midi) {
  std::vector<std::string> names;
  if (!midi) return names;
  try {
    const unsigned count = midi->getPortCount();
    for (unsigned i = 0; i < count; ++i) names.push_back(midi->getPortName(i));
  } catch (const RtMidiError&) {
    names.clear();
  }
  return names;
}

template <class Midi>
std::unique_ptr<Midi> MakeClient(int api, const std::string& name) {
  try {
    auto midi = std::make_unique<Midi>(static_cast<RtMidi::Api>(api), FitClientName(name));
    midi->setErrorCallback(&Quiet, nullptr);
    return midi;
  } catch (const RtMidiError&) {
    return nullptr;
  }
}

void Silent(const char*) {}

// Whether a JACK server answers, without starting one and without a word on standard error.
bool JackServerRunning() {
  static std::once_flag quiet;
  std::call_once(quiet, [] {
    jack_set_error_function(&Silent);
    jack_set_info_function(&Silent);
  });
  jack_status_t status;
  jack_client_t* client = jack_client_open("quorle-probe", JackNoStartServer, &status);
  if (!client) return false;
  jack_client_close(client);
  return true;
}

template <class Midi>
bool OpenByName(Midi& midi, const std::string& name, const std::string& portName) {
  const auto names = PortNames(&midi);
  const auto it = std::find(names.begin(), names.end(), name);
  if (it == names.end()) return false;
  try {
    midi.openPort(static_cast<unsigned>(it - names.begin()), portName);
  } catch (const RtMidiError&) {
    return false;
  }
  return midi.isPortOpen();
}

void OnInput(double, std::vector<unsigned char>* message, void* user) {
  if (message) static_cast<MidiInputDriver*>(user)->Receive(*message);
}

}  // namespace

struct RtMidiService::InputPort {
  std::shared_ptr<MidiInputDriver> driver;
  std::unique_ptr<RtMidiIn> midi;
};

// One output port's sender thread and what it needs; shared with the thread, which may outlive
// the port when the backend never returns from a send.
struct RtMidiService::Sender {
  std::shared_ptr<MidiOutputDriver> driver;
  std::unique_ptr<RtMidiOut> midi;
  unsigned bytesPerSecond = 0;
  std::size_t pieceSize = 0;
  std::chrono::milliseconds sendLimit{0};
  std::atomic<Clock::rep> deadline{0};  // of the message being sent; 0 when idle
  std::mutex mutex;
  std::condition_variable exited;
  bool done = false;
  std::thread thread;

  Clock::duration WireTime(std::size_t bytes) const {
    if (bytesPerSecond == 0) return Clock::duration::zero();
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::microseconds(static_cast<std::int64_t>(bytes) * 1000000 / bytesPerSecond));
  }

  void Run() {
    auto next = Clock::now();
    MidiOutputDriver::Item item;
    while (driver->Next(item)) {
      const ByteView bytes(item.data);
      deadline.store((Clock::now() + WireTime(bytes.size()) + sendLimit).time_since_epoch().count(),
                     std::memory_order_relaxed);
      const std::size_t piece = pieceSize == 0 ? bytes.size() : pieceSize;
      for (std::size_t pos = 0; pos < bytes.size(); pos += piece) {
        // Paced in slices, so that a message given up by a reset stops going out.
        while (Clock::now() < next) {
          if (!driver->Current(item)) break;
          std::this_thread::sleep_until(
              std::min(next, Clock::now() + std::chrono::milliseconds(20)));
        }
        if (!driver->Current(item)) break;
        const std::size_t n = std::min(piece, bytes.size() - pos);
        try {
          midi->sendMessage(bytes.data() + pos, n);
        } catch (const RtMidiError&) {
          break;
        }
        next = std::max(next, Clock::now()) + WireTime(n);
      }
      deadline.store(0, std::memory_order_relaxed);
      driver->Finish(item);
    }
    std::lock_guard lock(mutex);
    done = true;
    exited.notify_all();
  }
};

RtMidiService::RtMidiService() : RtMidiService(Options{}) {}

RtMidiService::RtMidiService(Options options) : options_(std::move(options)) {
  api_ = ChooseApi(options_.api);
  watchdog_ = std::thread([this] { Watch(); });
}

RtMidiService::~RtMidiService() {
  {
    std::lock_guard lock(sendersMutex_);
    stopping_ = true;
  }
  stopWatch_.notify_all();
  watchdog_.join();
  // Ports still open belong to callers that outlived their service; close what can be closed.
  for (auto& [driver, port] : inputs_) {
    port->driver->Reset();
    port->midi.reset();
  }
  std::vector<const MidiOutputDriver*> open;
  for (auto& [driver, sender] : senders_) open.push_back(driver);
  for (auto* driver : open) {
    auto* handle = const_cast<MidiOutputDriver*>(driver);
    handle->Reset(std::chrono::milliseconds(0));
    OutClose(handle);
  }
}

std::string RtMidiService::ApiName() {
  Names(true, true);
  if (!available_) return "";
  return api_ == RtMidi::LINUX_ALSA ? "alsa" : "jack";
}

std::string RtMidiService::NextClientName(const char* kind) {
  return options_.clientName + "-" + kind + "-" + std::to_string(::getpid()) + "-" +
         std::to_string(++clients_);
}

// Listing needs clients of its own; they live as long as the service, since a client that comes
// and goes at once is what JACK handles worst. When they found nothing they are made again, at
// most every ten seconds, for a server that came up later (RtMidi leaks a little per failed
// client). Counting lists afresh; the calls that follow a count (capabilities, open) use what it
// found, as indexes are meant to be used.
const std::vector<std::string>& RtMidiService::Names(bool inputs, bool refresh) {
  if (!listed_ || refresh) {
    const auto now = Clock::now();
    const bool nothing = inputNames_.empty() && outputNames_.empty();
    if (!listed_ || (nothing && now - listersMade_ > std::chrono::seconds(10))) {
      // Without a JACK server every RtMidi call tries to reach it again and prints a screenful;
      // ask once, quietly, and make no clients until one answers.
      const bool reachable = api_ != RtMidi::UNIX_JACK || JackServerRunning();
      listIn_ = reachable ? MakeClient<RtMidiIn>(api_, options_.clientName + "-list-in") : nullptr;
      listOut_ =
          reachable ? MakeClient<RtMidiOut>(api_, options_.clientName + "-list-out") : nullptr;
      listersMade_ = now;
    }
    available_ = listIn_ || listOut_;
    inputNames_ = PortNames(listIn_.get());
    outputNames_ = PortNames(listOut_.get());
    if (!options_.listOwnPorts) {
      const std::string own = options_.clientName + "-";
      const auto ours = [&](const std::string& n) { return n.rfind(own, 0) == 0; };
      std::erase_if(inputNames_, ours);
      std::erase_if(outputNames_, ours);
    }
    listed_ = true;
  }
  return inputs ? inputNames_ : outputNames_;
}

unsigned RtMidiService::InGetNumDevs() {
  return static_cast<unsigned>(Names(true, true).size());
}

MidiResult RtMidiService::InGetDevCaps(unsigned id, MidiInCaps& caps) {
  const auto names = Names(true, false);
  if (id >= names.size()) return MMSYSERR_BADDEVICEID;
  caps = MidiInCaps{};
  caps.vDriverVersion = 0x0500;
  caps.szPname = names[id];
  return MMSYSERR_NOERROR;
}

MidiResult RtMidiService::InOpen(HMIDIIN* handle, unsigned id, MidiCallback callback,
                                 void* instance, std::uint32_t flags) {
  if (!handle) return MMSYSERR_INVALPARAM;
  if (flags != CALLBACK_FUNCTION || !callback) return MMSYSERR_INVALFLAG;
  const auto names = Names(true, false);
  if (id >= names.size()) return MMSYSERR_BADDEVICEID;
  auto port = std::make_unique<InputPort>();
  port->driver = std::make_shared<MidiInputDriver>(*this, callback, instance);
  port->midi = MakeClient<RtMidiIn>(api_, NextClientName("in"));
  if (!port->midi) return MMSYSERR_NODRIVER;
  try {
    port->midi->ignoreTypes(false, false, false);
    port->midi->setCallback(&OnInput, port->driver.get());
  } catch (const RtMidiError&) {
    return MMSYSERR_ERROR;
  }
  if (!OpenByName(*port->midi, names[id], "in")) return MMSYSERR_ALLOCATED;
  *handle = port->driver.get();
  inputs_.emplace(port->driver.get(), std::move(port));
  return MMSYSERR_NOERROR;
}

MidiResult RtMidiService::InClose(HMIDIIN handle) {
  auto it = inputs_.find(handle);
  if (it == inputs_.end()) return MMSYSERR_INVALHANDLE;
  const MidiResult result = handle->Close();
  if (result != MMSYSERR_NOERROR) return result;
  it->second->midi.reset();  // the backend's thread calls back no more once its client is gone
  inputs_.erase(it);
  return MMSYSERR_NOERROR;
}

unsigned RtMidiService::OutGetNumDevs() {
  return static_cast<unsigned>(Names(false, true).size());
}

MidiResult RtMidiService::OutGetDevCaps(unsigned id, MidiOutCaps& caps) {
  if (id == MIDI_MAPPER) id = 0;
  const auto names = Names(false, false);
  if (id >= names.size()) return MMSYSERR_BADDEVICEID;
  caps = MidiOutCaps{};
  caps.vDriverVersion = 0x0500;
  caps.szPname = names[id];
  return MMSYSERR_NOERROR;
}

MidiResult RtMidiService::OutOpen(HMIDIOUT* handle, unsigned id, MidiCallback callback,
                                  void* instance, std::uint32_t flags) {
  if (!handle) return MMSYSERR_INVALPARAM;
  if (flags != CALLBACK_FUNCTION || !callback) return MMSYSERR_INVALFLAG;
  if (id == MIDI_MAPPER) id = 0;
  const auto names = Names(false, false);
  if (id >= names.size()) return MMSYSERR_BADDEVICEID;
  auto sender = std::make_shared<Sender>();
  sender->driver = std::make_shared<MidiOutputDriver>(*this, callback, instance);
  sender->midi = MakeClient<RtMidiOut>(api_, NextClientName("out"));
  if (!sender->midi) return MMSYSERR_NODRIVER;
  if (!OpenByName(*sender->midi, names[id], "out")) return MMSYSERR_ALLOCATED;
  sender->bytesPerSecond = options_.bytesPerSecond;
  sender->pieceSize = api_ == RtMidi::UNIX_JACK ? options_.pieceSize : 0;
  sender->sendLimit = options_.sendLimit;
  sender->thread = std::thread([sender] { sender->Run(); });
  *handle = sender->driver.get();
  std::lock_guard lock(sendersMutex_);
  senders_.emplace(sender->driver.get(), std::move(sender));
  return MMSYSERR_NOERROR;
}

MidiResult RtMidiService::OutClose(HMIDIOUT handle) {
  std::shared_ptr<Sender> sender;
  {
    std::lock_guard lock(sendersMutex_);
    auto it = senders_.find(handle);
    if (it == senders_.end()) return MMSYSERR_INVALHANDLE;
    const MidiResult result = handle->Close();
    if (result != MMSYSERR_NOERROR) return result;
    sender = it->second;
    senders_.erase(it);
  }
  std::unique_lock lock(sender->mutex);
  if (sender->exited.wait_for(lock, std::chrono::seconds(2), [&] { return sender->done; })) {
    lock.unlock();
    sender->thread.join();
  } else {
    // Stuck inside the backend: the thread keeps what it uses and is left behind.
    lock.unlock();
    sender->thread.detach();
  }
  return MMSYSERR_NOERROR;
}

MidiResult RtMidiService::OutReset(HMIDIOUT handle) {
  {
    std::lock_guard lock(sendersMutex_);
    if (senders_.find(handle) == senders_.end()) return MMSYSERR_INVALHANDLE;
  }
  return handle->Reset(std::chrono::milliseconds(500));
}

void RtMidiService::Watch() {
  std::unique_lock lock(sendersMutex_);
  while (!stopping_) {
    stopWatch_.wait_for(lock, std::chrono::milliseconds(200));
    const auto now = Clock::now().time_since_epoch().count();
    for (auto& [driver, sender] : senders_) {
      const auto deadline = sender->deadline.load(std::memory_order_relaxed);
      if (deadline != 0 && now > deadline) {
        sender->deadline.store(0, std::memory_order_relaxed);
        sender->driver->Abandon();
      }
    }
  }
}

}  // namespace quorle
