#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <locale>
#include <optional>
#include <sstream>

#include "app/IniFile.h"
#include "app/MidiSystem.h"
#include "app/TfrmMain.h"
#include "midi/MidiDispatcher.h"
#include "midi/TMidiOutput.h"
#include "midi/VirtualDevice.h"
#include "midi/VirtualMidiService.h"
#include "support/ScriptedHost.h"
#include "support/TestFolder.h"

namespace quorle {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::ScriptedHost;

constexpr auto kLimit = std::chrono::seconds(10);

// The window over the in-process devices only: the simulated Andromeda (device 0) and a test
// endpoint (device 1) that records what is sent to it and injects what a test wants received.
class Shell : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = testing::FreshTestFolder("shell");
    MidiSystem::Options options;
    options.realDevices = false;
    options.sim.rate = 0;
    midi_ = std::make_unique<MidiSystem>(options);
    endpoint_ = midi_->InProcess().AddDevice("Test Port");
  }
  void TearDown() override {
    form_.reset();
    fs::remove_all(dir_);
  }

  TfrmMain& Start() {
    form_ = std::make_unique<TfrmMain>(host_, midi_->Service(), MidiDispatcher::Main(), dir_);
    form_->FormCreate();
    return *form_;
  }
  void WriteSettings(const std::string& text) { std::ofstream(dir_ / "quorle.ini") << text; }
  std::string ReadSettings() {
    std::ifstream in(dir_ / "quorle.ini");
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }
  static bool WaitFor(const std::function<bool()>& done) {
    return MidiDispatcher::Main().DispatchUntil(done, kLimit);
  }
  // Lets every notice already posted be handled.
  static void Settle() { MidiDispatcher::Main().WaitAndDispatch(std::chrono::milliseconds(50)); }

  fs::path dir_;
  ScriptedHost host_;
  std::unique_ptr<MidiSystem> midi_;
  std::shared_ptr<VirtualDevice> endpoint_;
  std::unique_ptr<TfrmMain> form_;
};

// What a first start writes at close: every key, in order, with its default.
constexpr const char* kDefaultSettings =
    "[MIDI]\nInputDeviceID=0\nInputDeviceName=Simulated Andromeda\nOutputDeviceID=0\n"
    "OutputDeviceName=Simulated Andromeda\nBufferCount=4\nBufferSize=4096\n"
    "SendDelay=15\nReplyTimeout=10\nVerify=0\n\n[PROGRAM]\nProgramPath=\nBankPath=\nMixPath="
    "\nMixBankPath=\n"
    "GlobalPath=\nProgramBanksOnCard=-1\nMixBanksOnCard=-1\nActivePage=1\n\n[LIBRARY]\n"
    "Capture=1\nKeepReplaced=1\n";

TEST_F(Shell, FirstStartUsesDefaultsAndCloseWritesEveryKeyInOrder) {
  TfrmMain& f = Start();
  EXPECT_THAT(f.cbxInItems, ElementsAre("Simulated Andromeda", "Test Port"));
  EXPECT_EQ(f.cbxInIndex, 0);
  EXPECT_TRUE(f.InputOpen);
  EXPECT_TRUE(f.MidiIn.IsOpen());
  EXPECT_TRUE(f.OutputOpen);
  EXPECT_EQ(f.MidiIn.SysexBufferCount(), 4);
  EXPECT_EQ(f.MidiIn.SysexBufferSize(), 4096);
  EXPECT_EQ(f.spCountText, "4");
  EXPECT_EQ(f.SendDelay, 15);
  EXPECT_EQ(f.lblSendDelayCaption, "15 ms ");
  EXPECT_EQ(f.ActivePage, 1);
  EXPECT_EQ(f.TabsHelpContext, 1001);
  EXPECT_EQ(f.ProgramBanksOnCard, -1);
  EXPECT_TRUE(host_.messages.empty());

  f.FormClose();
  EXPECT_FALSE(f.MidiIn.IsOpen());
  EXPECT_FALSE(f.OutputOpen);
  EXPECT_EQ(ReadSettings(), kDefaultSettings);
}

