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
  closing_.store(true, std::memory_order_relaxed);
  sender_.reset();
  out_.reset();
  alsaOut_.reset();
}

std::string RtMidiAndromeda::Open() {
  try {
    in_ = std::make_unique<RtMidiIn>(api_, kClientName);
    // SysEx is the instrument's whole language; clock and active sensing mean nothing to it.
    in_->ignoreTypes(false, true, true);
    in_->setCallback(&RtMidiAndromeda::OnMessage, this);
    in_->openVirtualPort(SimulatedAndromeda::kDeviceName);
    if (api_ != RtMidi::LINUX_ALSA) {
      out_ = std::make_unique<RtMidiOut>(api_, kClientName);
      out_->openVirtualPort(SimulatedAndromeda::kDeviceName);
    }
  } catch (const RtMidiError& e) {
    in_.reset();
    out_.reset();
    return e.getMessage();
  }
  const unsigned rate = instrument_.Settings().rate;
  auto handover = SimSender::Handover::WhenArrived;
  if (api_ == RtMidi::LINUX_ALSA) {
    // RtMidi's ALSA output sends a message as one event, which the sequencer refuses beyond the
    // client's pool: the Global Data goes out in pieces, paced on the way as the programs pace.
    alsaOut_ = std::make_unique<AlsaSeqOutput>();
    if (std::string error = alsaOut_->OpenVirtual(kClientName, SimulatedAndromeda::kDeviceName);
        !error.empty()) {
      CloseInput();
      alsaOut_.reset();
      return error;
    }
    paced_ = std::make_unique<PacedSender>(rate, AlsaSeqOutput::kPieceSize);
    handover = SimSender::Handover::WhenStarted;
  } else {
    paced_ = std::make_unique<PacedSender>(0, kMaxPiece);
  }
  sender_ = std::make_unique<SimSender>([this](Bytes m) { Send(std::move(m)); }, rate, handover);
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
  std::string error;
  const auto put = [this](ByteView piece, std::string& why) {
    if (alsaOut_) return alsaOut_->Send(piece, why);
    try {
      out_->sendMessage(piece.data(), piece.size());
    } catch (const RtMidiError& e) {
      why = e.getMessage();
      return false;
    }
    return true;
  };
  const auto wanted = [this] { return !closing_.load(std::memory_order_relaxed); };
  if (paced_->Send(message, put, wanted, error) == PacedSender::Outcome::Refused) {
    std::cerr << "quorle-sim: " << error << "\n";
  }
}

}  // namespace quorle
