// The window fetching a Program bank from quorle-sim over the ALSA sequencer, as a user would:
// both devices chosen from the lists, Get Bank clicked, the bank chooser and the file chooser
// answered. Run by wire.sh inside the VM, with quorle-sim (seed 5, 50,000 bytes a second) already
// listed.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include "QtTestSupport.h"
#include "sim/SimulatedAndromeda.h"

namespace quorle {
namespace {

using testing::Child;
using testing::Click;
using testing::Items;
using testing::ModalAnswerer;
using testing::ReadAll;
using testing::WaitUntil;

constexpr int kPatienceMs = 240000;

// The list entry of quorle-sim's port: a sequencer port, not the in-process simulator.
int SimEntry(const QComboBox* box) {
  const QStringList items = Items(box);
  for (int i = 0; i < items.size(); ++i) {
    if (items[i].contains(":Simulated Andromeda ")) return i;
  }
  return -1;
}

TEST(WindowOverAlsa, GetsAProgramBankFromQuorleSim) {
  const auto dir = testing::FreshTestFolder("alsa-window");
  MidiSystem midi(MidiSystem::Options{});
  MainWindow window(midi.Service(), MidiDispatcher::Main(), QString::fromStdString(dir.string()));
  LibraryConnection library(dir / "library.sqlite");
  window.SetLibrary(&library);
  window.Form().FormCreate();
  window.show();

  auto* in = Child<QComboBox>(&window, "cbxIn");
  auto* out = Child<QComboBox>(&window, "cbxOut");
  const int inEntry = SimEntry(in), outEntry = SimEntry(out);
  ASSERT_GE(inEntry, 0) << Items(in).join(", ").toStdString();
  ASSERT_GE(outEntry, 0) << Items(out).join(", ").toStdString();
  testing::Choose(in, inEntry);
  testing::Choose(out, outEntry);
  ASSERT_EQ(in->currentIndex(), inEntry);
  ASSERT_EQ(out->currentIndex(), outEntry);

  window.fileChooserForTests = [&](const FileChoice&) -> std::optional<std::string> {
    return (dir / "user.syx").string();
  };
  ModalAnswerer answerer;
  answerer.Then([](QWidget* form) {
    EXPECT_EQ(form->objectName(), "frmSplitBank");
    Click(Child<QPushButton>(form, "btnOK"));
  });
  Click(Child<QPushButton>(&window, "btnGetBank"));
  ASSERT_TRUE(WaitUntil([&] { return answerer.AllAnswered(); }, kPatienceMs));
  auto* status = Child<QLabel>(&window, "Stat");
  ASSERT_TRUE(WaitUntil([&] { return status->text().contains("saved to disk"); }, kPatienceMs))
      << status->text().toStdString();

  SimSettings settings;
  settings.seed = 5;
  EXPECT_EQ(ReadAll(dir / "user.syx"), SimulatedAndromeda(settings).BankFile(kProgramKind, 0));
  EXPECT_EQ(status->text(), "Bank \"user.syx\" saved to disk");
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace quorle