// The user's locale with a decimal comma, as the toolkit sets it from the environment: the C
// library's, built here from a one-category source so that no installed locale is needed, and
// the C++ library's.
class DecimalCommaLocale {
 public:
  explicit DecimalCommaLocale(const fs::path& dir) {
    std::ofstream(dir / "comma.src") << "LC_NUMERIC\ndecimal_point \"<U002C>\"\n"
                                        "thousands_sep \"<U002E>\"\ngrouping 3;3\nEND LC_NUMERIC\n";
    const std::string build = "localedef -c -i '" + (dir / "comma.src").string() + "' '" +
                              (dir / "locales" / "quorle_comma").string() + "' >/dev/null 2>&1";
    fs::create_directories(dir / "locales");
    [[maybe_unused]] const int status = std::system(build.c_str());  // warns of the others
    const char* path = std::getenv("LOCPATH");
    if (path) oldPath_ = path;
    ::setenv("LOCPATH", (dir / "locales").c_str(), 1);
    oldNumeric_ = std::setlocale(LC_NUMERIC, nullptr);
    std::setlocale(LC_NUMERIC, "quorle_comma");
    oldGlobal_ = std::locale::global(std::locale(std::locale::classic(), new Comma));
  }
  ~DecimalCommaLocale() {
    std::locale::global(oldGlobal_);
    std::setlocale(LC_NUMERIC, oldNumeric_.c_str());
    oldPath_ ? ::setenv("LOCPATH", oldPath_->c_str(), 1) : ::unsetenv("LOCPATH");
  }
  static bool InEffect() {
    return std::string(std::localeconv()->decimal_point) == "," &&
           std::use_facet<std::numpunct<char>>(std::locale()).decimal_point() == ',';
  }

 private:
  struct Comma : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
  };
  std::optional<std::string> oldPath_;
  std::string oldNumeric_;
  std::locale oldGlobal_;
};

TEST_F(Shell, TheReplyTimeOutIsReadAndWrittenWithAPointWhateverTheLocale) {
  DecimalCommaLocale comma(dir_);
  ASSERT_TRUE(DecimalCommaLocale::InEffect());
  WriteSettings("[MIDI]\nReplyTimeout=0.5\n");
  TfrmMain& f = Start();
  EXPECT_EQ(f.ReplyTimeout, 0.5);
  f.ReplyTimeout = 2.25;
  f.FormClose();
  EXPECT_EQ(IniFile::Load(dir_ / "quorle.ini").Get("MIDI", "ReplyTimeout"), "2.25");
}

TEST_F(Shell, StoredSettingsAreReadInAnyNotationAndClampedByTheSetupPage) {
  WriteSettings(
      "; kept as written\n[midi]\ninputdeviceid = 1\nSENDDELAY=500\nBufferCount=2\n"
      "BufferSize=0x2000\nOutputDeviceID=$1\nColour=blue\n\n[PROGRAM]\nProgramPath=/music/"
      "progs/\nProgramBanksOnCard=3\nMixBanksOnCard=oops\nActivePage=4\n\n[Other]\nx=1\n");
  TfrmMain& f = Start();
  EXPECT_EQ(f.cbxInIndex, 1);
  EXPECT_EQ(f.cbxOutIndex, 1);
  EXPECT_EQ(f.SendDelay, 200);
  EXPECT_EQ(f.lblSendDelayCaption, "200 ms ");
  EXPECT_EQ(f.MidiIn.SysexBufferCount(), 4);  // brought into range and the port reopened
  EXPECT_EQ(f.MidiIn.SysexBufferSize(), 8192);
  EXPECT_TRUE(f.MidiIn.IsOpen());
  EXPECT_EQ(f.ProgramPath, "/music/progs/");
  EXPECT_EQ(f.ProgramBanksOnCard, 3);
  EXPECT_EQ(f.MixBanksOnCard, -1);
  EXPECT_EQ(f.ActivePage, 4);
  EXPECT_EQ(f.TabsHelpContext, 1004);

  f.FormClose();
  const IniFile ini = IniFile::Load(dir_ / "quorle.ini");
  EXPECT_EQ(ini.Get("MIDI", "SendDelay"), "200");
  EXPECT_EQ(ini.Get("MIDI", "BufferCount"), "4");
  EXPECT_EQ(ini.Get("MIDI", "BufferSize"), "8192");
  EXPECT_EQ(ini.Get("MIDI", "Colour"), "blue");
  EXPECT_EQ(ini.Get("Other", "x"), "1");
  EXPECT_THAT(ReadSettings(), HasSubstr("; kept as written\n"));
}

