// The Library window and the Compose Bank window over a library of bank files and the in-process
// simulated Andromeda: typed searches, sends, drops, swaps, undo, saves, as a user would.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableView>
#include <QTreeWidget>
#include <fstream>

#include "QtTestSupport.h"
#include "frontend/LibraryConnection.h"
#include "protocol/DumpName.h"
#include "protocol/SysexFile.h"
#include "qt/ComposeBankWindow.h"
#include "qt/LibraryWindow.h"
#include "qt/OnAndromedaView.h"
#include "sim/SimContent.h"
#include "sim/SimulatedAndromeda.h"
#include "support/AgeReplacements.h"

namespace quorle {
namespace {

namespace fs = std::filesystem;
using testing::Child;
using testing::Choose;
using testing::Click;
using testing::ModalAnswerer;
using testing::ReadAll;
using testing::WaitUntil;

Bytes Entry(ByteView bank, const DumpKind& kind, int i) {
  const ByteView r = bank.subspan(static_cast<std::size_t>(i) * kind.dumpSize, kind.dumpSize);
  return Bytes(r.begin(), r.end());
}

class LibraryViews : public testing::WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    library_ = std::make_unique<LibraryConnection>(dir_ / "library.sqlite");
    window_->SetLibrary(library_.get());
    window_->Form().FormCreate();
    window_->show();
    ASSERT_TRUE(window_->Form().OutputOpen);
  }

  // A bank of the simulated instrument as a bank file holds it; renamed: entry -> new name.
  Bytes SimBank(int bank, const std::map<int, std::string>& renamed = {}) {
    Bytes all = midi_->Simulator().BankFile(kProgramKind, bank);
    for (const auto& [i, name] : renamed) {
      const Bytes dump = RenameDump(kProgramKind, Entry(all, kProgramKind, i), name);
      std::copy(dump.begin(), dump.end(), all.begin() + i * kProgramKind.dumpSize);
    }
    return all;
  }
  fs::path WriteBank(const std::string& name, ByteView content) {
    fs::create_directories(dir_ / "banks");
    EXPECT_TRUE(WriteFileAtomically(dir_ / "banks" / name, content).ok);
    return dir_ / "banks" / name;
  }

  // The Library window opened by its key, with the banks folder added by its button.
  LibraryWindow* OpenLibraryWithBanks() {
    QApplication::setActiveWindow(window_.get());
    QTest::keyClick(window_.get(), Qt::Key_L, Qt::ControlModifier);
    auto* library = window_->ShowLibrary();
    library->addChooserForTests = [this](bool folder) {
      return folder ? QStringList{QString::fromStdString((dir_ / "banks").string())}
                    : QStringList{};
    };
    Click(Child<QPushButton>(library, "btnAddFolder"));
    EXPECT_TRUE(WaitUntil([&] { return !library->Importing(); }));
    return library;
  }
  // Types text into the search field and waits for the rows of it.
  static void Search(LibraryWindow* library, const QString& text) {
    auto* field = Child<QLineEdit>(library, "eSearch");
    field->clear();
    QTest::keyClicks(field, text);
    EXPECT_TRUE(WaitUntil([&] { return Answered(library); }));
  }
  // Whether the rows shown and their count are those of the query in hand.
  static bool Answered(LibraryWindow* library) {
    const library::LibraryBrowser& browser = library->Model().Browser();
    return !browser.Searching() && browser.CountKnown();
  }
  static QString Cell(LibraryWindow* library, int row, int column) {
    return library->Model().index(row, column).data().toString();
  }

  std::unique_ptr<LibraryConnection> library_;
};

