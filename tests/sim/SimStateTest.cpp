#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "protocol/DumpName.h"
#include "protocol/SysexFile.h"
#include "sim/SimulatedAndromeda.h"
#include "support/TestFolder.h"

namespace quorle {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr std::size_t kDefaultStateSize =
    5 * 128 * 2350 + 4 * 128 * 1180 + 18183;  // 2 Program and 2 Mix banks on the card

class SimStateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = testing::FreshTestFolder("sim-state");
    settings_.stateFile = folder_ / "state.syx";
  }
  void TearDown() override { fs::remove_all(folder_); }

  Bytes FileContent() {
    Bytes content;
    EXPECT_TRUE(ReadWholeFile(settings_.stateFile, content).ok);
    return content;
  }
  void WriteFile(const Bytes& content) {
    ASSERT_TRUE(WriteFileAtomically(settings_.stateFile, content).ok);
  }

  fs::path folder_;
  SimSettings settings_;
};

TEST_F(SimStateTest, AMissingFileIsCreatedAsOneSysexFileOfTheWholeMemory) {
  SimulatedAndromeda sim(settings_);
  ASSERT_EQ(sim.OpenState(), "");
  const Bytes content = FileContent();
  ASSERT_EQ(content.size(), kDefaultStateSize);
  const ByteView view(content);
  EXPECT_EQ(view.first(2350).size(), 2350u);
  EXPECT_TRUE(std::equal(view.begin(), view.begin() + 2350, sim.Dump(kProgramKind, 0, 0).begin()));
  const std::size_t mixes = 5 * 128 * 2350;
  EXPECT_TRUE(CheckDumpFraming(kMixKind, view.subspan(mixes, 1180)));
  const Bytes global(content.end() - 18183, content.end());
  EXPECT_EQ(global, sim.GlobalData());
}

TEST_F(SimStateTest, ChangesSurviveARestart) {
  Bytes program, mix, global;
  {
    SimulatedAndromeda sim(settings_);
    ASSERT_EQ(sim.OpenState(), "");
    program = RenameDump(kProgramKind, sim.Dump(kProgramKind, 3, 17), "Kept: across/run");
    mix = RenameDump(kMixKind, sim.Dump(kMixKind, 0, 127), "Kept mix");
    global = sim.GlobalData();
    global[18000] = 0x7F;
    sim.Receive(program);
    sim.Receive(mix);
    sim.Receive(global);
    ASSERT_TRUE(sim.FlushState(10s));
  }
  // Another seed: what comes back is the file's, not fresh content.
  settings_.seed = 99;
  SimulatedAndromeda again(settings_);
  ASSERT_EQ(again.OpenState(), "");
  EXPECT_EQ(again.Dump(kProgramKind, 3, 17), program);
  EXPECT_EQ(again.Dump(kMixKind, 0, 127), mix);
  EXPECT_EQ(again.GlobalData(), global);
  EXPECT_EQ(again.Dump(kProgramKind, 1, 0),
            SimulatedAndromeda(SimSettings{}).Dump(kProgramKind, 1, 0));
}

TEST_F(SimStateTest, TheFileIsWrittenAfterEveryChange) {
  SimulatedAndromeda sim(settings_);
  ASSERT_EQ(sim.OpenState(), "");
  for (int entry = 0; entry < 128; entry += 9) {
    Bytes dump =
        RenameDump(kMixKind, sim.Dump(kMixKind, 2, entry), "Change " + std::to_string(entry));
    sim.Receive(dump);
    ASSERT_TRUE(sim.FlushState(10s));
    const Bytes content = FileContent();
    const std::size_t at = 5 * 128 * 2350 + (2 * 128 + entry) * 1180;
    EXPECT_TRUE(std::equal(dump.begin(), dump.end(), content.begin() + at)) << entry;
  }
  // A dump the instrument ignores changes nothing.
  Bytes preset = sim.Dump(kMixKind, 1, 0);
  const Bytes before = FileContent();
  sim.Receive(RenameDump(kMixKind, preset, "No"));
  ASSERT_TRUE(sim.FlushState(10s));
  EXPECT_EQ(FileContent(), before);
}

