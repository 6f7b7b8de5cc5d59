#include "simtool/RtMidiAndromeda.h"

#include <filesystem>
#include <iostream>
#include <string_view>

namespace quorle {

namespace {

constexpr const char* kClientName = "quorle-sim";

}  // namespace

RtMidi::Api RtMidiAndromeda::ChooseApi(const char* requested, std::string& error) {
  const std::string_view name = requested != nullptr ? requested : "";
  if (name == "alsa") return RtMidi::LINUX_ALSA;
  if (name == "jack") return RtMidi::UNIX_JACK;
  if (!name.empty()) {
    error = "QUORLE_MIDI_API is \"" + std::string(name) + "\"; it takes alsa or jack";
    return RtMidi::UNSPECIFIED;
  }
  // Without a sound card there is no ALSA sequencer; JACK may still run. Asking ALSA anyway
  // would only fill the terminal with its complaints.
  std::error_code ec;
  if (!std::filesystem::exists("/dev/snd/seq", ec)) return RtMidi::UNIX_JACK;
  try {
    RtMidiIn probe(RtMidi::LINUX_ALSA, kClientName);
    return RtMidi::LINUX_ALSA;
  } catch (const RtMidiError&) {
    return RtMidi::UNIX_JACK;
  }
}

RtMidiAndromeda::RtMidiAndromeda(SimulatedAndromeda& instrument, RtMidi::Api api)
    : instrument_(instrument), api_(api) {}

RtMidiAndromeda::~RtMidiAndromeda() {
  CloseInput();
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  if (worker_.joinable()) worker_.join();
  sender_.reset();
  out_.reset();
}

std::string RtMidiAndromeda::Open() {
  try {
    in_ = std::make_unique<RtMidiIn>(api_, kClientName);
    out_ = std::make_unique<RtMidiOut>(api_, kClientName);
    // SysEx is the instrument's whole language; clock and active sensing mean nothing to it.
    in_->ignoreTypes(false, true, true);
    in_->setCallback(&RtMidiAndromeda::OnMessage, this);
    in_->openVirtualPort(SimulatedAndromeda::kDeviceName);
    out_->openVirtualPort(SimulatedAndromeda::kDeviceName);
  } catch (const RtMidiError& e) {
    in_.reset();
    out_.reset();
    return e.getMessage();
  }
  sender_ = std::make_unique<SimSender>([this](Bytes m) { Send(std::move(m)); },
                                        instrument_.Settings().rate);
  worker_ = std::thread([this] { Work(); });
  return {};
}

void RtMidiAndromeda::CloseInput() {
  if (!in_) return;
  try {
    in_->cancelCallback();
    in_->closePort();
  } catch (const RtMidiError&) {
    // Closing is best effort; the port goes when the program ends.
  }
  in_.reset();
}

std::string RtMidiAndromeda::ApiName() const {
  return RtMidi::getApiDisplayName(api_);
}

void RtMidiAndromeda::OnMessage(double, std::vector<unsigned char>* message, void* self) {
  auto* me = static_cast<RtMidiAndromeda*>(self);
  {
    std::lock_guard lock(me->mutex_);
    me->incoming_.emplace_back(message->begin(), message->end());
  }
  me->wake_.notify_one();
}

void RtMidiAndromeda::Work() {
  std::unique_lock lock(mutex_);
  while (true) {
    wake_.wait(lock, [this] { return stop_ || !incoming_.empty(); });
    if (stop_) return;
    Bytes message = std::move(incoming_.front());
    incoming_.pop_front();
    lock.unlock();
    if (tap_) tap_('<', message);
    sender_->Enqueue(instrument_.Receive(message));
    lock.lock();
  }
}

void RtMidiAndromeda::Send(Bytes message) {
  if (tap_) tap_('>', message);
  // Only JACK needs pieces; ALSA's encoder takes a message whole.
  const std::size_t piece = api_ == RtMidi::UNIX_JACK ? kMaxPiece : message.size();
  try {
    for (std::size_t at = 0; at < message.size(); at += piece) {
      out_->sendMessage(message.data() + at, std::min(piece, message.size() - at));
    }
  } catch (const RtMidiError& e) {
    std::cerr << "quorle-sim: " << e.getMessage() << "\n";
  }
}

}  // namespace quorle
