#include "cli/OfflineCommands.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "library/SysexScan.h"
#include "protocol/DumpName.h"
#include "protocol/FileNames.h"
#include "protocol/SysexFile.h"

namespace quorle {

namespace fs = std::filesystem;

void WriteOrRefuse(const fs::path& file, ByteView content) {
  if (const IoResult r = WriteFileAtomically(file, content); !r.ok) {
    throw Refusal(file.string() + ": cannot be written: " + r.error);
  }
}

namespace {

// One dump of a Program or Mix file or bank file.
struct Entry {
  int index;
  ByteView bytes;
};

std::vector<Entry> Entries(FileKind kind, ByteView content) {
  std::vector<Entry> entries;
  const std::size_t record = RecordSize(kind);
  if (record == 0) return entries;
  for (std::size_t i = 0; i < RecordCount(kind); ++i) {
    entries.push_back({static_cast<int>(i), content.subspan(i * record, record)});
  }
  return entries;
}

bool EntryValid(FileKind kind, ByteView dump) {
  if (const DumpKind* dk = DumpKindOf(kind)) return CheckDumpFraming(*dk, dump);
  return CheckGlobalFraming(dump);
}

}  // namespace

Bytes ReadOrRefuse(const fs::path& file) {
  Bytes content;
  if (const IoResult r = ReadWholeFile(file, content, kLargestFileSize); !r.ok) {
    throw Refusal(file.string() + ": cannot be read: " + r.error);
  }
  return content;
}

void InfoCommand(const fs::path& file, bool json, std::ostream& out, bool names) {
  WriteInfo(file.string(), ReadOrRefuse(file), json, out, names);
}

namespace {

// A Standard MIDI File: the Program and Mix dumps its tracks carry, in their order, and what is
// damaged, as import reads them.
void WriteMidiFileInfo(const std::string& name, ByteView content, bool json, std::ostream& out,
                       bool names) {
  const library::SysexScan scan = library::ScanSysex(content);
  if (names) {
    for (const library::ScannedDump& d : scan.dumps)
      out << NameLine(DumpName(*d.kind, d.bytes)) << '\n';
    return;
  }
  if (json) {
    nlohmann::json j;
    j["file"] = name;
    j["kind"] = "midi-file";
    j["size"] = content.size();
    j["entries"] = nlohmann::json::array();
    for (const library::ScannedDump& d : scan.dumps) {
      const bool edit = d.editBuffer;
      j["entries"].push_back(
          {{"index", d.entry},
           {"dump", d.kind == &kMixKind ? "mix" : "program"},
           {"bank", edit ? nlohmann::json(nullptr) : nlohmann::json(d.bytes[6])},
           {"number", edit ? nlohmann::json(nullptr) : nlohmann::json(d.bytes[7])},
           {"name", Latin1ToUtf8(DumpName(*d.kind, d.bytes))},
           {"valid", true}});
    }
    j["problems"] = scan.problems;
    out << j.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    return;
  }
  out << name << ": midi-file, " << content.size() << " bytes, " << scan.dumps.size()
      << (scan.dumps.size() == 1 ? " dump" : " dumps") << '\n';
  for (const library::ScannedDump& d : scan.dumps) {
    char line[80];
    if (d.editBuffer) {
      std::snprintf(line, sizeof line, "%03d  %s edit buffer  ", d.entry,
                    std::string(d.kind->name).c_str());
    } else {
      std::snprintf(line, sizeof line, "%03d  %s  bank %d  number %d  ", d.entry,
                    std::string(d.kind->name).c_str(), d.bytes[6], d.bytes[7]);
    }
    out << line << '"' << PrintableName(DumpName(*d.kind, d.bytes)) << "\"\n";
  }
  for (const std::string& problem : scan.problems) out << problem << '\n';
}

}  // namespace

void WriteInfo(const std::string& name, ByteView content, bool json, std::ostream& out,
               bool names) {
  if (library::IsMidiFile(content)) {
    WriteMidiFileInfo(name, content, json, out, names);
    return;
  }
  const FileKind kind = ClassifyFile(content);
  const DumpKind* dumpKind = DumpKindOf(kind);
  const std::vector<Entry> entries = Entries(kind, content);

  if (names) {
    if (!dumpKind) throw Refusal(name + ": holds no Program or Mix names");
    for (const Entry& e : entries) out << NameLine(DumpName(*dumpKind, e.bytes)) << '\n';
    return;
  }

  if (json) {
    nlohmann::json j;
    j["file"] = name;
    j["kind"] = FileKindName(kind);
    j["size"] = content.size();
    j["entries"] = nlohmann::json::array();
    for (const Entry& e : entries) {
      nlohmann::json entry;
      entry["index"] = e.index;
      if (dumpKind) {
        entry["bank"] = e.bytes[6];
        entry["number"] = e.bytes[7];
        entry["name"] = Latin1ToUtf8(DumpName(*dumpKind, e.bytes));
      } else {
        entry["bank"] = nullptr;
        entry["number"] = nullptr;
        entry["name"] = nullptr;
      }
      entry["valid"] = EntryValid(kind, e.bytes);
      j["entries"].push_back(entry);
    }
    // A file name need not be UTF-8, which JSON text must be.
    out << j.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    return;
  }

  out << name << ": " << FileKindName(kind) << ", " << content.size() << " bytes, "
      << entries.size() << (entries.size() == 1 ? " dump" : " dumps") << '\n';
  for (const Entry& e : entries) {
    char line[64];
    if (dumpKind) {
      std::snprintf(line, sizeof line, "%03d  bank %d  number %d  ", e.index, e.bytes[6],
                    e.bytes[7]);
      out << line << '"' << PrintableName(DumpName(*dumpKind, e.bytes)) << '"';
    } else {
      std::snprintf(line, sizeof line, "%03d  global data", e.index);
      out << line;
    }
    // A damaged dump is described as import describes it, with where the damage lies.
    if (dumpKind && !EntryValid(kind, e.bytes)) {
      out << " " << library::DumpDamage(*dumpKind, e.bytes, e.index * dumpKind->dumpSize);
    } else if (!EntryValid(kind, e.bytes)) {
      out << " CORRUPT";
    }
    out << '\n';
  }
}

void RenameCommand(const fs::path& file, int index, const std::string& name, const fs::path& output,
                   std::ostream& out) {
  if (!IsValidNameText(name)) {
    throw Refusal("\"" + name + "\": a name has at most 16 printable ASCII characters");
  }
  Bytes content = ReadOrRefuse(file);
  const FileKind kind = ClassifyFile(content);
  const DumpKind* dumpKind = DumpKindOf(kind);
  if (!dumpKind) {
    throw Refusal(file.string() + ": not a Program or Mix file or bank file (" +
                  std::string(FileKindName(kind)) + ", " + std::to_string(content.size()) +
                  " bytes)");
  }
  const int last = static_cast<int>(RecordCount(kind)) - 1;
  if (index < 0 || index > last) {
    throw Refusal(file.string() + ": no dump " + std::to_string(index) + " (it holds 0 to " +
                  std::to_string(last) + ")");
  }
  const std::size_t offset = static_cast<std::size_t>(index) * dumpKind->dumpSize;
  const ByteView dump = ByteView(content).subspan(offset, dumpKind->dumpSize);
  // Re-packing a damaged dump would pass its damage on as if it were sound.
  if (!CheckDumpFraming(*dumpKind, dump)) {
    throw Refusal(file.string() + ": dump " + std::to_string(index) + " is corrupt");
  }
  const Bytes renamed = RenameDump(*dumpKind, dump, name);
  std::copy(renamed.begin(), renamed.end(), content.begin() + static_cast<std::ptrdiff_t>(offset));
  WriteOrRefuse(output, content);
  out << output.string() << ": dump " << index << " renamed to \"" << name << "\"\n";
}

void SplitCommand(const fs::path& file, const fs::path& folder, std::ostream& out) {
  const Bytes content = ReadOrRefuse(file);
  const FileKind kind = ClassifyFile(content);
  if (kind != FileKind::ProgramBank && kind != FileKind::MixBank) {
    throw Refusal(file.string() + ": not a Program or Mix bank file (" +
                  std::string(FileKindName(kind)) + ", " + std::to_string(content.size()) +
                  " bytes)");
  }
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) throw Refusal(folder.string() + ": cannot be created: " + ec.message());
  if (!fs::is_directory(folder)) throw Refusal(folder.string() + ": is not a folder");

  const DumpKind& dumpKind = *DumpKindOf(kind);
  for (const Entry& e : Entries(kind, content)) {
    const fs::path target = SplitFilePath(folder, dumpKind, e.index, e.bytes);
    WriteOrRefuse(target, e.bytes);
    out << target.string() << '\n';
  }
}

}  // namespace quorle
