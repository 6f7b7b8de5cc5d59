#include "library/SysexScan.h"

#include <algorithm>
#include <cstdio>
#include <optional>

namespace quorle::library {

namespace {

// A dump's layouts: as stored in a bank, or taken from an edit buffer, which carries one byte
// (which edit buffer) where the bank and entry are and so is a byte shorter.
struct Layout {
  const DumpKind* kind;
  std::uint8_t opcode;
  std::size_t size;
  bool editBuffer;
};
constexpr Layout kLayouts[] = {
    {&kProgramKind, kProgramKind.opcode, kProgramKind.dumpSize, false},
    {&kMixKind, kMixKind.opcode, kMixKind.dumpSize, false},
    {&kProgramKind, 0x02, kProgramKind.dumpSize - 1, true},
    {&kMixKind, 0x06, kMixKind.dumpSize - 1, true},
};

// The Program or Mix dump a message starts to be, from its header; nullptr for any other.
const Layout* LayoutOf(ByteView message) {
  if (message.size() < kHeaderSize ||
      !std::equal(std::begin(kHeader), std::end(kHeader), message.begin())) {
    return nullptr;
  }
  for (const Layout& layout : kLayouts) {
    if (message[5] == layout.opcode) return &layout;
  }
  return nullptr;
}

std::string Hex(std::uint8_t byte) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", byte);
  return text;
}

// Where a byte of the scanned stream lies in the file: a MIDI file's SysEx comes in pieces.
struct Piece {
  std::size_t stream, file, size;
};

class Scanner {
 public:
  Scanner(SysexScan& scan, std::vector<Piece> pieces) : scan_(scan), pieces_(std::move(pieces)) {}

  std::size_t FileOffset(std::size_t at) const {
    for (const Piece& p : pieces_) {
      if (at >= p.stream && at < p.stream + p.size) return p.file + (at - p.stream);
    }
    return at;
  }

  void Scan(ByteView content) {
    std::size_t at = 0;
    while (
        (at = static_cast<std::size_t>(std::find(content.begin() + static_cast<std::ptrdiff_t>(at),
                                                 content.end(), kSysexStart) -
                                       content.begin())) < content.size()) {
      // A message runs to its F7; any other status byte, or the end, cuts it short.
      std::size_t end = at + 1;
      while (end < content.size() && content[end] < 0x80) ++end;
      const bool closed = end < content.size() && content[end] == kSysexEnd;
      const ByteView message = content.subspan(at, end - at + (closed ? 1 : 0));
      const Layout* layout = LayoutOf(message);
      if (!layout) {
        if (message.size() >= kHeaderSize &&
            std::equal(std::begin(kHeader), std::end(kHeader), message.begin())) {
          scan_.otherAndromeda = true;
        }
        at = closed ? end + 1 : end;
        continue;
      }
      const std::string what = "the " + std::string(layout->kind->name) +
                               (layout->editBuffer ? " edit buffer" : "") + " dump at byte " +
                               std::to_string(FileOffset(at)) + " (entry " +
                               std::to_string(entry_) + ") is ";
      const std::size_t size = layout->size;
      std::size_t next = closed ? end + 1 : end;
      if (closed && message.size() == size) {
        Take(*layout, message);
      } else if (closed && message.size() > size) {
        Problem(what + "too long: " + std::to_string(message.size()) + " bytes instead of " +
                std::to_string(size));
      } else if (!closed && end < content.size() && at + size <= content.size() &&
                 content[at + size - 1] == kSysexEnd &&
                 std::all_of(content.begin() + static_cast<std::ptrdiff_t>(end + 1),
                             content.begin() + static_cast<std::ptrdiff_t>(at + size - 1),
                             [](std::uint8_t b) { return b < 0x80; })) {
        // A whole dump's length with a status byte inside: its bytes are damaged, not cut.
        Problem(what + "damaged at byte " + std::to_string(FileOffset(end)) + ": a status byte (" +
                Hex(content[end]) + ") inside");
        next = at + size;
      } else if (!closed && end == content.size() && message.size() >= size) {
        Problem(what + "too long: it runs to the end of the file without an end");
      } else {
        Problem(what + "cut short: " + std::to_string(message.size()) + " of " +
                std::to_string(size) + " bytes");
      }
      ++entry_;
      at = next;
    }
  }

 private:
  void Problem(std::string text) { scan_.problems.push_back(std::move(text)); }

  void Take(const Layout& layout, ByteView message) {
    if (!layout.editBuffer) {
      scan_.dumps.push_back({layout.kind, entry_, message, false});
      return;
    }
    // The same dump in the layout of one from a bank, with no bank or entry.
    Bytes dump(message.begin(), message.begin() + 6);
    dump[5] = layout.kind->opcode;
    dump.push_back(kNoAddress);
    dump.push_back(kNoAddress);
    dump.insert(dump.end(), message.begin() + 7, message.end());
    if (!CheckDumpFraming(*layout.kind, dump)) return;
    const Bytes& kept = scan_.owned.emplace_back(std::move(dump));
    scan_.dumps.push_back({layout.kind, entry_, kept, true});
  }

  SysexScan& scan_;
  std::vector<Piece> pieces_;
  int entry_ = 0;
};

std::uint32_t BigEndian(ByteView bytes, std::size_t at, std::size_t count) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < count; ++i) value = value << 8 | bytes[at + i];
  return value;
}

// The SysEx a Standard MIDI File's tracks carry, in track order, with where each piece lies in the
// file. An F0 event starts a message, F7 events continue it; everything else is passed over. A
// damaged file gives what was read before the damage, and says where it lies.
class MidiFileReader {
 public:
  MidiFileReader(ByteView file, SysexScan& scan) : file_(file), scan_(scan) {}

