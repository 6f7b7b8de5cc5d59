#pragma once

#include <QTableWidget>
#include <functional>
#include <optional>

#include "qt/LibraryTableModel.h"

namespace quorle {

// The composer's 128 slots, laid out as the rename grid: 4 columns of 32. Library dumps dropped
// on a slot go into it; a slot dragged onto another trades places with it. What a drop means is
// the window's: the grid only says where it landed.
class SlotGrid : public QTableWidget {
  Q_OBJECT

 public:
  static constexpr int kColumns = 4;
  static constexpr int kRows = 32;
  static constexpr const char* kSlotMimeType = "application/x-quorle-composer-slot";

  explicit SlotGrid(QWidget* parent);

  static int SlotAt(int row, int column) { return kRows * column + row; }
  QTableWidgetItem* Cell(int slot) const { return item(slot % kRows, slot / kRows); }
  // The slot under a point of the viewport; -1 where there is none.
  int SlotUnder(const QPoint& point) const;
  // What a drag of slot carries.
  QMimeData* SlotMime(int slot) const;

  // What a drop of library dumps on first asks of the window; whether it is taken tells the user.
  std::function<void(int first, const std::vector<LibraryTableModel::Dragged>&)> onDumpsDropped;
  std::function<void(int from, int to)> onSlotMoved;

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  QMimeData* mimeData(const QList<QTableWidgetItem*>& items) const override;
  QStringList mimeTypes() const override;

 private:
  // Whether the grid takes what is dragged: library dumps, or one of its own slots.
  bool Takes(const QMimeData* mime) const;
  // The slot a drag of this grid's own carries.
  std::optional<int> OwnSlot(const QMimeData* mime) const;
};

}  // namespace quorle