TEST_F(LibraryViews, SearchFindsASoundAsTypedAndDuplicatesShowTheirOtherNames) {
  // The same sound as User 5 under another name, in a file of its own and in another bank.
  Bytes twin = RenameDump(kProgramKind, midi_->Simulator().Dump(kProgramKind, 0, 5), "Quorle Twin");
  WriteBank("Twin.syx", twin);
  Bytes other = SimBank(1);
  AddressDump(twin, 1, 9);
  std::copy(twin.begin(), twin.end(), other.begin() + 9 * kProgramKind.dumpSize);
  WriteBank("Other.syx", other);
  WriteBank("User.syx", SimBank(0));
  LibraryWindow* library = OpenLibraryWithBanks();
  EXPECT_THAT(Child<QLabel>(library, "lblStatus")->text().toStdString(),
              ::testing::HasSubstr("dumps from 3 files"));
  auto* count = Child<QLabel>(library, "lblCount");

  Search(library, "quorle t");
  EXPECT_EQ(count->text(), "1 dump");
  EXPECT_EQ(Cell(library, 0, 0), "Quorle Twin");

  Search(library, "");
  Click(Child<QCheckBox>(library, "cbDuplicatesOnly"));
  ASSERT_TRUE(WaitUntil([&] { return Answered(library); }));
  EXPECT_EQ(count->text(), "2 dumps");
  // The original and its renamed copy; the details of the copy name the original.
  const QString original = QString::fromStdString(
      NameLine(DumpName(kProgramKind, midi_->Simulator().Dump(kProgramKind, 0, 5))));
  const int copyRow = Cell(library, 0, 0) == "Quorle Twin" ? 0 : 1;
  EXPECT_EQ(Cell(library, 1 - copyRow, 0), original);
  library->Table().selectRow(copyRow);
  auto* others = Child<QListWidget>(library, "lstOtherNames");
  ASSERT_EQ(others->count(), 1);
  // Named by its id, its name and where it came from: two dumps of one name still read apart.
  const QString otherText = others->item(0)->text();
  EXPECT_TRUE(otherText.startsWith("id ")) << otherText.toStdString();
  EXPECT_TRUE(otherText.contains("\"" + original + "\"")) << otherText.toStdString();
  EXPECT_TRUE(otherText.contains("(from User.syx")) << otherText.toStdString();
  // Seen in two files: both places.
  EXPECT_EQ(Child<QTreeWidget>(library, "lstPlaces")->topLevelItemCount(), 2);
  EXPECT_THAT(Cell(library, copyRow, 3).toStdString(), ::testing::HasSubstr("+1"));

  // A filter that leaves the chosen dump out takes it out of the details too.
  Search(library, "no such sound");
  EXPECT_EQ(count->text(), "0 dumps");
  EXPECT_EQ(Child<QLabel>(library, "lblName")->text(), "No dump chosen");
  Search(library, "");

  // Its size and place are kept for the next time.
  library->resize(900, 450);
  window_->close();
  std::ifstream ini(dir_ / "quorle.ini");
  const std::string text((std::istreambuf_iterator<char>(ini)), {});
  EXPECT_THAT(text, ::testing::HasSubstr("[LIBRARY]"));
  EXPECT_THAT(text, ::testing::HasSubstr("Width=900\n"));
}

