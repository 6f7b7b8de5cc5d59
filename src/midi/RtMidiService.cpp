#include "midi/RtMidiService.h"

#include <jack/jack.h>
#include <unistd.h>

#include <RtMidi.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <thread>

#include "midi/AlsaSeqInput.h"
#include "midi/AlsaSeqOutput.h"
#include "midi/MidiSystemLog.h"
#include "midi/PacedSender.h"
#include "midi/XrunWatch.h"

namespace quorle {

namespace {

using Clock = std::chrono::steady_clock;

// Once a client has an error callback RtMidi throws nothing and prints nothing: every error and
// warning comes here. The listing clients' complaints (no ports yet, a server gone) are no news.
void Quiet(RtMidiError::Type, const std::string&, void*) {}

// A port's client: what RtMidi says goes to the MIDI log, from whichever thread it says it
// (MidiSystemLog::Write never blocks), and the port learns that it spoke.
void Logged(RtMidiError::Type, const std::string& text, void* spoke) {
  MidiSystemLog::Main().Write(text);
  if (spoke) static_cast<std::atomic<bool>*>(spoke)->store(true, std::memory_order_relaxed);
}

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
std::unique_ptr<Midi> MakeClient(int api, const std::string& name,
                                 RtMidiErrorCallback callback = &Quiet, void* user = nullptr) {
  try {
    auto midi = std::make_unique<Midi>(static_cast<RtMidi::Api>(api), FitClientName(name));
    midi->setErrorCallback(callback, user);
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

// What JACK input passes on. Messages go through a thread of their own, in the order they came;
// one that could be a dump waits there as long as an xrun's notice may take, and a SysEx that an
// xrun may have damaged is dropped. A client of our own hears of the server's xruns.
class JackInput {
 public:
  JackInput(MidiInputDriver& driver, const std::string& clientName) : driver_(driver) {
    jack_status_t status;
    client_ = jack_client_open(FitClientName(clientName).c_str(), JackNoStartServer, &status);
    if (!client_) return;
    jack_set_xrun_callback(client_, &JackInput::OnXrun, this);
    if (jack_activate(client_) != 0) {
      jack_client_close(client_);
      client_ = nullptr;
      return;
    }
    thread_ = std::thread([this] { Pass(); });
  }
  // RtMidi's client is gone by now: nothing more comes in, and what is held goes nowhere.
  ~JackInput() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
    if (client_) jack_client_close(client_);
  }
  JackInput(const JackInput&) = delete;
  JackInput& operator=(const JackInput&) = delete;

  bool Listening() const { return client_ != nullptr; }

  // RtMidi's thread, with one whole message.
  static void OnInput(double, std::vector<unsigned char>* message, void* user) {
    auto* self = static_cast<JackInput*>(user);
    if (!message || message->empty()) return;
    const Clock::time_point now = Clock::now();
    {
      std::lock_guard lock(self->mutex_);
      self->held_.push_back({*message, now, self->arrived_});
      self->arrived_ = now;
    }
    self->wake_.notify_one();
  }

 private:
  struct Held {
    std::vector<unsigned char> bytes;
    Clock::time_point arrival, before;
  };

  static int OnXrun(void* user) {
    auto* self = static_cast<JackInput*>(user);
    std::lock_guard lock(self->mutex_);
    self->xruns_.Noticed(Clock::now());
    return 0;
  }

  void Pass() {
    std::unique_lock lock(mutex_);
    while (true) {
      wake_.wait(lock, [this] { return stop_ || !held_.empty(); });
      if (stop_) return;
      const Clock::time_point due =
          held_.front().arrival + XrunWatch::Hold(held_.front().bytes.size());
      if (wake_.wait_until(lock, due, [this] { return stop_; })) return;
      Held message = std::move(held_.front());
      held_.pop_front();
      const bool damaged =
          message.bytes.front() == 0xF0 &&
          xruns_.MayBeDamaged(message.arrival, message.before, message.bytes.size());
      lock.unlock();
      if (damaged) {
        driver_.InputLost();
      } else {
        driver_.Receive(message.bytes);
      }
      lock.lock();
    }
  }

  MidiInputDriver& driver_;
  jack_client_t* client_ = nullptr;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::deque<Held> held_;
  Clock::time_point arrived_{};  // when the last message came
  XrunWatch xruns_;
  std::thread thread_;
};

}  // namespace

// On ALSA the port is a sequencer client of Quorle's own; on JACK an RtMidi client, with a client
// of our own that hears of the server's xruns.
struct RtMidiService::InputPort {
  std::shared_ptr<MidiInputDriver> driver;
  std::unique_ptr<JackInput> jack;  // outlives midi, whose thread calls it
  std::unique_ptr<RtMidiIn> midi;
  std::unique_ptr<AlsaSeqInput> alsa;
};

// One output port's sender thread and what it needs; shared with the thread, which may outlive
// the port when the backend never returns from a send. On ALSA the port is a sequencer client of
// Quorle's own; on JACK an RtMidi client.
struct RtMidiService::Sender {
  std::shared_ptr<MidiOutputDriver> driver;
  std::unique_ptr<RtMidiOut> midi;
  std::unique_ptr<AlsaSeqOutput> alsa;
  decltype(Options::sendPiece) sendPiece;
  std::atomic<bool> spoke{false};  // RtMidi reported an error or warning
  unsigned bytesPerSecond = 0;
  std::size_t pieceSize = 0;
  std::chrono::milliseconds sendLimit{0};
  std::atomic<Clock::rep> deadline{0};  // of the message being sent; 0 when idle
  std::mutex mutex;
  std::condition_variable exited;
  bool done = false;
  std::thread thread;

