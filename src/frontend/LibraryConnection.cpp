#include "frontend/LibraryConnection.h"

#include <cstdlib>

#include "app/InstallLayout.h"
#include "library/InstrumentView.h"

namespace quorle {

std::filesystem::path ResolveLibraryPath(const std::optional<std::string>& option,
                                         const std::filesystem::path& appFolder) {
  if (option && !option->empty()) return *option;
  if (const char* env = std::getenv("QUORLE_LIBRARY"); env && *env) return env;
  return LibraryFileFor(appFolder);
}

LibraryConnection::LibraryConnection(std::filesystem::path file) : file_(std::move(file)) {}

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

bool LibraryConnection::Write(const std::function<void(library::Library&)>& write) {
  library::Library* library = Get();
  if (!library) return false;
  try {
    write(*library);
    lastError_.clear();
    return true;
  } catch (const std::exception& e) {
    lastError_ = e.what();
    return false;
  }
}

bool LibraryConnection::DumpFetched(const DumpKind& kind, ByteView dump, int bank, int entry) {
  return Write(
      [&](library::Library& l) { l.Record(kind, dump, bank, entry, library::How::Fetched); });
}

bool LibraryConnection::BankFetched(std::span<const Replaced> entries) {
  std::vector<library::Library::Seen> seen;
  seen.reserve(entries.size());
  for (const Replaced& d : entries) seen.push_back({d.kind, d.dump, d.bank, d.entry});
  // All of a bank in one go is what marks it as seen whole.
  return Write([&](library::Library& l) { l.RecordAll(seen, library::How::Fetched); });
}

bool LibraryConnection::DumpSent(const DumpKind& kind, ByteView dump, int bank, int entry) {
  return Write([&](library::Library& l) { l.Record(kind, dump, bank, entry, library::How::Sent); });
}

bool LibraryConnection::KeepReplaced(const DumpKind& kind, ByteView dump, int bank, int entry,
                                     const std::string& note) {
  return Write([&](library::Library& l) {
    l.Record(kind, dump, bank, entry, library::How::Replaced, note);
  });
}

bool LibraryConnection::KeepReplacedAll(std::span<const Replaced> dumps, const std::string& note) {
  std::vector<library::Library::Seen> seen;
  seen.reserve(dumps.size());
  for (const Replaced& d : dumps) seen.push_back({d.kind, d.dump, d.bank, d.entry});
  return Write([&](library::Library& l) { l.RecordAll(seen, library::How::Replaced, note); });
}

void LibraryConnection::FileWritten(const std::filesystem::path& file) {
  Write([&](library::Library& l) { l.Import({file}); });
}

int LibraryConnection::NowhereElse(const DumpKind& kind, int bank) {
  int count = 0;
  Write([&](library::Library& l) { count = library::NowhereElse(l, kind, bank); });
  return count;
}

}  // namespace quorle