  void Read() {
    std::size_t at = 0;
    int track = 0;
    while (at + 8 <= file_.size()) {
      const std::size_t length = BigEndian(file_, at + 4, 4);
      const bool isTrack = std::equal(file_.begin() + static_cast<std::ptrdiff_t>(at),
                                      file_.begin() + static_cast<std::ptrdiff_t>(at + 4), "MTrk");
      if (length > file_.size() - at - 8) {
        Damaged(at, "its " + std::string(isTrack ? "track" : "chunk") +
                        " runs past the end of the file");
        return;
      }
      if (isTrack && !Track(at + 8, at + 8 + length, ++track)) return;
      at += 8 + length;
    }
    if (at < file_.size() && track == 0) Damaged(at, "it holds no whole track");
  }

  Bytes& stream() { return stream_; }
  std::vector<Piece>& pieces() { return pieces_; }

 private:
  void Damaged(std::size_t at, const std::string& what) {
    scan_.problems.push_back("the MIDI file is damaged at byte " + std::to_string(at) + ": " +
                             what);
  }

  // A variable-length number; nothing when it runs past end.
  std::optional<std::uint32_t> Number(std::size_t& at, std::size_t end) {
    std::uint32_t value = 0;
    for (int i = 0; i < 4 && at < end; ++i) {
      const std::uint8_t b = file_[at++];
      value = value << 7 | (b & 0x7F);
      if (!(b & 0x80)) return value;
    }
    return std::nullopt;
  }

  void Append(std::size_t at, std::size_t size) {
    pieces_.push_back({stream_.size(), at, size});
    stream_.insert(stream_.end(), file_.begin() + static_cast<std::ptrdiff_t>(at),
                   file_.begin() + static_cast<std::ptrdiff_t>(at + size));
  }

  bool Track(std::size_t at, std::size_t end, int track) {
    const std::string which = "track " + std::to_string(track) + ": ";
    std::uint8_t running = 0;
    bool inSysex = false;
    while (at < end) {
      if (!Number(at, end)) {
        Damaged(at, which + "an event's time runs past the track's end");
        return false;
      }
      if (at >= end) break;
      const std::size_t eventAt = at;
      std::uint8_t status = file_[at];
      if (status < 0x80) {
        // Running status: only a channel message may leave its status out.
        if (running == 0) {
          Damaged(eventAt, which + "a running-status byte with no channel message before it");
          return false;
        }
        status = running;
      } else {
        ++at;
      }
      if (status == 0xF0 || status == 0xF7) {
        running = 0;
        const auto size = Number(at, end);
        if (!size || *size > end - at) {
          Damaged(eventAt, which + "a SysEx event runs past the track's end");
          return false;
        }
        if (status == 0xF0) {
          // A message left open before is cut short where the next begins.
          stream_.push_back(kSysexStart);
          pieces_.push_back({stream_.size() - 1, eventAt, 1});
          inSysex = true;
        }
        // An F7 event outside a message is an escape that sends bytes as they are: passed over.
        if (inSysex) Append(at, *size);
        if (*size > 0 && file_[at + *size - 1] == kSysexEnd) inSysex = false;
        at += *size;
      } else if (status == 0xFF) {
        running = 0;
        if (at >= end) break;
        ++at;  // the meta event's type
        const auto size = Number(at, end);
        if (!size || *size > end - at) {
          Damaged(eventAt, which + "a meta event runs past the track's end");
          return false;
        }
        at += *size;
      } else if (status >= 0xF0) {
        Damaged(eventAt, which + "a system message (" + Hex(status) + ") where none may be");
        return false;
      } else {
        running = status;
        const std::size_t data = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 1 : 2;
        if (at + data > end) {
          Damaged(eventAt, which + "an event runs past the track's end");
          return false;
        }
        at += data;
      }
    }
    return true;
  }

  ByteView file_;
  SysexScan& scan_;
  Bytes stream_;
  std::vector<Piece> pieces_;
};

}  // namespace

bool IsMidiFile(ByteView content) {
  static constexpr char kMagic[] = "MThd";
  return content.size() >= 8 && std::equal(kMagic, kMagic + 4, content.begin());
}

SysexScan ScanSysex(ByteView content) {
  SysexScan scan;
  if (!IsMidiFile(content)) {
    Scanner(scan, {}).Scan(content);
    return scan;
  }
  scan.midiFile = true;
  MidiFileReader reader(content, scan);
  reader.Read();
  const Bytes& stream = scan.owned.emplace_back(std::move(reader.stream()));
  Scanner(scan, std::move(reader.pieces())).Scan(stream);
  return scan;
}

std::string DumpDamage(const DumpKind& kind, ByteView dump, std::size_t offset) {
  if (CheckDumpFraming(kind, dump)) return {};
  auto at = [&](std::size_t i) { return "damaged at byte " + std::to_string(offset + i) + ": "; };
  if (dump.size() < kHeaderSize ||
      !std::equal(std::begin(kHeader), std::end(kHeader), dump.begin()) || dump[5] != kind.opcode) {
    return at(0) + "no " + std::string(kind.name) + " dump begins here";
  }
  for (std::size_t i = 1; i + 1 < dump.size(); ++i) {
    if (dump[i] >= 0x80) return at(i) + "a status byte (" + Hex(dump[i]) + ") inside";
  }
  return at(dump.size() - 1) + "it does not end with F7";
}

}  // namespace quorle::library
