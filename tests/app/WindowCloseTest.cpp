#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "dialogs/TdlgSendBank.h"
#include "support/WindowFixture.h"

namespace quorle {
namespace {

using ::testing::ElementsAre;
using ::testing::StartsWith;

using WindowClose = testing::WindowFixture;

TEST_F(WindowClose, ATransferUnderWayIsStoppedCleanlyOnlyWhenTheUserSaysSo) {
  // At the wire rate a Program dump takes most of a second: one is on its way at any time.
  TfrmMain& f = Start([](SimSettings& s) { s.rate = 3125; });
  EXPECT_TRUE(f.FormCloseQuery());  // nothing under way: nothing to ask
  f.SendDelay = 0;
  AnswerFile(Write("b.syx", SimBank(kProgramKind, 1)));
  AnswerDialog<TdlgSendBank>([](TdlgSendBank& d) { d.BitBtn1Click(); });
  f.btnSendBankClick();
  ASSERT_TRUE(WaitFor([&] { return f.Progress && f.Progress->Position() >= 1; }));

  host_.confirms = {false, true};
  EXPECT_FALSE(f.FormCloseQuery());
  EXPECT_FALSE(f.ControlsEnabled());
  EXPECT_TRUE(f.FormCloseQuery());
  EXPECT_THAT(host_.questions, ElementsAre(TfrmMain::kCloseQuestion, TfrmMain::kCloseQuestion));
  EXPECT_TRUE(f.ControlsEnabled());
  EXPECT_THAT(f.StatusText(), StartsWith(" Transfer cancelled: "));
  // The dump that was on its way has left whole, so the port closes without a word.
  EXPECT_EQ(f.MidiOut.MessagesInFlight(), 0u);
  EXPECT_FALSE(host_.progressShown);
  f.FormClose();
  EXPECT_TRUE(host_.messages.empty());
  EXPECT_FALSE(f.MidiOut.IsOpen());
}

}  // namespace
}  // namespace quorle