TEST_F(Shell, AStaleDeviceNumberOpensTheWindowWithBothPortsClosedAndOneError) {
  WriteSettings("[MIDI]\nInputDeviceID=7\nOutputDeviceID=9\n");
  TfrmMain& f = Start();
  ASSERT_EQ(host_.messages.size(), 1u);
  EXPECT_EQ(host_.messages[0].text, "Invalid device ID");
  EXPECT_FALSE(f.MidiIn.IsOpen());
  EXPECT_FALSE(f.OutputOpen);
  f.btnCheckClick();  // a closed output port makes the request silent
  EXPECT_TRUE(f.ControlsEnabled());

  // Choosing devices on the Setup page brings the window back to life.
  f.UserSelectsInput(0);
  f.UserSelectsOutput(0);
  f.btnCheckClick();
  ASSERT_TRUE(WaitFor([&] { return host_.messages.size() == 2; }));
  EXPECT_EQ(host_.messages[1].text, "Alesis Andromeda version 2.05 found");
}

TEST_F(Shell, SettingsThatCannotBeWrittenAreReportedAndThePortsStillClose) {
  fs::create_directories(dir_ / "quorle.ini" / "in-the-way");
  TfrmMain& f = Start();
  f.FormClose();
  ASSERT_EQ(host_.messages.size(), 1u);
  EXPECT_EQ(host_.messages[0].text, "Unable to write to " + (dir_ / "quorle.ini").string());
  EXPECT_FALSE(f.MidiIn.IsOpen());
  EXPECT_FALSE(f.MidiOut.IsOpen());
}

TEST_F(Shell, CheckConnectionReportsTheVersionWithoutLocking) {
  TfrmMain& f = Start();
  f.btnCheckClick();
  EXPECT_TRUE(f.ControlsEnabled());
  ASSERT_TRUE(WaitFor([&] { return !host_.messages.empty(); }));
  EXPECT_EQ(host_.messages[0].icon, MessageIcon::Information);
  EXPECT_EQ(host_.messages[0].text, "Alesis Andromeda version 2.05 found");
  EXPECT_THAT(f.OutMessage, ElementsAre(0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7));
}

TEST_F(Shell, IdentityRepliesOfOtherMakersAndLengthsAreHandledQuietly) {
  TfrmMain& f = Start();
  f.UserSelectsInput(1);
  f.UserSelectsOutput(1);
  f.btnCheckClick();
  ASSERT_TRUE(endpoint_->WaitForSent(1, kLimit));

  Bytes other = IdentityReply("1.00");
  other[7] = 0x0F;  // another maker
  endpoint_->Inject(other);
  Bytes shorter = IdentityReply("1.00");
  shorter.erase(shorter.begin() + 12);
  endpoint_->Inject(shorter);
  ASSERT_TRUE(WaitFor([&] { return f.StatusText() != TfrmMain::kCheckingText; }));
  EXPECT_EQ(f.StatusText(), " unknown Midi message [16 bytes]");
  EXPECT_TRUE(host_.messages.empty());
}