TEST_F(SimStateTest, APartialFileIsTakenAndCompleted) {
  // A bank file of the User Programs, renamed, as a musician might start from.
  SimulatedAndromeda fresh(SimSettings{});
  Bytes bank;
  for (int entry = 0; entry < 128; ++entry) {
    const Bytes d = RenameDump(kProgramKind, fresh.Dump(kProgramKind, 0, entry), "Mine");
    bank.insert(bank.end(), d.begin(), d.end());
  }
  WriteFile(bank);
  SimulatedAndromeda sim(settings_);
  ASSERT_EQ(sim.OpenState(), "");
  EXPECT_EQ(DumpName(kProgramKind, sim.Dump(kProgramKind, 0, 64)), PadName("Mine"));
  const Bytes content = FileContent();
  EXPECT_EQ(content.size(), kDefaultStateSize);
  EXPECT_TRUE(std::equal(bank.begin(), bank.end(), content.begin()));
}

TEST_F(SimStateTest, ADamagedFileIsRefusedAndLeftAsItIs) {
  Bytes whole;
  {
    SimulatedAndromeda sim(settings_);
    ASSERT_EQ(sim.OpenState(), "");
    whole = FileContent();
  }
  const auto damaged = [&](auto change) {
    Bytes m = whole;
    change(m);
    return m;
  };
  SimSettings smallerCard = settings_;
  smallerCard.programCardBanks = 1;
  const std::vector<std::pair<Bytes, SimSettings>> cases = {
      {damaged([](Bytes& m) { m.resize(m.size() - 1); }), settings_},    // cut short
      {damaged([](Bytes& m) { m.push_back(0x00); }), settings_},         // a stray byte
      {damaged([](Bytes& m) { m[2350 * 3 + 500] = 0x99; }), settings_},  // broken message
      {damaged([](Bytes& m) { m.erase(m.begin() + 100); }), settings_},  // wrong size
      {damaged([](Bytes& m) { m[2350 * 4 + 5] = 0x02; }), settings_},    // unknown opcode
      {Bytes{'h', 'e', 'l', 'l', 'o'}, settings_},                       // not SysEx
      {whole, smallerCard},  // a Program card bank this card lacks
  };
  for (const auto& [content, settings] : cases) {
    WriteFile(content);
    SimulatedAndromeda sim(settings);
    const std::string error = sim.OpenState();
    EXPECT_NE(error, "");
    EXPECT_NE(error.find(settings_.stateFile.string()), std::string::npos) << error;
    sim.Receive(RenameDump(kProgramKind, sim.Dump(kProgramKind, 0, 0), "Not written"));
    EXPECT_TRUE(sim.FlushState(10s));
    EXPECT_EQ(FileContent(), content) << error;
  }
}

TEST_F(SimStateTest, AFileThatCannotBeCreatedIsReported) {
  settings_.stateFile = folder_ / "no such folder" / "state.syx";
  SimulatedAndromeda sim(settings_);
  EXPECT_NE(sim.OpenState().find("cannot create"), std::string::npos);
  settings_.stateFile = folder_;
  SimulatedAndromeda folder(settings_);
  EXPECT_NE(folder.OpenState(), "");
}

TEST_F(SimStateTest, AFailedWriteIsReportedAndTheNextChangeTriesAgain) {
  SimulatedAndromeda sim(settings_);
  ASSERT_EQ(sim.OpenState(), "");
  std::mutex mutex;
  std::vector<std::string> errors;
  sim.SetStateErrorHandler([&](const std::string& e) {
    std::lock_guard lock(mutex);
    errors.push_back(e);
  });
  // The file's place taken by a folder: the rename over it fails.
  fs::remove(settings_.stateFile);
  fs::create_directories(settings_.stateFile / "blocker");
  sim.Receive(RenameDump(kProgramKind, sim.Dump(kProgramKind, 0, 0), "First"));
  ASSERT_TRUE(sim.FlushState(10s));
  {
    std::lock_guard lock(mutex);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("cannot write"), std::string::npos);
  }
  fs::remove_all(settings_.stateFile);
  const Bytes second = RenameDump(kProgramKind, sim.Dump(kProgramKind, 0, 1), "Second");
  sim.Receive(second);
  ASSERT_TRUE(sim.FlushState(10s));
  const Bytes content = FileContent();
  ASSERT_EQ(content.size(), kDefaultStateSize);
  EXPECT_TRUE(std::equal(second.begin(), second.end(), content.begin() + 2350));
}

}  // namespace
}  // namespace quorle
