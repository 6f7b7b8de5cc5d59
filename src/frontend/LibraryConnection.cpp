#include "frontend/LibraryConnection.h"

#include <cstdlib>

#include "app/InstallLayout.h"

namespace quorle {

std::filesystem::path ResolveLibraryPath(const std::optional<std::string>& option,
                                         const std::filesystem::path& appFolder) {
  if (option && !option->empty()) return *option;
  if (const char* env = std::getenv("QUORLE_LIBRARY"); env && *env) return env;
  return LibraryFileFor(appFolder);
}

LibraryConnection::LibraryConnection(std::filesystem::path file, bool capture)
    : file_(std::move(file)), capture_(capture) {}

LibraryConnection::~LibraryConnection() = default;

library::Library* LibraryConnection::Get() {
  if (library_) return library_.get();
  try {
    library_ = std::make_unique<library::Library>(file_);
    lastError_.clear();
  } catch (const std::exception& e) {
    lastError_ = e.what();
  }
  return library_.get();
}

bool LibraryConnection::Record(const DumpKind& kind, ByteView dump, int bank, int entry,
                               library::How how, const std::string& note) {
  library::Library* library = Get();
  if (!library) return false;
  try {
    library->Record(kind, dump, bank, entry, how, note);
    lastError_.clear();
    return true;
  } catch (const std::exception& e) {
    lastError_ = e.what();
    return false;
  }
}

bool LibraryConnection::DumpFetched(const DumpKind& kind, ByteView dump, int bank, int entry) {
  return !capture_ || Record(kind, dump, bank, entry, library::How::Fetched, {});
}

bool LibraryConnection::DumpSent(const DumpKind& kind, ByteView dump, int bank, int entry) {
  return !capture_ || Record(kind, dump, bank, entry, library::How::Sent, {});
}

bool LibraryConnection::KeepReplaced(const DumpKind& kind, ByteView dump, int bank, int entry,
                                     const std::string& note) {
  return Record(kind, dump, bank, entry, library::How::Replaced, note);
}

bool LibraryConnection::KeepReplacedAll(std::span<const Replaced> dumps, const std::string& note) {
  library::Library* library = Get();
  if (!library) return false;
  std::vector<library::Library::Seen> seen;
  seen.reserve(dumps.size());
  for (const Replaced& d : dumps) seen.push_back({d.kind, d.dump, d.bank, d.entry});
  try {
    library->RecordAll(seen, library::How::Replaced, note);
    lastError_.clear();
    return true;
  } catch (const std::exception& e) {
    lastError_ = e.what();
    return false;
  }
}

}  // namespace quorle
