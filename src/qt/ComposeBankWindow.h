#pragma once

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QWidget>
#include <vector>

#include "library/BankComposer.h"
#include "library/BankHistory.h"
#include "qt/SlotGrid.h"

namespace quorle {

class LibraryConnection;
class MainWindow;

// "Compose Bank": one Program or Mix bank put together from a base bank and library dumps. The
// logic is the composer's; this window draws its 128 slots and forwards drops, swaps, Undo and
// Redo, and the saves and sends, which go through the main window's transfers.
class ComposeBankWindow : public QWidget {
  Q_OBJECT

 public:
  ComposeBankWindow(MainWindow& main, LibraryConnection& library, const DumpKind& kind);

  library::BankComposer& Composer() { return composer_; }
  SlotGrid& Grid() { return *grid_; }

  // Starts over from a bank file; false, with the reason shown, when the file is no bank of the
  // kind. Changes not saved are asked about first.
  bool StartFromFile(const QString& path);
  // The bank chooser, then the bank from the instrument, through the main window's fetch.
  void StartFromInstrument();
  // The bank chosen in the list: an instrument bank as the library last saw each slot, or a bank
  // it saw whole.
  void StartFromLibraryBank();
  void Undo();
  void Redo();
  // The bank to a file the user picks, atomically; false when nothing was written.
  bool SaveBank();
  void SendBank();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  bool Start(ByteView base, const std::string& source);
  // Whether what is in hand may go: nothing unsaved, or the user saved or gave it up.
  bool MayDiscard();
  // Before a send to the instrument's bank: whether the user still wants it when it would change
  // slots besides the composer's own.
  bool MaySendTo(int bank);
  void DropDumps(int first, const std::vector<LibraryTableModel::Dragged>& dumps);
  void MoveSlot(int from, int to);
  void FillLibraryBanks();
  void Redraw();
  void Say(const QString& text);
  QString Title() const;

  MainWindow& main_;
  LibraryConnection& library_;
  library::BankComposer composer_;
  std::vector<library::BankToStartFrom> startBanks_;
  std::string savedName_;  // the file last saved to

  SlotGrid* grid_ = nullptr;
  QComboBox* cbLibraryBank = nullptr;
  QPushButton* btnOpenFile = nullptr;
  QPushButton* btnOpenLibraryBank = nullptr;
  QPushButton* btnFromAndromeda = nullptr;
  QPushButton* btnUndo = nullptr;
  QPushButton* btnRedo = nullptr;
  QPushButton* btnSave = nullptr;
  QPushButton* btnSend = nullptr;
  QLabel* lblSource = nullptr;
  QLabel* lblChanged = nullptr;
  QLabel* lblStatus = nullptr;
};

}  // namespace quorle
