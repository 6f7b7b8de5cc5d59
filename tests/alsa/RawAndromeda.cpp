// quorle-raw-andromeda: the simulated Andromeda on the raw side of a virtual MIDI card
// (/dev/snd/midiCxDy), the path a USB MIDI interface takes into the ALSA sequencer. It answers as
// quorle-sim does, but writes its replies to the raw device either at the MIDI wire rate, a few
// bytes at a time as an interface delivers them, or all of one reply in a single write.
//
//   quorle-raw-andromeda --device PATH [--burst] [--chunk N] [simulator options]
//   quorle-raw-andromeda --print-bank program|mix B [simulator options]   the bank file it sends
//   quorle-raw-andromeda --print-global [simulator options]               its Global Data

#include <fcntl.h>
#include <sound/asound.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "sim/SimSettings.h"
#include "sim/SimulatedAndromeda.h"

namespace {

using namespace quorle;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kRing = 4096;  // the rawmidi output buffer's default size

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// The whole reply as fast as the kernel takes it. Linux 6.1's rawmidi write advances the ring's
// pointer before it copies the bytes in, and snd-virmidi drains the ring from a worker on the
// other processor: a write longer than the ring let it send bytes of the ring's previous lap
// (measured: a few bytes of the dump 4,096 bytes earlier inside a whole, well-framed dump). So
// the ring is filled only while that worker is idle: once it is empty, or once it has stopped
// moving (the worker gives up while the receiving client's pool is full, until the next write).
// The sequencer still gets the events far faster than any client reads them.
bool WaitWhileDraining(int fd) {
  snd_rawmidi_status status{};
  status.stream = SNDRV_RAWMIDI_STREAM_OUTPUT;
  std::size_t last = 0;
  auto moved = Clock::now();
  for (;;) {
    if (::ioctl(fd, SNDRV_RAWMIDI_IOCTL_STATUS, &status) < 0) return false;
    if (status.avail >= kRing) return true;
    if (status.avail != last) {
      last = status.avail;
      moved = Clock::now();
    } else if (Clock::now() - moved > std::chrono::milliseconds(20)) {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
}

bool WriteBurst(int fd, const Bytes& bytes) {
  for (std::size_t at = 0; at < bytes.size(); at += kRing) {
    if (!WaitWhileDraining(fd)) return false;
    if (!WriteAll(fd, bytes.data() + at, std::min(kRing, bytes.size() - at))) return false;
  }
  return true;
}

bool PrintAll(const Bytes& bytes) {
  return !bytes.empty() && WriteAll(STDOUT_FILENO, bytes.data(), bytes.size());
}

// Hands the bytes to the device chunk bytes at a time, each chunk no earlier than the wire rate
// allows from the start of the line's current run, so the replies never drift ahead of a cable.
class WireWriter {
 public:
  WireWriter(int fd, std::size_t chunk) : fd_(fd), chunk_(chunk) {}

  bool Write(const Bytes& message, std::chrono::milliseconds pause) {
    // A reply that follows the last one at once continues its line: waking late for one chunk
    // must not push every later dump back.
    const auto now = Clock::now();
    if (lineFree_ + pause + kSlack < now) {
      lineStart_ = now;
      sent_ = 0;
    } else {
      lineStart_ += pause;
    }
    for (std::size_t at = 0; at < message.size(); at += chunk_) {
      const std::size_t n = std::min(chunk_, message.size() - at);
      std::this_thread::sleep_until(lineStart_ + ByteTime(sent_));
      if (!WriteAll(fd_, message.data() + at, n)) return false;
      sent_ += n;
    }
    lineFree_ = lineStart_ + ByteTime(sent_);
    return true;
  }

 private:
  static Clock::duration ByteTime(std::size_t bytes) {
    return std::chrono::duration_cast<Clock::duration>(std::chrono::microseconds(
        static_cast<std::int64_t>(bytes) * 1'000'000 / SimSettings::kWireRate));
  }

  static constexpr auto kSlack = std::chrono::milliseconds(50);

  int fd_;
  std::size_t chunk_;
  Clock::time_point lineStart_{};
  Clock::time_point lineFree_{};
  std::size_t sent_ = 0;
};

int Usage(const std::string& problem) {
  std::cerr << "quorle-raw-andromeda: " << problem
            << "\nusage: quorle-raw-andromeda --device PATH [--burst] [--chunk N] [--sim-...]\n"
               "       quorle-raw-andromeda (--print-bank program|mix B | --print-global) "
               "[--sim-...]\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  SimSettings settings;
  settings.rate = 0;
  const SimArguments parsed = ParseSimArguments(args, settings);
  if (!parsed.error.empty()) return Usage(parsed.error);

  std::string device, printKind;
  int printBank = -1;
  bool burst = false, printGlobal = false;
  std::size_t chunk = 3;
  const auto& rest = parsed.rest;
  for (std::size_t i = 0; i < rest.size(); ++i) {
    const bool hasValue = i + 1 < rest.size();
    if (rest[i] == "--device" && hasValue)
      device = rest[++i];
    else if (rest[i] == "--burst")
      burst = true;
    else if (rest[i] == "--chunk" && hasValue)
      chunk = std::stoul(rest[++i]);
    else if (rest[i] == "--print-global")
      printGlobal = true;
    else if (rest[i] == "--print-bank" && i + 2 < rest.size()) {
      printKind = rest[++i];
      printBank = std::stoi(rest[++i]);
    } else
      return Usage("unknown argument " + rest[i]);
  }

  SimulatedAndromeda instrument(settings);
  if (printGlobal) return PrintAll(instrument.GlobalData()) ? 0 : 1;
  if (!printKind.empty()) {
    const DumpKind& kind = printKind == "mix" ? kMixKind : kProgramKind;
    return PrintAll(instrument.BankFile(kind, printBank)) ? 0 : 1;
  }
  if (device.empty() || chunk == 0) return Usage("--device is needed");

  const int fd = ::open(device.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    std::cerr << "quorle-raw-andromeda: cannot open " << device << ": " << std::strerror(errno)
              << "\n";
    return 1;
  }
  std::cout << "quorle-raw-andromeda: answering on " << device
            << (burst ? ", each reply at once" : ", at the MIDI wire rate") << std::endl;

  // Requests are answered one at a time: the kernel keeps what arrives meanwhile.
  WireWriter wire(fd, chunk);
  Bytes message;
  std::uint8_t buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    for (ssize_t i = 0; i < n; ++i) {
      const std::uint8_t b = buffer[i];
      if (b >= 0xF8) continue;  // real-time bytes may come between any two
      if (b == kSysexStart) message.clear();
      if (b != kSysexStart && message.empty()) continue;
      message.push_back(b);
      if (b != kSysexEnd) continue;
      Bytes whole;
      const auto replies = instrument.Receive(message);
      message.clear();
      bool ok = true;
      if (burst) {
        for (const auto& r : replies) whole.insert(whole.end(), r.message.begin(), r.message.end());
        ok = WriteBurst(fd, whole);
      } else {
        for (const auto& r : replies) ok = ok && wire.Write(r.message, r.pauseBefore);
      }
      if (!ok) {
        std::cerr << "quorle-raw-andromeda: cannot write: " << std::strerror(errno) << "\n";
        return 1;
      }
    }
  }
  return 0;
}