TEST_F(LibraryViews, AChoiceWiderThanTheRowsAtHandIsNotActedOnInPart) {
  // More dumps than the table keeps loaded: 28 banks of different sounds.
  for (int seed = 1; seed <= 28; ++seed) {
    Bytes bank;
    for (int entry = 0; entry < 128; ++entry) {
      const Bytes dump = SeededDump(kProgramKind, 5000 + seed, 0, entry, 0, 0);
      bank.insert(bank.end(), dump.begin(), dump.end());
    }
    WriteBank("Bank" + std::to_string(seed) + ".syx", bank);
  }
  LibraryWindow* library = OpenLibraryWithBanks();
  Search(library, "");
  ASSERT_EQ(library->Model().rowCount(), 28 * 128);
  library->Table().selectAll();
  EXPECT_TRUE(library->Chosen().empty());
  EXPECT_FALSE(Child<QPushButton>(library, "btnForget")->isEnabled());
  EXPECT_EQ(Child<QLabel>(library, "lblStatus")->text(),
            "Too many dumps chosen to act on at once: choose at most 3,400");

  // A choice within them is taken whole.
  library->Table().clearSelection();
  library->Table().selectRow(0);
  library->Table().selectionModel()->select(
      library->Model().index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  EXPECT_EQ(library->Chosen().size(), 2u);
  EXPECT_TRUE(Child<QPushButton>(library, "btnForget")->isEnabled());
}

TEST_F(LibraryViews, ALibraryThatCannotBeUsedIsNamedWithTheReasonAndTouchedNot) {
  const fs::path notALibrary = dir_ / "notes.sqlite";
  std::ofstream(notALibrary) << "my notes, not a library\n";
  auto usable = std::exchange(library_, std::make_unique<LibraryConnection>(notALibrary));
  window_->SetLibrary(library_.get());
  LibraryWindow* library = window_->ShowLibrary();
  auto* error = Child<QLabel>(library, "lblError");
  EXPECT_TRUE(error->isVisible());
  EXPECT_THAT(error->text().toStdString(), ::testing::HasSubstr("notes.sqlite"));
  EXPECT_FALSE(Child<QPushButton>(library, "btnAddFiles")->isEnabled());
  // The main window goes on, and the file is as it was.
  EXPECT_TRUE(Find<QPushButton>("btnGetProgram")->isEnabled());
  std::ifstream in(notALibrary);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), {}), "my notes, not a library\n");
}

TEST_F(LibraryViews, SendsTheChosenProgramToTheChosenNumberAndItComesBackByteExact) {
  WriteBank("Preset.syx", SimBank(1, {{7, "Quorle Send"}}));
  LibraryWindow* library = OpenLibraryWithBanks();
  Search(library, "Quorle Send");
  library->Table().selectRow(0);
  auto* send = Child<QPushButton>(library, "btnSend");
  // Locked, as the main window's buttons are, while an exchange runs.
  window_->Form().Disable();
  EXPECT_FALSE(send->isEnabled());
  window_->Form().Enable();
  ASSERT_TRUE(send->isEnabled());

  ModalAnswerer answerer;
  answerer.Then([](QWidget* form) {
    EXPECT_EQ(form->windowTitle(), "Send Program");
    Choose(Child<QComboBox>(form, "cbProgram"), 33);
    Click(Child<QPushButton>(form, "btnOK"));
  });
  Click(send);
  ASSERT_TRUE(WaitUntil([&] {
    return answerer.AllAnswered() && window_->Form().ControlsEnabled() &&
           window_->Form().MidiOut.MessagesInFlight() == 0;
  }));
  EXPECT_EQ(Child<QLabel>(library, "lblStatus")->text(),
            "Program \"Quorle Send\" sent to Andromeda");
  // The library knows where it went.
  auto* places = Child<QTreeWidget>(library, "lstPlaces");
  ASSERT_TRUE(WaitUntil([&] { return places->topLevelItemCount() == 2; }));
  EXPECT_FALSE(places->findItems("sent", Qt::MatchExactly, 1).isEmpty());

  // Fetched back with Get Program: the library's dump, addressed to User 33.
  window_->fileChooserForTests = [this](const FileChoice&) {
    return std::optional<std::string>((dir_ / "back.syx").string());
  };
  ModalAnswerer get;
  get.Then([](QWidget* form) {
    Choose(Child<QComboBox>(form, "cbProgram"), 33);
    Click(Child<QPushButton>(form, "btnOK"));
  });
  Click(Find<QPushButton>("btnGetProgram"));
  ASSERT_TRUE(WaitUntil([&] { return fs::exists(dir_ / "back.syx"); }));
  Bytes expected = Entry(SimBank(1, {{7, "Quorle Send"}}), kProgramKind, 7);
  expected[6] = 0;
  expected[7] = 33;
  EXPECT_EQ(ReadAll(dir_ / "back.syx"), expected);
}

