#include "protocol/BackupManifest.h"

#include <nlohmann/json.hpp>

#include "protocol/DumpName.h"

namespace quorle {

namespace {

constexpr const char* kFormat = "quorle-backup";
constexpr int kFormatVersion = 1;

std::optional<FileKind> KindNamed(const std::string& name) {
  for (FileKind kind : {FileKind::ProgramBank, FileKind::MixBank, FileKind::Global}) {
    if (FileKindName(kind) == name) return kind;
  }
  return std::nullopt;
}

bool IsSha256(const std::string& text) {
  return text.size() == 64 && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

}  // namespace

std::string BackupManifest::ToJson() const {
  nlohmann::json j;
  j["format"] = kFormat;
  j["formatVersion"] = kFormatVersion;
  j["created"] = created;
  j["instrument"] = {{"identity", identity}, {"version", version}};
  j["card"] = {{"programBanks", programCardBanks}, {"mixBanks", mixCardBanks}};
  j["files"] = nlohmann::json::array();
  for (const Entry& e : entries) {
    nlohmann::json f;
    f["file"] = e.file.name;
    f["kind"] = FileKindName(e.file.kind);
    f["bank"] = e.file.bank < 0 ? nlohmann::json(nullptr) : nlohmann::json(e.file.bank);
    f["size"] = e.size;
    f["sha256"] = e.sha256;
    if (e.file.kind == FileKind::Global) {
      f["content"] = "Global Data";
    } else {
      f["names"] = nlohmann::json::array();
      for (const std::string& name : e.names) f["names"].push_back(Latin1ToUtf8(name));
    }
    j["files"].push_back(f);
  }
  return j.dump(2) + "\n";
}

std::optional<BackupManifest> BackupManifest::FromJson(std::string_view text, std::string& error) {
  const nlohmann::json j = nlohmann::json::parse(text, nullptr, false);
  if (j.is_discarded() || !j.is_object()) {
    error = "it is not JSON";
    return std::nullopt;
  }
  try {
    if (j.at("format") != kFormat || j.at("formatVersion") != kFormatVersion) {
      error = "it is not a backup manifest of this program";
      return std::nullopt;
    }
    BackupManifest m;
    m.created = j.value("created", "");
    m.identity = j.at("instrument").value("identity", "");
    m.version = j.at("instrument").value("version", "");
    m.programCardBanks = j.at("card").at("programBanks").get<int>();
    m.mixCardBanks = j.at("card").at("mixBanks").get<int>();
    for (const nlohmann::json& f : j.at("files")) {
      Entry e;
      const std::string file = f.at("file").get<std::string>();
      const auto kind = KindNamed(f.at("kind").get<std::string>());
      const int bank = f.at("bank").is_null() ? -1 : f.at("bank").get<int>();
      if (!kind || BackupFile::NameOf(*kind, bank) != file) {
        error = "\"" + file + "\" is not a file a backup holds";
        return std::nullopt;
      }
      e.file = {*kind, bank, file};
      e.size = f.at("size").get<std::size_t>();
      e.sha256 = f.at("sha256").get<std::string>();
      if (!IsSha256(e.sha256)) {
        error = "the SHA-256 of \"" + file + "\" is malformed";
        return std::nullopt;
      }
      m.entries.push_back(std::move(e));
    }
    return m;
  } catch (const nlohmann::json::exception&) {
    error = "a field is missing or of the wrong type";
    return std::nullopt;
  }
}

}  // namespace quorle
