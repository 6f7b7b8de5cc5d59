#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "library/InstrumentView.h"
#include "qt/LibraryTableModel.h"

namespace quorle {

// "On the Andromeda": one bank of the instrument as the library last saw each of its slots, what
// was fetched or sent there and when. A passive view: what a bank choice, "Fetch again" or a dump
// dropped on a slot means is the window's.
class OnAndromedaView : public QWidget {
  Q_OBJECT

 public:
  explicit OnAndromedaView(QWidget* parent);

  const DumpKind& Kind() const;
  int Bank() const;
  QTableView& Slots() { return *slots_; }
  // The text of a cell, as shown.
  QString Text(int slot, int column) const;
  // The bank shown, as the library last saw it; now (ISO-8601) dates the age line.
  void Show(const library::InstrumentBankView& bank, const std::string& now);
  // Nothing to show: the library cannot be read; the reason in the age line.
  void ShowNothing(const QString& reason);
  // The dump last seen in a slot; nothing for a slot never seen.
  std::optional<library::DumpId> SlotDump(int slot) const;
  QString SlotName(int slot) const { return SlotDump(slot) ? Text(slot, Name) : QString(); }
  void SetFetchEnabled(bool enabled) { btnFetchAgain->setEnabled(enabled); }

  std::function<void()> onBankChosen;
  std::function<void()> onFetchAgain;
  // Library dumps dropped on a slot; whether they may go is the window's to say.
  std::function<void(int slot, const std::vector<LibraryTableModel::Dragged>&)> onDumpsDropped;
  std::function<void(library::DumpId)> onDumpActivated;

  enum Column { Slot, Name, How, Seen, ColumnCount };

 private:
  void ApplyChangedOnly();

  QComboBox* cbBank = nullptr;
  QCheckBox* cbChangedOnly = nullptr;
  QPushButton* btnFetchAgain = nullptr;
  QLabel* lblAge = nullptr;
  QTableView* slots_ = nullptr;
  class Rows;
  Rows* rows_ = nullptr;
};

}  // namespace quorle