TEST_F(LibraryViews, WhatASendReplacedIsShownNewestFirstAndPutBackMakesThePlaceWhatItWas) {
  const Bytes before = midi_->Simulator().Dump(kProgramKind, 0, 12);
  WriteBank("Preset.syx", SimBank(1, {{7, "Quorle Over"}}));
  LibraryWindow* library = OpenLibraryWithBanks();
  Search(library, "Quorle Over");
  library->Table().selectRow(0);
  ModalAnswerer answerer;
  answerer.Then([](QWidget* form) {
    Choose(Child<QComboBox>(form, "cbProgram"), 12);
    Click(Child<QPushButton>(form, "btnOK"));
  });
  Click(Child<QPushButton>(library, "btnSend"));
  const auto idle = [&] {
    return window_->Form().ControlsEnabled() && window_->Form().MidiOut.MessagesInFlight() == 0;
  };
  ASSERT_TRUE(WaitUntil([&] { return answerer.AllAnswered() && idle(); }));
  ASSERT_TRUE(WaitUntil([&] { return midi_->Simulator().Dump(kProgramKind, 0, 12) != before; }));
  testing::AgeSightings(dir_ / "library.sqlite");

  // The filter shows what the send replaced, in an order of its own the header does not change.
  Search(library, "");
  Click(Child<QCheckBox>(library, "cbReplacedOnly"));
  ASSERT_TRUE(WaitUntil([&] { return Answered(library); }));
  auto* count = Child<QLabel>(library, "lblCount");
  // What it replaced is now on the instrument alone: the count line says so too.
  EXPECT_EQ(count->text(), "1 dump; 1 exists nowhere else");
  EXPECT_EQ(Cell(library, 0, 0).toStdString(), NameLine(DumpName(kProgramKind, before)));
  EXPECT_FALSE(library->Table().horizontalHeader()->sectionsClickable());
  auto* putBack = Child<QPushButton>(library, "btnPutBack");
  EXPECT_FALSE(putBack->isEnabled());
  library->Table().selectRow(0);
  ASSERT_TRUE(putBack->isEnabled());

  // Put Back names where it sends before it sends; Cancel sends nothing.
  const auto putBackAnswering = [&](const char* button) {
    ModalAnswerer question;
    question.Then([&](QWidget* modal) {
      EXPECT_THAT(qobject_cast<QMessageBox*>(modal)->text().toStdString(),
                  ::testing::HasSubstr(NameLine(DumpName(kProgramKind, before)) +
                                       "\" to Andromeda, Programs User 012"));
      auto* box = qobject_cast<QMessageBox*>(modal);
      Click(button ? Child<QPushButton>(box, button) : box->button(QMessageBox::Cancel));
    });
    Click(putBack);
    EXPECT_TRUE(question.AllAnswered());
  };
  putBackAnswering(nullptr);
  EXPECT_TRUE(idle());
  EXPECT_EQ(window_->Form().MidiOut.MessagesInFlight(), 0u);
  EXPECT_NE(midi_->Simulator().Dump(kProgramKind, 0, 12), before);

  putBackAnswering("btnConfirmPutBack");
  ASSERT_TRUE(WaitUntil(idle));
  EXPECT_EQ(Child<QLabel>(library, "lblStatus")->text(), " 1 dump put back on Andromeda");
  ASSERT_TRUE(WaitUntil([&] { return midi_->Simulator().Dump(kProgramKind, 0, 12) == before; }));
  // What Put Back replaced is the one replaced now; the dump put back is no longer.
  ASSERT_TRUE(WaitUntil([&] {
    return count->text() == "1 dump; 1 exists nowhere else" && Cell(library, 0, 0) == "Quorle Over";
  }));

  // Off again, the table sorts by name as before.
  Click(Child<QCheckBox>(library, "cbReplacedOnly"));
  EXPECT_TRUE(library->Table().horizontalHeader()->sectionsClickable());
}

