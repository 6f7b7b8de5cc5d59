#include "sim/SimulatedAndromeda.h"

#include <gtest/gtest.h>

#include "protocol/DumpName.h"
#include "protocol/Pack.h"
#include "sim/SimContent.h"

namespace quorle {
namespace {

std::vector<Bytes> Messages(const std::vector<ScheduledMessage>& schedule) {
  std::vector<Bytes> out;
  for (const auto& s : schedule) out.push_back(s.message);
  return out;
}

Bytes Data(const DumpKind& kind, const Bytes& dump) {
  Bytes data(kMaxDumpSize, 0);
  Unpack(ByteView(dump).subspan(kPayloadOffset, kind.packedSize), data, kind.packedSize);
  return data;
}

class SimulatedAndromedaTest : public ::testing::Test {
 protected:
  SimulatedAndromeda sim{SimSettings{}};
};

TEST_F(SimulatedAndromedaTest, AnswersIdentityWithItsVersion) {
  const auto reply = Messages(sim.Receive(IdentityRequest()));
  ASSERT_EQ(reply.size(), 1u);
  const Identity id = RecogniseIdentityReply(reply[0]);
  EXPECT_EQ(id.result, IdentityResult::Andromeda);
  EXPECT_EQ(id.version, "2.05");

  SimSettings settings;
  settings.version = "1.23";
  SimulatedAndromeda older(settings);
  EXPECT_EQ(RecogniseIdentityReply(older.Receive(IdentityRequest()).at(0).message).version, "1.23");
}

TEST_F(SimulatedAndromedaTest, AnswersSingleDumpRequestsForEveryBankItHas) {
  // Program banks 0 to 4, Mix banks 0 to 3 with the default card of 2 + 2 banks.
  for (const DumpKind* kind : {&kProgramKind, &kMixKind}) {
    const int banks = kind->firstCardBank + 2;
    for (int bank = 0; bank < banks; ++bank) {
      const auto reply = Messages(sim.Receive(DumpRequest(*kind, bank, 127)));
      ASSERT_EQ(reply.size(), 1u) << kind->name << " bank " << bank;
      EXPECT_TRUE(CheckDumpFraming(*kind, reply[0]));
      EXPECT_EQ(reply[0][6], bank);
      EXPECT_EQ(reply[0][7], 127);
      const Bytes data = Data(*kind, reply[0]);
      EXPECT_EQ(data[kind->cardProgramBanksOffset], 2);
      EXPECT_EQ(data[kind->cardMixBanksOffset], 2);
    }
    // Beyond the card, and above 16, there is no answer.
    for (int bank : {banks, 16, 17, 0x7F}) {
      EXPECT_TRUE(sim.Receive(DumpRequest(*kind, bank, 0)).empty()) << bank;
      EXPECT_TRUE(sim.Receive(BankDumpRequest(*kind, bank)).empty()) << bank;
    }
  }
  const auto global = Messages(sim.Receive(GlobalDumpRequest()));
  ASSERT_EQ(global.size(), 1u);
  EXPECT_EQ(global[0].size(), 18183u);
  EXPECT_EQ(global[0], sim.GlobalData());
}

TEST_F(SimulatedAndromedaTest, AnswersBankRequestsWith128DumpsInOrder) {
  for (const DumpKind* kind : {&kProgramKind, &kMixKind}) {
    const auto reply = sim.Receive(BankDumpRequest(*kind, 1));
    ASSERT_EQ(reply.size(), 128u);
    for (int entry = 0; entry < 128; ++entry) {
      const Bytes& dump = reply[entry].message;
      EXPECT_TRUE(CheckDumpFraming(*kind, dump));
      EXPECT_EQ(dump[6], 1);
      EXPECT_EQ(dump[7], entry);
      EXPECT_EQ(dump, sim.Dump(*kind, 1, entry));
    }
  }
}

TEST(SimulatedAndromeda, CardSizesAreSettingsAndReportedInEveryDump) {
  SimSettings settings;
  settings.programCardBanks = 14;
  settings.mixCardBanks = 0;
  settings.bankGap = std::chrono::milliseconds(30);
  SimulatedAndromeda sim(settings);
  EXPECT_EQ(sim.BankCount(kProgramKind), 17);
  EXPECT_EQ(sim.BankCount(kMixKind), 2);
  EXPECT_EQ(sim.Receive(DumpRequest(kProgramKind, 16, 5)).size(), 1u);
  EXPECT_TRUE(sim.Receive(DumpRequest(kMixKind, 2, 5)).empty());

  const auto bank = sim.Receive(BankDumpRequest(kProgramKind, 16));
  ASSERT_EQ(bank.size(), 128u);
  EXPECT_EQ(bank[0].pauseBefore.count(), 0);
  EXPECT_EQ(bank[1].pauseBefore.count(), 30);
  const Bytes data = Data(kProgramKind, bank[127].message);
  EXPECT_EQ(data[1948], 14);
  EXPECT_EQ(data[1949], 0);

  // Settings beyond what a card holds are kept within it.
  settings.programCardBanks = 30;
  settings.mixCardBanks = -3;
  SimulatedAndromeda odd(settings);
  EXPECT_EQ(odd.BankCount(kProgramKind), 17);
  EXPECT_EQ(odd.BankCount(kMixKind), 2);
}

TEST_F(SimulatedAndromedaTest, StoresDumpsInUserAndCardBanksOnly) {
  for (const DumpKind* kind : {&kProgramKind, &kMixKind}) {
    const int lastCard = kind->firstCardBank + 1;
    const Bytes original = sim.Dump(*kind, 1, 9);
    for (int bank : {0, lastCard}) {
      Bytes dump = RenameDump(*kind, original, "Stored: here/now");
      AddressDump(dump, bank, 42);
      EXPECT_TRUE(sim.Receive(dump).empty());
      EXPECT_EQ(sim.Dump(*kind, bank, 42), dump) << kind->name << " bank " << bank;
      EXPECT_EQ(Messages(sim.Receive(DumpRequest(*kind, bank, 42))).at(0), dump);
    }
    // Presets keep their content; a bank beyond the card does not exist.
    for (int bank = 1; bank < kind->firstCardBank; ++bank) {
      const Bytes before = sim.Dump(*kind, bank, 42);
      Bytes dump = RenameDump(*kind, original, "Into a preset");
      AddressDump(dump, bank, 42);
      sim.Receive(dump);
      EXPECT_EQ(sim.Dump(*kind, bank, 42), before);
    }
    Bytes beyond = original;
    AddressDump(beyond, lastCard + 1, 0);
    sim.Receive(beyond);
    EXPECT_TRUE(sim.Dump(*kind, lastCard + 1, 0).empty());
  }
}

TEST_F(SimulatedAndromedaTest, ReportsItsOwnCardInDumpsItWasSent) {
  // A Program from an instrument with a bigger card: stored as it came, sent with this card.
  Bytes foreign = SeededDump(kProgramKind, 42, 0, 7, 14, 9);
  sim.Receive(foreign);
  const Bytes back = Messages(sim.Receive(DumpRequest(kProgramKind, 0, 7))).at(0);
  const Bytes data = Data(kProgramKind, back);
  EXPECT_EQ(data[1948], 2);
  EXPECT_EQ(data[1949], 2);
  EXPECT_EQ(DumpName(kProgramKind, back), DumpName(kProgramKind, foreign));
  ReportCardBanks(kProgramKind, foreign, 2, 2);
  EXPECT_EQ(back, foreign);
}

TEST_F(SimulatedAndromedaTest, StoresTheGlobalData) {
  Bytes global = sim.GlobalData();
  global[100] ^= 0x55;
  sim.Receive(global);
  EXPECT_EQ(Messages(sim.Receive(GlobalDumpRequest())).at(0), global);
}

TEST_F(SimulatedAndromedaTest, IgnoresEverythingElse) {
  const Bytes user = sim.Dump(kProgramKind, 0, 3);
  Bytes renamed = RenameDump(kProgramKind, user, "Changed");
  auto variant = [&](auto change) {
    Bytes m = renamed;
    change(m);
    return m;
  };
  const std::vector<Bytes> ignored = {
      variant([](Bytes& m) { m.resize(m.size() - 1); }),       // no F7
      variant([](Bytes& m) { m.erase(m.end() - 2); }),         // one byte short
      variant([](Bytes& m) { m[3] = 0x0F; }),                  // another maker
      variant([](Bytes& m) { m[100] = 0x80; }),                // a status byte inside
      variant([](Bytes& m) { m[5] = kMixKind.opcode; }),       // a Program as a Mix
      variant([](Bytes& m) { m.insert(m.end() - 1, 0x00); }),  // one byte long
      IdentityReply("2.05"),
      {0xFE},
      {0x90, 0x3C, 0x40},
      {},
      {0xF0, 0x00, 0x00, 0x0E, 0x1D, 0x01, 0x00, 0xF7},        // a request one byte short
      {0xF0, 0x00, 0x00, 0x0E, 0x1D, 0x0A, 0x00, 0x00, 0xF7},  // a bank request one long
      {0xF0, 0x00, 0x00, 0x0E, 0x1D, 0x42, 0x00, 0xF7},        // an unknown opcode
  };
  const Bytes global = sim.GlobalData();
  for (const Bytes& m : ignored) {
    EXPECT_TRUE(sim.Receive(m).empty()) << m.size();
  }
  EXPECT_EQ(sim.Dump(kProgramKind, 0, 3), user);
  EXPECT_EQ(sim.GlobalData(), global);
}

TEST_F(SimulatedAndromedaTest, MisbehavesInBanksAsTold) {
  SimFaults faults;
  faults.dropDump = 3;
  faults.wrongOpcodeDump = 5;
  faults.wrongLengthDump = 7;
  faults.foreignBeforeDump = 9;
  faults.foreign = SimFaults::Foreign::ShortMessage;
  sim.SetFaults(faults);
  const auto reply = Messages(sim.Receive(BankDumpRequest(kMixKind, 0)));
  ASSERT_EQ(reply.size(), 128u);  // one dump less, one foreign message more
  EXPECT_EQ(reply[3][7], 4);
  EXPECT_EQ(reply[4][5], kProgramKind.opcode);
  EXPECT_EQ(reply[4][7], 5);
  EXPECT_EQ(reply[6].size(), 1179u);
  EXPECT_EQ(reply[6].back(), kSysexEnd);
  EXPECT_EQ(reply[8], (Bytes{0x90, 0x3C, 0x40}));
  EXPECT_EQ(reply[9][7], 9);
  EXPECT_EQ(reply[127][7], 127);

  faults = {};
  faults.foreignBeforeDump = 0;
  faults.foreign = SimFaults::Foreign::IdentityReply;
  sim.SetFaults(faults);
  EXPECT_EQ(RecogniseIdentityReply(Messages(sim.Receive(BankDumpRequest(kMixKind, 0)))[0]).result,
            IdentityResult::Andromeda);
  faults.foreign = SimFaults::Foreign::ActiveSensing;
  sim.SetFaults(faults);
  EXPECT_EQ(Messages(sim.Receive(BankDumpRequest(kMixKind, 0)))[0], Bytes{0xFE});
}

TEST_F(SimulatedAndromedaTest, StallsAfterKDumps) {
  SimFaults faults;
  faults.stallAfter = 40;
  sim.SetFaults(faults);
  EXPECT_EQ(sim.Receive(BankDumpRequest(kProgramKind, 0)).size(), 40u);

  faults.stallFor = std::chrono::milliseconds(1500);
  sim.SetFaults(faults);
  const auto reply = sim.Receive(BankDumpRequest(kProgramKind, 0));
  ASSERT_EQ(reply.size(), 128u);
  EXPECT_EQ(reply[40].pauseBefore.count(), 1500);
  EXPECT_EQ(reply[41].pauseBefore.count(), 0);
}

TEST_F(SimulatedAndromedaTest, AnswersSingleRequestsLateOrNotAtAll) {
  SimFaults faults;
  faults.replyDelay = std::chrono::milliseconds(700);
  sim.SetFaults(faults);
  for (const Bytes& request : {IdentityRequest(), DumpRequest(kProgramKind, 0, 0),
                               DumpRequest(kMixKind, 0, 0), GlobalDumpRequest()}) {
    const auto reply = sim.Receive(request);
    ASSERT_EQ(reply.size(), 1u);
    EXPECT_EQ(reply[0].pauseBefore.count(), 700);
  }
  // A bank starts as late; its dumps then follow at their own pace.
  const auto bank = sim.Receive(BankDumpRequest(kMixKind, 0));
  EXPECT_EQ(bank[0].pauseBefore.count(), 700);
  EXPECT_EQ(bank[1].pauseBefore.count(), 0);

  faults.ignoreSingleRequests = true;
  sim.SetFaults(faults);
  for (const Bytes& request : {IdentityRequest(), DumpRequest(kProgramKind, 0, 0),
                               DumpRequest(kMixKind, 0, 0), GlobalDumpRequest()}) {
    EXPECT_TRUE(sim.Receive(request).empty());
  }
  EXPECT_EQ(sim.Receive(BankDumpRequest(kMixKind, 0)).size(), 128u);
}

}  // namespace
}  // namespace quorle
