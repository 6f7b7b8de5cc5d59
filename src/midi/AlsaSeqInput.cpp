#include "midi/AlsaSeqInput.h"

#include <alsa/asoundlib.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "midi/AlsaSeqOutput.h"
#include "midi/MidiInputDriver.h"
#include "midi/MidiSystemLog.h"

namespace quorle {

namespace {

std::string Failed(const char* call, int code) {
  return std::string(call) + " failed: " + snd_strerror(code);
}

}  // namespace

AlsaSeqInput::~AlsaSeqInput() {
  Close();
}

std::string AlsaSeqInput::Open(const std::string& clientName, const std::string& portName,
                               MidiInputDriver& driver) {
  Close();
  const auto address = AlsaSeqOutput::AddressOf(portName);
  if (!address) return "\"" + portName + "\" names no ALSA sequencer port";
  const auto fail = [&](std::string why) {
    Close();
    return why;
  };
  if (const int r = snd_seq_open(&seq_, "default", SND_SEQ_OPEN_INPUT, SND_SEQ_NONBLOCK); r < 0) {
    seq_ = nullptr;
    return Failed("snd_seq_open", r);
  }
  if (const int r = snd_seq_set_client_name(seq_, clientName.c_str()); r < 0) {
    return fail(Failed("snd_seq_set_client_name", r));
  }
  // A burst from an interface comes in 256-byte events; the more of them the pool holds, the
  // longer this thread may be kept from reading before anything is lost.
  if (const int r = snd_seq_set_client_pool_input(seq_, AlsaSeqOutput::kMaxPoolCells); r < 0) {
    return fail(Failed("snd_seq_set_client_pool_input", r));
  }
  const int port =
      snd_seq_create_simple_port(seq_, "in", SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE,
                                 SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
  if (port < 0) return fail(Failed("snd_seq_create_simple_port", port));
  std::string error;
  const std::string found =
      AlsaSeqOutput::PortName(seq_, address->first, address->second,
                              SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ, error);
  if (!error.empty()) return fail(portName + ": " + error);
  // Ports are numbered afresh when devices come and go: never listen to another device.
  if (found != portName) return fail("\"" + portName + "\" is now \"" + found + "\"");
  if (const int r = snd_seq_connect_from(seq_, port, address->first, address->second); r < 0) {
    return fail(Failed("snd_seq_connect_from", r));
  }
  if (const int r = snd_midi_event_new(16, &decoder_); r < 0) {
    decoder_ = nullptr;
    return fail(Failed("snd_midi_event_new", r));
  }
  snd_midi_event_no_status(decoder_, 1);  // every short message whole, running status or not
  if (::pipe2(stopPipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
    stopPipe_[0] = stopPipe_[1] = -1;
    return fail("pipe2 failed");
  }
  driver_ = &driver;
  thread_ = std::thread([this] { Read(); });
  return "";
}

void AlsaSeqInput::Read() {
  const int count = snd_seq_poll_descriptors_count(seq_, POLLIN);
  std::vector<pollfd> fds(static_cast<std::size_t>(count) + 1);
  fds[0] = pollfd{stopPipe_[0], POLLIN, 0};
  snd_seq_poll_descriptors(seq_, fds.data() + 1, static_cast<unsigned>(count), POLLIN);
  unsigned char bytes[16];
  for (;;) {
    if (::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) return;
    if (fds[0].revents != 0) return;
    for (;;) {
      snd_seq_event_t* event = nullptr;
      const int r = snd_seq_event_input(seq_, &event);
      if (r == -EAGAIN) break;
      if (r < 0) {
        // -ENOSPC: the pool overran and the kernel emptied it; whatever else, input is missing.
        driver_->InputLost();
        if (r != -ENOSPC) MidiSystemLog::Main().Write(Failed("snd_seq_event_input", r));
        continue;
      }
      if (!event) continue;
      if (event->type == SND_SEQ_EVENT_SYSEX) {
        driver_->ReceivePiece(
            ByteView(static_cast<const std::uint8_t*>(event->data.ext.ptr), event->data.ext.len));
        continue;
      }
      snd_midi_event_reset_decode(decoder_);
      const long n = snd_midi_event_decode(decoder_, bytes, sizeof bytes, event);
      if (n > 0) driver_->Receive(ByteView(bytes, static_cast<std::size_t>(n)));
    }
  }
}

void AlsaSeqInput::Close() {
  if (thread_.joinable()) {
    const char stop = 1;
    [[maybe_unused]] const auto written = ::write(stopPipe_[1], &stop, 1);
    thread_.join();
  }
  for (int& fd : stopPipe_) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
  if (decoder_) snd_midi_event_free(decoder_);
  decoder_ = nullptr;
  if (seq_) {
    if (const int r = snd_seq_close(seq_); r < 0)
      MidiSystemLog::Main().Write(Failed("snd_seq_close", r));
  }
  seq_ = nullptr;
  driver_ = nullptr;
}

}  // namespace quorle
