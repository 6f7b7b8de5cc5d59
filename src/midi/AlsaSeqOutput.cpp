#include "midi/AlsaSeqOutput.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <charconv>

#include "midi/MidiSystemLog.h"

namespace quorle {

namespace {

std::string Failed(const char* call, int code) {
  return std::string(call) + " failed: " + snd_strerror(code);
}

}  // namespace

std::string AlsaSeqOutput::PortName(snd_seq_t* seq, int client, int port, unsigned wanted,
                                    std::string& error) {
  snd_seq_client_info_t* clientInfo = nullptr;
  snd_seq_port_info_t* portInfo = nullptr;
  snd_seq_client_info_alloca(&clientInfo);
  snd_seq_port_info_alloca(&portInfo);
  if (const int r = snd_seq_get_any_client_info(seq, client, clientInfo); r < 0) {
    error = Failed("snd_seq_get_any_client_info", r);
    return "";
  }
  if (const int r = snd_seq_get_any_port_info(seq, client, port, portInfo); r < 0) {
    error = Failed("snd_seq_get_any_port_info", r);
    return "";
  }
  if ((snd_seq_port_info_get_capability(portInfo) & wanted) != wanted) {
    error = wanted & SND_SEQ_PORT_CAP_WRITE ? "the port takes no connections for output"
                                            : "the port takes no connections for input";
    return "";
  }
  return std::string(snd_seq_client_info_get_name(clientInfo)) + ":" +
         snd_seq_port_info_get_name(portInfo) + " " + std::to_string(client) + ":" +
         std::to_string(port);
}

AlsaSeqOutput::~AlsaSeqOutput() {
  Close();
}

std::optional<std::pair<int, int>> AlsaSeqOutput::AddressOf(const std::string& portName) {
  const auto space = portName.rfind(' ');
  const auto colon = portName.rfind(':');
  if (space == std::string::npos || colon == std::string::npos || colon < space) {
    return std::nullopt;
  }
  int client = -1, port = -1;
  const char* begin = portName.data();
  const auto c = std::from_chars(begin + space + 1, begin + colon, client);
  const auto p = std::from_chars(begin + colon + 1, begin + portName.size(), port);
  if (c.ec != std::errc() || c.ptr != begin + colon || p.ec != std::errc() ||
      p.ptr != begin + portName.size() || client < 0 || client > 255 || port < 0 || port > 255) {
    return std::nullopt;
  }
  return std::pair{client, port};
}

std::size_t AlsaSeqOutput::PoolCells(std::size_t bytes, std::size_t pieceSize,
                                     std::size_t cellBytes) {
  std::size_t cells = 0;
  for (std::size_t pos = 0; pos < bytes; pos += pieceSize) {
    const std::size_t n = std::min(pieceSize, bytes - pos);
    cells += 1 + (n + cellBytes - 1) / cellBytes;
  }
  return cells;
}

std::string AlsaSeqOutput::Make(const std::string& clientName, const char* portName) {
  Close();
  const auto fail = [&](std::string why) {
    Close();
    return why;
  };
  if (const int r = snd_seq_open(&seq_, "default", SND_SEQ_OPEN_OUTPUT, 0); r < 0) {
    seq_ = nullptr;
    return Failed("snd_seq_open", r);
  }
  if (const int r = snd_seq_set_client_name(seq_, clientName.c_str()); r < 0) {
    return fail(Failed("snd_seq_set_client_name", r));
  }
  // Room for the largest message whole and the next one behind it, however slowly the
  // destination takes them.
  const std::size_t cells =
      std::clamp(PoolCells(kLargestMessage, kPieceSize, sizeof(snd_seq_event_t)) * 2,
                 kDefaultPoolCells, kMaxPoolCells);
  if (const int r = snd_seq_set_client_pool_output(seq_, cells); r < 0) {
    return fail(Failed("snd_seq_set_client_pool_output", r));
  }
  port_ =
      snd_seq_create_simple_port(seq_, portName, SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ,
                                 SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
  if (port_ < 0) return fail(Failed("snd_seq_create_simple_port", port_));
  if (const int r = snd_midi_event_new(16, &coder_); r < 0) {
    coder_ = nullptr;
    return fail(Failed("snd_midi_event_new", r));
  }
  return "";
}

std::string AlsaSeqOutput::Open(const std::string& clientName, const std::string& portName) {
  Close();
  const auto address = AddressOf(portName);
  if (!address) return "\"" + portName + "\" names no ALSA sequencer port";
  if (std::string error = Make(clientName, "out"); !error.empty()) return error;
  const auto fail = [&](std::string why) {
    Close();
    return why;
  };
  std::string error;
  const std::string found = PortName(seq_, address->first, address->second,
                                     SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE, error);
  if (!error.empty()) return fail(portName + ": " + error);
  // Ports are numbered afresh when devices come and go: never send to another device.
  if (found != portName) return fail("\"" + portName + "\" is now \"" + found + "\"");
  if (const int r = snd_seq_connect_to(seq_, port_, address->first, address->second); r < 0) {
    return fail(Failed("snd_seq_connect_to", r));
  }
  destination_ = address;
  destinationName_ = portName;
  return "";
}

bool AlsaSeqOutput::Connected() {
  snd_seq_port_subscribe_t* subscription = nullptr;
  snd_seq_port_subscribe_alloca(&subscription);
  const snd_seq_addr_t sender{static_cast<unsigned char>(snd_seq_client_id(seq_)),
                              static_cast<unsigned char>(port_)};
  const snd_seq_addr_t dest{static_cast<unsigned char>(destination_->first),
                            static_cast<unsigned char>(destination_->second)};
  snd_seq_port_subscribe_set_sender(subscription, &sender);
  snd_seq_port_subscribe_set_dest(subscription, &dest);
  return snd_seq_get_port_subscription(seq_, subscription) == 0;
}

std::string AlsaSeqOutput::OpenVirtual(const std::string& clientName, const std::string& portName) {
  return Make(clientName, portName.c_str());
}

bool AlsaSeqOutput::Send(ByteView piece, std::string& error) {
  if (!seq_ || piece.empty()) {
    error = "the ALSA sequencer output is not open";
    return false;
  }
  snd_seq_event_t event;
  snd_seq_ev_clear(&event);
  const bool sysexPiece = piece[0] == kSysexStart || piece[0] < 0x80;
  if (sysexPiece) {
    // alsa-lib only reads the data it is pointed to.
    snd_seq_ev_set_sysex(&event, static_cast<unsigned>(piece.size()),
                         const_cast<std::uint8_t*>(piece.data()));
  } else {
    snd_midi_event_reset_encode(coder_);
    const long used =
        snd_midi_event_encode(coder_, piece.data(), static_cast<long>(piece.size()), &event);
    if (used < 0) {
      error = Failed("snd_midi_event_encode", static_cast<int>(used));
      return false;
    }
    if (event.type == SND_SEQ_EVENT_NONE) {
      error = "snd_midi_event_encode made no event of a " + std::to_string(piece.size()) +
              "-byte message";
      return false;
    }
  }
  snd_seq_ev_set_source(&event, port_);
  snd_seq_ev_set_subs(&event);
  snd_seq_ev_set_direct(&event);
  if (const int r = snd_seq_event_output_direct(seq_, &event); r < 0) {
    error = Failed("snd_seq_event_output_direct", r);
    return false;
  }
  // The sequencer takes an event for no one without a word once the destination has gone (its
  // device unplugged, its program ended) and the connection with it.
  if (destination_ && !Connected()) {
    error = "\"" + destinationName_ + "\" is gone";
    return false;
  }
  return true;
}

void AlsaSeqOutput::Close() {
  if (coder_) snd_midi_event_free(coder_);
  coder_ = nullptr;
  // Closing the client removes its port and connection with it.
  if (seq_) {
    if (const int r = snd_seq_close(seq_); r < 0)
      MidiSystemLog::Main().Write(Failed("snd_seq_close", r));
  }
  seq_ = nullptr;
  port_ = -1;
  destination_.reset();
}

}  // namespace quorle