TEST_F(Shell, ACheckShowsItsWaitAndSaysAFailureInAMessageAsItSaysSuccess) {
  TfrmMain& f = Start();
  f.UserSelectsInput(1);
  f.UserSelectsOutput(1);  // a port nobody answers on
  f.ReplyTimeout = 0.3;
  f.btnCheckClick();
  EXPECT_TRUE(f.Checking());
  EXPECT_TRUE(f.ControlsEnabled());
  EXPECT_EQ(f.StatusText(), TfrmMain::kCheckingText);
  ASSERT_TRUE(WaitFor([&] { return !host_.messages.empty(); }));
  EXPECT_FALSE(f.Checking());
  EXPECT_EQ(host_.messages[0].icon, MessageIcon::Warning);
  EXPECT_THAT(host_.messages[0].text, HasSubstr("No Andromeda answered on Test Port"));
  EXPECT_EQ(f.StatusText(), TfrmMain::kNoReplyText);

  // The wait ends with the reply, which leaves no "Checking..." behind.
  f.btnCheckClick();
  ASSERT_TRUE(endpoint_->WaitForSent(2, kLimit));
  endpoint_->Inject(IdentityReply("2.05"));
  ASSERT_TRUE(WaitFor([&] { return host_.messages.size() == 2; }));
  EXPECT_EQ(host_.messages[1].icon, MessageIcon::Information);
  EXPECT_FALSE(f.Checking());
  EXPECT_EQ(f.StatusText(), "");
}

TEST_F(Shell, AMessageBeforeAnyRequestIsTheFirstOneTheFirstHandlerGets) {
  TfrmMain& f = Start();
  f.UserSelectsInput(1);
  f.UserSelectsOutput(1);
  endpoint_->Inject(IdentityReply("1.00"));
  // It waits in the port; its notice finds no handler.
  ASSERT_TRUE(WaitFor([&] { return f.MidiIn.PendingCount() == 1; }));
  Settle();

  f.btnCheckClick();
  endpoint_->Inject(IdentityReply("2.05"));
  ASSERT_TRUE(WaitFor([&] { return !host_.messages.empty(); }));
  EXPECT_EQ(host_.messages[0].text, "Alesis Andromeda version 1.00 found");
}

TEST_F(Shell, AnOutputPortThatCannotOpenIsReportedAndRequestsStaySilent) {
  TfrmMain& f = Start();
  TMidiOutput other(midi_->Service(), MidiDispatcher::Main());
  other.SetDeviceID(1);
  ASSERT_TRUE(other.Open());  // another program holds the test port

  f.UserSelectsOutput(1);
  ASSERT_EQ(host_.messages.size(), 1u);
  EXPECT_EQ(host_.messages[0].icon, MessageIcon::Error);
  EXPECT_EQ(host_.messages[0].text, "Can't open Midi Out port Test Port");
  EXPECT_FALSE(f.OutputOpen);

  f.btnCheckClick();
  f.SendRequest(DumpRequest(kProgramKind, 0, 0), &TfrmMain::RecDeviceInfo, true);
  EXPECT_TRUE(f.ControlsEnabled());
  Settle();
  EXPECT_TRUE(endpoint_->Sent().empty());
  EXPECT_EQ(host_.messages.size(), 1u);
  other.Close();
}

TEST_F(Shell, TheLockDoesNotCountAndAnErrorNeverLeavesTheWindowLocked) {
  TfrmMain& f = Start();
  f.Disable();
  f.Disable();
  EXPECT_FALSE(f.ControlsEnabled());
  f.Enable();
  EXPECT_TRUE(f.ControlsEnabled());

  f.Disable();
  f.Guarded([&] { f.MidiIn.SetSysexBufferSize(8192); });  // refused: the port is open
  EXPECT_TRUE(f.ControlsEnabled());
  ASSERT_EQ(host_.messages.size(), 1u);
  EXPECT_EQ(host_.messages[0].text, "Change to SysexBufferSize while device was open");
}

