#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>

#include "app/MidiSystem.h"
#include "app/TfrmMain.h"
#include "dialogs/TfrmSplitBank.h"
#include "dialogs/TfrmSplitMixBank.h"
#include "midi/MidiDispatcher.h"
#include "midi/VirtualDevice.h"
#include "midi/VirtualMidiService.h"
#include "protocol/SysexFile.h"
#include "sim/SimulatedAndromeda.h"
#include "support/ScriptedHost.h"
#include "support/TestFolder.h"

namespace quorle::testing {

// Holds what the window keeps as replaced, in memory, as a Library would; fails when told to.
struct KeptCopies : DumpListener {
  struct Kept {
    const DumpKind* kind;
    Bytes dump;
    int bank, entry;
    std::string note;
  };
  std::vector<Kept> kept;
  std::vector<int> sentEntries;  // of every dump reported sent, in order
  // Every bank reported fetched whole: its kind, number and bytes as a bank file holds them.
  struct WholeBank {
    const DumpKind* kind;
    int bank;
    Bytes file;
  };
  std::vector<WholeBank> banksFetched;
  bool refuse = false;
  std::vector<std::filesystem::path> filesWritten;
  int nowhereElse = 0;  // what NowhereElse answers
  void FileWritten(const std::filesystem::path& file) override { filesWritten.push_back(file); }
  int NowhereElse(const DumpKind&, int) override { return nowhereElse; }
  bool DumpFetched(const DumpKind&, ByteView, int, int) override { return true; }
  bool BankFetched(std::span<const Replaced> entries) override {
    WholeBank whole{entries[0].kind, entries[0].bank, {}};
    for (std::size_t i = 0; i < entries.size(); ++i) {
      EXPECT_EQ(entries[i].entry, static_cast<int>(i));
      whole.file.insert(whole.file.end(), entries[i].dump.begin(), entries[i].dump.end());
    }
    banksFetched.push_back(std::move(whole));
    return true;
  }
  bool DumpSent(const DumpKind&, ByteView, int, int entry) override {
    sentEntries.push_back(entry);
    return true;
  }
  bool KeepReplaced(const DumpKind& kind, ByteView dump, int bank, int entry,
                    const std::string& note) override {
    const Replaced one{&kind, dump, bank, entry};
    return KeepReplacedAll({&one, 1}, note);
  }
  bool KeepReplacedAll(std::span<const Replaced> dumps, const std::string& note) override {
    if (refuse) return false;
    for (const Replaced& d : dumps)
      kept.push_back({d.kind, Bytes(d.dump.begin(), d.dump.end()), d.bank, d.entry, note});
    return true;
  }
};

// The main window over the in-process devices only: the simulated Andromeda (device 0) and a
// test endpoint (device 1) that records what it is sent and injects what a test wants received.
// Each test gets a folder of its own as the program's folder.
class WindowFixture : public ::testing::Test {
 protected:
  static constexpr auto kLimit = std::chrono::seconds(20);

  void SetUp() override { dir_ = FreshTestFolder("window"); }
  void TearDown() override {
    form_.reset();
    midi_.reset();
    std::filesystem::remove_all(dir_);
  }

  // Starts the window; sim adjusts the simulated instrument first.
  TfrmMain& Start(const std::function<void(SimSettings&)>& sim = {}) {
    MidiSystem::Options options;
    options.realDevices = false;
    options.sim.rate = 0;
    if (sim) sim(options.sim);
    midi_ = std::make_unique<MidiSystem>(options);
    endpoint_ = midi_->InProcess().AddDevice("Test Port");
    form_ = std::make_unique<TfrmMain>(host_, midi_->Service(), MidiDispatcher::Main(), dir_);
    form_->FormCreate();
    form_->SetDumpListener(&copies_);
    return *form_;
  }
  // Talk to the test endpoint instead of the instrument.
  void UseEndpoint() {
    form_->UserSelectsInput(1);
    form_->UserSelectsOutput(1);
  }

  static bool WaitFor(const std::function<bool()>& done) {
    return MidiDispatcher::Main().DispatchUntil(done, kLimit);
  }
  // Waits until the exchange has ended and everything sent has left the output port.
  bool WaitIdle() {
    return WaitFor(
        [&] { return form_->ControlsEnabled() && form_->MidiOut.MessagesInFlight() == 0; });
  }
  SimulatedAndromeda& Sim() { return midi_->Simulator(); }
  // A whole bank of the simulated instrument as a bank file holds it.
  Bytes SimBank(const DumpKind& kind, int bank = 0) { return Sim().BankFile(kind, bank); }

  std::filesystem::path Write(const std::string& name, ByteView content) {
    const auto path = dir_ / name;
    EXPECT_TRUE(WriteFileAtomically(path, content).ok);
    return path;
  }
  static Bytes Read(const std::filesystem::path& path) {
    Bytes content;
    EXPECT_TRUE(ReadWholeFile(path, content).ok) << path;
    return content;
  }
  // Scripts the next file chooser to answer path.
  void AnswerFile(const std::filesystem::path& path) {
    host_.files.push_back([p = path.string()](const FileChoice&) { return p; });
  }
  // Scripts the next fetch or split chooser of kind to choose bank and confirm.
  void AnswerBankChooser(const DumpKind& kind, int bank);
  template <typename D>
  void AnswerDialog(std::function<void(D&)> act, ModalResult result = ModalResult::OK) {
    host_.dialogs.push_back([act, result](Dialog& d) {
      auto* typed = dynamic_cast<D*>(&d);
      EXPECT_NE(typed, nullptr) << "another dialog than expected: " << d.Caption;
      if (typed && act) act(*typed);
      return result;
    });
  }

  std::filesystem::path dir_;
  ScriptedHost host_;
  KeptCopies copies_;
  std::unique_ptr<MidiSystem> midi_;
  std::shared_ptr<VirtualDevice> endpoint_;
  std::unique_ptr<TfrmMain> form_;
};

inline void WindowFixture::AnswerBankChooser(const DumpKind& kind, int bank) {
  if (&kind == &kProgramKind) {
    AnswerDialog<TfrmSplitBank>([=](TfrmSplitBank& d) {
      d.Bank = bank;
      d.btnOKClick();
    });
  } else {
    AnswerDialog<TfrmSplitMixBank>([=](TfrmSplitMixBank& d) {
      d.Bank = bank;
      d.btnOKClick();
    });
  }
}

}  // namespace quorle::testing