// Drops mime at a point of a viewport as a drag from elsewhere would end there.
void DropAt(QWidget* viewport, QPoint at, QMimeData* mime) {
  const auto actions = Qt::CopyAction | Qt::MoveAction;
  QDragEnterEvent enter(at, actions, mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(viewport, &enter);
  QDragMoveEvent move(at, actions, mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(viewport, &move);
  QDropEvent drop(QPointF(at), actions, mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(viewport, &drop);
  delete mime;
}

// Drops mime on the slot of grid.
void Drop(SlotGrid& grid, int slot, QMimeData* mime) {
  DropAt(grid.viewport(), grid.visualItemRect(grid.Cell(slot)).center(), mime);
}

TEST_F(LibraryViews, ABankComposedByDraggingIsSavedAsMakeBankWritesItAndSent) {
  const Bytes user = SimBank(0);
  const Bytes preset = SimBank(1, {{40, "Quorle A"}, {41, "Quorle B"}});
  const fs::path base = WriteBank("User.syx", user);
  WriteBank("Preset.syx", preset);
  LibraryWindow* library = OpenLibraryWithBanks();
  window_->fileChooserForTests = [&](const FileChoice& choice) {
    return std::optional<std::string>(
        (choice.mode == FileChoice::Mode::Open ? base : dir_ / "Composed.syx").string());
  };
  Click(Find<QPushButton>("btnComposeBank"));
  ComposeBankWindow* composer = nullptr;
  for (QWidget* top : QApplication::topLevelWidgets()) {
    if (top->objectName() == "frmComposeBank") composer = qobject_cast<ComposeBankWindow*>(top);
  }
  ASSERT_NE(composer, nullptr);
  Click(Child<QPushButton>(composer, "btnOpenFile"));
  ASSERT_TRUE(composer->Composer().Started());
  SlotGrid& grid = composer->Grid();

  // Both sounds of the other bank, dragged from the table onto slot 5.
  Search(library, "Quorle");
  library->Table().selectAll();
  Drop(grid, 5, library->Model().mimeData(library->Table().selectionModel()->selectedIndexes()));
  EXPECT_EQ(grid.Cell(5)->text(), "005 Quorle A        ");
  EXPECT_EQ(grid.Cell(6)->text(), "006 Quorle B        ");
  EXPECT_TRUE(grid.Cell(5)->font().bold());
  EXPECT_FALSE(grid.Cell(7)->font().bold());
  EXPECT_EQ(composer->windowTitle(), "Compose Bank *");

  // Reordered: slot 6 onto slot 100 trades their places; undone and redone by the keys.
  const QString was100 = grid.Cell(100)->text().mid(4);
  Drop(grid, 100, grid.SlotMime(6));
  EXPECT_EQ(grid.Cell(100)->text(), "100 Quorle B        ");
  EXPECT_EQ(grid.Cell(6)->text().mid(4), was100);
  QApplication::setActiveWindow(composer);
  QTest::keyClick(composer, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(grid.Cell(6)->text(), "006 Quorle B        ");
  QTest::keyClick(composer, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(grid.Cell(100)->text(), "100 Quorle B        ");

  // A Mix is refused, with the reason.
  auto* mix = new QMimeData;
  mix->setData(LibraryTableModel::kMimeType, "Mix 1\n");
  Drop(grid, 9, mix);
  EXPECT_EQ(Child<QLabel>(composer, "lblStatus")->text(), "A Mix cannot go into a Program bank");

  // Saved: the base with the library's dumps in the chosen slots, as make-bank writes it.
  Click(Child<QPushButton>(composer, "btnSaveBank"));
  const Bytes a = Entry(preset, kProgramKind, 40), b = Entry(preset, kProgramKind, 41);
  const Bytes expected = library::MakeBank(kProgramKind, user,
                                           {{5, a}, {6, Entry(user, kProgramKind, 100)}, {100, b}});
  EXPECT_EQ(ReadAll(dir_ / "Composed.syx"), expected);
  EXPECT_EQ(composer->windowTitle(), "Compose Bank");

  // Sent to the User bank through the bank send dialog, paced.
  ModalAnswerer answerer;
  answerer.Then([](QWidget* form) {
    EXPECT_EQ(form->windowTitle(), "Send Bank");
    Click(Child<QPushButton>(form, "BitBtn1"));
  });
  Click(Child<QPushButton>(composer, "btnSendBank"));
  ASSERT_TRUE(WaitUntil([&] {
    return answerer.AllAnswered() && window_->Form().ControlsEnabled() &&
           window_->Form().MidiOut.MessagesInFlight() == 0;
  }));
  ASSERT_TRUE(WaitUntil([&] { return SimBank(0) == expected; }));

  // A change not saved is asked about before the window closes.
  Drop(grid, 0, grid.SlotMime(1));
  ModalAnswerer keep;
  keep.Then([](QWidget* box) { qobject_cast<QMessageBox*>(box)->reject(); });
  EXPECT_FALSE(composer->close());
  EXPECT_TRUE(composer->isVisible());
  composer->Composer().Undo();
  EXPECT_TRUE(composer->close());
}

TEST_F(LibraryViews, TheComposerStartsFromABankFetchedFromTheInstrument) {
  ComposeBankWindow* composer = window_->ComposeBank(kProgramKind);
  ModalAnswerer answerer;
  answerer.Then([](QWidget* form) {
    EXPECT_EQ(form->windowTitle(), "Select Program Bank");
    Click(Child<QRadioButton>(form, "rbPreset1"));
    Click(Child<QPushButton>(form, "btnOK"));
  });
  Click(Child<QPushButton>(composer, "btnFromAndromeda"));
  ASSERT_TRUE(WaitUntil([&] { return composer->Composer().Started(); }));
  EXPECT_EQ(composer->Composer().Build(), SimBank(1));
  EXPECT_EQ(Child<QLabel>(composer, "lblSource")->text(), "Base: Andromeda, Programs Preset 1");
  EXPECT_TRUE(window_->Form().ControlsEnabled());

  // A change made while the next fetch is on its way is asked about before the bank replaces it.
  ModalAnswerer again;
  again.Then([](QWidget* form) { Click(Child<QPushButton>(form, "btnOK")); });
  again.Then([](QWidget* box) { qobject_cast<QMessageBox*>(box)->reject(); });
  Click(Child<QPushButton>(composer, "btnFromAndromeda"));
  ASSERT_TRUE(composer->Composer().Swap(0, 1));
  ASSERT_TRUE(WaitUntil([&] { return again.AllAnswered() && window_->Form().ControlsEnabled(); }));
  EXPECT_TRUE(composer->Composer().Unsaved());
  EXPECT_EQ(Child<QLabel>(composer, "lblSource")->text(), "Base: Andromeda, Programs Preset 1");
}

// The bank fetched into the composer, then slot 1 renamed on the instrument by another send: the
// composer offers the bank as it stands now first, and a send of the older composition names
// slot 1 before it goes; No sends nothing.
TEST_F(LibraryViews, ASendThatWouldPutBackSlotsChangedSinceNamesThemFirst) {
  ComposeBankWindow* composer = window_->ComposeBank(kProgramKind);
  ModalAnswerer answerer;
  answerer.Then([](QWidget* form) {
    Click(Child<QRadioButton>(form, "rbUser"));
    Click(Child<QPushButton>(form, "btnOK"));
  });
  Click(Child<QPushButton>(composer, "btnFromAndromeda"));
  ASSERT_TRUE(WaitUntil([&] { return composer->Composer().Started(); }));
  auto* banks = Child<QComboBox>(composer, "cbLibraryBank");
  ASSERT_EQ(banks->count(), 2);
  EXPECT_TRUE(banks->isEnabled());
  EXPECT_TRUE(banks->itemText(0).startsWith("Programs User as last seen, "))
      << banks->itemText(0).toStdString();
  EXPECT_TRUE(banks->itemText(1).startsWith("Programs User fetched "))
      << banks->itemText(1).toStdString();

  testing::AgeSightings(dir_ / "library.sqlite");
  const Bytes before = SimBank(0);
  const Bytes renamed = RenameDump(kProgramKind, Entry(before, kProgramKind, 1), "Renamed Since");
  library_->Get()->Record(kProgramKind, renamed, 0, 1, library::How::Sent);

  ASSERT_TRUE(composer->Composer().Swap(5, 6));
  ModalAnswerer send;
  send.Then([](QWidget* form) { Click(Child<QPushButton>(form, "BitBtn1")); });
  QString asked;
  send.Then([&](QWidget* box) {
    asked = qobject_cast<QMessageBox*>(box)->text();
    qobject_cast<QMessageBox*>(box)->reject();
  });
  Click(Child<QPushButton>(composer, "btnSendBank"));
  ASSERT_TRUE(WaitUntil([&] { return send.AllAnswered(); }));
  EXPECT_TRUE(asked.contains("changes 1 slot on Programs User")) << asked.toStdString();
  EXPECT_TRUE(asked.contains("001  Renamed Since  becomes")) << asked.toStdString();
  EXPECT_FALSE(asked.contains("005")) << "the composer's own changes are not named";
  EXPECT_TRUE(window_->Form().ControlsEnabled());
  EXPECT_EQ(SimBank(0), before);
}

// Drops mime on the row of a table.
void Drop(QTableView& table, int row, QMimeData* mime) {
  const QModelIndex cell = table.model()->index(row, 1);
  table.scrollTo(cell);
  DropAt(table.viewport(), table.visualRect(cell).center(), mime);
}

TEST_F(LibraryViews, OnTheAndromedaShowsABankAsLastSeenAndADumpDroppedOnASlotGoesThere) {
  WriteBank("Preset.syx", SimBank(1, {{7, "Quorle Drop"}}));
  LibraryWindow* library = OpenLibraryWithBanks();
  Child<QTabWidget>(library, "tabsSide")->setCurrentIndex(1);
  OnAndromedaView& view = library->OnAndromeda();
  const auto name = [&](int slot) { return view.Text(slot, OnAndromedaView::Name); };
  const auto how = [&](int slot) { return view.Text(slot, OnAndromedaView::How); };
  EXPECT_EQ(name(12), "unknown");
  const auto idle = [&] {
    return window_->Form().ControlsEnabled() && window_->Form().MidiOut.MessagesInFlight() == 0;
  };

  // The User bank fetched again, with no question and no file.
  Click(Child<QPushButton>(&view, "btnFetchAgain"));
  ASSERT_TRUE(WaitUntil([&] { return idle() && name(127) != "unknown"; }));
  const Bytes user = SimBank(0);
  for (int slot : {0, 12, 127}) {
    EXPECT_EQ(name(slot).toStdString(),
              NameLine(DumpName(kProgramKind, Entry(user, kProgramKind, slot))));
    EXPECT_EQ(how(slot), "fetched");
  }
  EXPECT_THAT(Child<QLabel>(&view, "lblAge")->text().toStdString(),
              ::testing::StartsWith("Programs User, as fetched"));
  EXPECT_EQ(Child<QLabel>(library, "lblStatus")->text(),
            " Program Bank received - 128 of them exist nowhere else");
  testing::AgeSightings(dir_ / "library.sqlite");

  // A dump of the table dropped on slot 12 goes there once confirmed, naming both.
  Search(library, "Quorle Drop");
  library->Table().selectRow(0);
  ModalAnswerer confirm;
  confirm.Then([&](QWidget* modal) {
    const std::string asked = qobject_cast<QMessageBox*>(modal)->text().toStdString();
    EXPECT_THAT(asked, ::testing::HasSubstr("\"Quorle Drop\" to Andromeda, Programs User 012"));
    EXPECT_THAT(asked, ::testing::HasSubstr(name(12).toStdString()));
    Click(Child<QPushButton>(modal, "btnConfirmSend"));
  });
  Drop(view.Slots(), 12,
       library->Model().mimeData(library->Table().selectionModel()->selectedIndexes()));
  ASSERT_TRUE(WaitUntil([&] { return confirm.AllAnswered() && idle() && how(12) == "sent"; }));
  EXPECT_EQ(name(12), "Quorle Drop");
  EXPECT_EQ(DumpName(kProgramKind, midi_->Simulator().Dump(kProgramKind, 0, 12)),
            "Quorle Drop     ");
  EXPECT_THAT(Child<QLabel>(&view, "lblAge")->text().toStdString(),
              ::testing::EndsWith("; 1 slot sent since"));
  EXPECT_EQ(name(11).toStdString(),
            NameLine(DumpName(kProgramKind, Entry(user, kProgramKind, 11))));

  // What it replaced was kept first, and is what a send replaced.
  Search(library, "");
  Click(Child<QCheckBox>(library, "cbReplacedOnly"));
  ASSERT_TRUE(WaitUntil([&] { return Answered(library); }));
  EXPECT_EQ(Child<QLabel>(library, "lblCount")->text().left(6), "1 dump");
  EXPECT_EQ(Cell(library, 0, 0).toStdString(),
            NameLine(DumpName(kProgramKind, Entry(user, kProgramKind, 12))));
}

TEST_F(LibraryViews, WhatExistsOnlyOnTheAndromedaIsCountedFilteredAndKeptSafe) {
  // A bank fetched into a file: the file is a place of each of its dumps.
  window_->fileChooserForTests = [this](const FileChoice&) {
    return std::optional<std::string>((dir_ / "User.syx").string());
  };
  ModalAnswerer get;
  get.Then([](QWidget* form) { Click(Child<QPushButton>(form, "btnOK")); });
  Click(Find<QPushButton>("btnGetBank"));
  ASSERT_TRUE(WaitUntil([&] { return get.AllAnswered() && window_->Form().ControlsEnabled(); }));
  ASSERT_TRUE(fs::exists(dir_ / "User.syx"));
  LibraryWindow* library = window_->ShowLibrary();
  auto* count = Child<QLabel>(library, "lblCount");
  ASSERT_TRUE(WaitUntil([&] { return !library->CheckingFiles() && Answered(library); }));
  EXPECT_EQ(count->text(), "128 dumps");

  // The file gone, the window opened again finds them on the instrument alone.
  library->hide();
  fs::remove(dir_ / "User.syx");
  library = window_->ShowLibrary();
  ASSERT_TRUE(WaitUntil([&] { return count->text() == "128 dumps; 128 exist nowhere else"; }));
  Click(Child<QCheckBox>(library, "cbOnlyOnInstrument"));
  ASSERT_TRUE(WaitUntil([&] { return Answered(library); }));
  EXPECT_EQ(library->Model().rowCount(), 128);
  library->Table().selectRow(0);
  auto* places = Child<QTreeWidget>(library, "lstPlaces");
  EXPECT_EQ(places->findItems("file, gone", Qt::MatchExactly, 1).size(), 1);
  // The table names where it still is, not the file that is gone.
  EXPECT_THAT(Cell(library, 0, LibraryTableModel::Where).toStdString(),
              ::testing::AllOf(::testing::Not(::testing::HasSubstr("User.syx")),
                               ::testing::HasSubstr("Andromeda User")));

  // Kept safe in a folder, one file each: they then exist somewhere else.
  library->keepSafeChooserForTests = [this] {
    fs::create_directories(dir_ / "safe");
    return QString::fromStdString((dir_ / "safe").string());
  };
  auto* keep = Child<QPushButton>(library, "btnKeepSafe");
  ASSERT_TRUE(keep->isVisible());
  Click(keep);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / "safe"), fs::directory_iterator()), 128);
  ASSERT_TRUE(WaitUntil([&] { return Answered(library) && count->text() == "0 dumps"; }));
  EXPECT_FALSE(keep->isVisible());
}

}  // namespace
}  // namespace quorle