TEST_F(Shell, SetupFieldsTakeEachKeystrokeAndClampOnLeaving) {
  TfrmMain& f = Start();
  f.UserTypesBufferCount("1");
  EXPECT_EQ(f.MidiIn.SysexBufferCount(), 1);
  f.UserTypesBufferCount("12");
  EXPECT_EQ(f.MidiIn.SysexBufferCount(), 12);
  f.UserTypesBufferCount("2");
  f.UserLeavesBufferCount();
  EXPECT_EQ(f.spCountText, "4");
  EXPECT_EQ(f.MidiIn.SysexBufferCount(), 4);
  EXPECT_TRUE(f.MidiIn.IsOpen());

  f.UserTypesBufferSize("abc");
  EXPECT_EQ(f.MidiIn.SysexBufferSize(), 4096);
  f.UserTypesBufferSize("99999");
  f.UserLeavesBufferSize();
  EXPECT_EQ(f.spSizeText, "16384");
  EXPECT_EQ(f.MidiIn.SysexBufferSize(), 16384);

  f.UserMovesSendDelay(0);
  EXPECT_EQ(f.SendDelay, 0);
  EXPECT_EQ(f.lblSendDelayCaption, "0 ms ");
  f.UserMovesSendDelay(250);
  EXPECT_EQ(f.lblSendDelayCaption, "200 ms ");
  EXPECT_TRUE(host_.messages.empty());
}

TEST_F(Shell, AFolderWithALineBreakIsForgottenRatherThanSpilledIntoOtherSettings) {
  // Found by fuzzing the settings file: such a folder's second line was read as a section.
  TfrmMain& f = Start();
  f.ProgramPath = "/music/two\nlines/";
  f.MixPath = "/music/x\r\n[MIDI]\r\nBufferCount=0\n";
  f.FormClose();
  EXPECT_EQ(ReadSettings(), kDefaultSettings);
}

TEST_F(Shell, StoredBuffersOutOfRangeComeIntoRangeAlsoWithTheStoredDevicesGone) {
  // The fields already show 4096 and 4 before start; the port must not keep 0 all the same.
  WriteSettings("[MIDI]\nBufferSize=0\nBufferCount=0\n");
  TfrmMain& f = Start();
  EXPECT_EQ(f.MidiIn.SysexBufferSize(), 4096);
  EXPECT_EQ(f.MidiIn.SysexBufferCount(), 4);
  f.btnCheckClick();
  ASSERT_TRUE(WaitFor([&] { return !host_.messages.empty(); }));
  EXPECT_EQ(host_.messages[0].text, "Alesis Andromeda version 2.05 found");
  form_.reset();

  host_.messages.clear();
  WriteSettings("[MIDI]\nInputDeviceID=7\nBufferSize=100\nBufferCount=500\n");
  TfrmMain& g = Start();
  EXPECT_FALSE(g.InputOpen);
  EXPECT_EQ(g.MidiIn.SysexBufferSize(), 4096);
  EXPECT_EQ(g.MidiIn.SysexBufferCount(), 128);
  EXPECT_EQ(g.spCountText, "128");
  // A change while the port is closed is kept for its next open and for the settings.
  g.UserTypesBufferSize("8192");
  g.UserSelectsInput(0);
  EXPECT_EQ(g.MidiIn.SysexBufferSize(), 8192);
  EXPECT_TRUE(g.MidiIn.IsOpen());
  g.FormClose();
  const IniFile ini = IniFile::Load(dir_ / "quorle.ini");
  EXPECT_EQ(ini.Get("MIDI", "BufferSize"), "8192");
  EXPECT_EQ(ini.Get("MIDI", "BufferCount"), "128");
}

}  // namespace
}  // namespace quorle