  // An error or a warning while RtMidi has the piece means it did not go: RtMidi reports a
  // refused send as a warning and returns normally.
  bool Put(ByteView piece, std::string& error) {
    if (alsa) return alsa->Send(piece, error);
    spoke.store(false, std::memory_order_relaxed);
    try {
      if (sendPiece) {
        sendPiece(*midi, piece,
                  [this](const std::string& text) { Logged(RtMidiError::WARNING, text, &spoke); });
      } else {
        midi->sendMessage(piece.data(), piece.size());
      }
    } catch (const RtMidiError& e) {
      error = e.getMessage();
      return false;
    }
    return !spoke.load(std::memory_order_relaxed);  // its words are in the log already
  }

  void Run() {
    PacedSender paced(bytesPerSecond, pieceSize);
    MidiOutputDriver::Item item;
    while (driver->Next(item)) {
      const ByteView bytes(item.data);
      deadline.store(
          (Clock::now() + paced.WireTime(bytes.size()) + sendLimit).time_since_epoch().count(),
          std::memory_order_relaxed);
      std::string error;
      const auto outcome = paced.Send(
          bytes, [this](ByteView piece, std::string& e) { return Put(piece, e); },
          [&] { return driver->Current(item); }, error);
      deadline.store(0, std::memory_order_relaxed);
      if (outcome == PacedSender::Outcome::Refused) {
        if (!error.empty()) MidiSystemLog::Main().Write(error);
        driver->Finish(item, MMSYSERR_ERROR);
      } else {
        driver->Finish(item);
      }
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
    port->alsa.reset();
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
  if (api_ == RtMidi::LINUX_ALSA) {
    port->alsa = std::make_unique<AlsaSeqInput>();
    const std::string error =
        port->alsa->Open(FitClientName(NextClientName("in")), names[id], *port->driver);
    if (!error.empty()) {
      MidiSystemLog::Main().Write(error);
      return MMSYSERR_ALLOCATED;
    }
    *handle = port->driver.get();
    inputs_.emplace(port->driver.get(), std::move(port));
    return MMSYSERR_NOERROR;
  }
  // Input warnings (a message too large for RtMidi's buffer, say) go to the log, not the terminal.
  port->midi = MakeClient<RtMidiIn>(api_, NextClientName("in"), &Logged);
  if (!port->midi) return MMSYSERR_NODRIVER;
  // Without word of xruns a spliced dump could pass as good: no port then.
  port->jack = std::make_unique<JackInput>(*port->driver, NextClientName("xruns"));
  if (!port->jack->Listening()) return MMSYSERR_NODRIVER;
  try {
    port->midi->ignoreTypes(false, false, false);
    port->midi->setCallback(&JackInput::OnInput, port->jack.get());
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
  // The backend's thread calls back no more once its client is gone.
  it->second->midi.reset();
  it->second->jack.reset();
  it->second->alsa.reset();
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
  if (api_ == RtMidi::LINUX_ALSA) {
    // The devices are still RtMidi's list; only the sending is done without it.
    sender->alsa = std::make_unique<AlsaSeqOutput>();
    const std::string error = sender->alsa->Open(FitClientName(NextClientName("out")), names[id]);
    if (!error.empty()) {
      MidiSystemLog::Main().Write(error);
      return MMSYSERR_ALLOCATED;
    }
    sender->pieceSize = AlsaSeqOutput::kPieceSize;
  } else {
    sender->midi = MakeClient<RtMidiOut>(api_, NextClientName("out"), &Logged, &sender->spoke);
    if (!sender->midi) return MMSYSERR_NODRIVER;
    if (!OpenByName(*sender->midi, names[id], "out")) return MMSYSERR_ALLOCATED;
    sender->pieceSize = options_.pieceSize;
    sender->sendPiece = options_.sendPiece;
  }
  sender->bytesPerSecond = options_.bytesPerSecond;
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
