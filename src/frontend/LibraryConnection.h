#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/DumpListener.h"
#include "library/Library.h"

namespace quorle {

// The library file a front end opens: the --library option, else QUORLE_LIBRARY, else the
// default beside the program or in the user's data folder.
std::filesystem::path ResolveLibraryPath(const std::optional<std::string>& option,
                                         const std::filesystem::path& appFolder);

// Connects the window logic's dump reports to a library. Opened lazily on the first report, so
// a library that cannot be opened never stops the program; each failure is remembered for the
// window to say that the library was not updated.
class LibraryConnection : public DumpListener {
 public:
  explicit LibraryConnection(std::filesystem::path file);
  ~LibraryConnection() override;

  // The library, opened on first use; nullptr (and LastError set) when it cannot be opened.
  library::Library* Get();
  const std::filesystem::path& File() const { return file_; }
  // The reason the last report could not be recorded; empty after one that could.
  const std::string& LastError() const { return lastError_; }

  bool DumpFetched(const DumpKind& kind, ByteView dump, int bank, int entry) override;
  bool BankFetched(std::span<const Replaced> entries) override;
  bool DumpSent(const DumpKind& kind, ByteView dump, int bank, int entry) override;
  bool KeepReplaced(const DumpKind& kind, ByteView dump, int bank, int entry,
                    const std::string& note) override;
  bool KeepReplacedAll(std::span<const Replaced> dumps, const std::string& note) override;
  void FileWritten(const std::filesystem::path& file) override;
  int NowhereElse(const DumpKind& kind, int bank) override;

 private:
  // Runs one write on the library; false, with the reason kept, when it cannot be done.
  bool Write(const std::function<void(library::Library&)>& write);

  std::filesystem::path file_;
  std::unique_ptr<library::Library> library_;
  std::string lastError_;
};

}  // namespace quorle
