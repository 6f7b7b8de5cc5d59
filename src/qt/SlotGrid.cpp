#include "qt/SlotGrid.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFontDatabase>
#include <QHeaderView>
#include <QMimeData>
#include <algorithm>

namespace quorle {

SlotGrid::SlotGrid(QWidget* parent) : QTableWidget(kRows, kColumns, parent) {
  setObjectName("Grid");
  // As the rename grid: names line up in a fixed-pitch font, every slot in view at once, and
  // "127 " and 16 characters fit whole.
  setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  const QFontMetrics metrics(font());
  const int columnWidth = std::max(120, metrics.horizontalAdvance(QString(21, 'W')) + 12);
  const int rowHeight = std::max(16, metrics.height() + 2);
  horizontalHeader()->hide();
  verticalHeader()->hide();
  horizontalHeader()->setMinimumSectionSize(1);
  verticalHeader()->setMinimumSectionSize(1);
  for (int c = 0; c < kColumns; ++c) setColumnWidth(c, columnWidth);
  for (int r = 0; r < kRows; ++r) setRowHeight(r, rowHeight);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionMode(QAbstractItemView::SingleSelection);
  const int frame = 2 * frameWidth();
  setFixedSize(kColumns * columnWidth + frame, kRows * rowHeight + frame);
  for (int c = 0; c < kColumns; ++c) {
    for (int r = 0; r < kRows; ++r) {
      auto* cell = new QTableWidgetItem;
      cell->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled);
      setItem(r, c, cell);
    }
  }
  setDragEnabled(true);
  setAcceptDrops(true);
  viewport()->setAcceptDrops(true);
  setDragDropMode(QAbstractItemView::DragDrop);
  setDropIndicatorShown(true);
  setDefaultDropAction(Qt::MoveAction);
}

int SlotGrid::SlotUnder(const QPoint& point) const {
  const QModelIndex index = indexAt(point);
  return index.isValid() ? SlotAt(index.row(), index.column()) : -1;
}

QStringList SlotGrid::mimeTypes() const {
  return {kSlotMimeType, LibraryTableModel::kMimeType};
}

QMimeData* SlotGrid::mimeData(const QList<QTableWidgetItem*>& items) const {
  return items.isEmpty() ? nullptr : SlotMime(SlotAt(row(items.front()), column(items.front())));
}

QMimeData* SlotGrid::SlotMime(int slot) const {
  // The grid it came from goes with it: a slot only moves within its own bank.
  auto* mime = new QMimeData;
  mime->setData(kSlotMimeType, QByteArray::number(reinterpret_cast<quintptr>(this)) + ' ' +
                                   QByteArray::number(slot));
  return mime;
}

std::optional<int> SlotGrid::OwnSlot(const QMimeData* mime) const {
  const QList<QByteArray> parts = mime->data(kSlotMimeType).split(' ');
  bool ok = false;
  if (parts.size() != 2 || parts[0] != QByteArray::number(reinterpret_cast<quintptr>(this))) {
    return std::nullopt;
  }
  const int slot = parts[1].toInt(&ok);
  return ok ? std::optional(slot) : std::nullopt;
}

bool SlotGrid::Takes(const QMimeData* mime) const {
  if (mime->hasFormat(kSlotMimeType)) return OwnSlot(mime).has_value();
  // Dumps of the other kind are taken too, for the window to refuse with the reason.
  return !LibraryTableModel::DumpsOf(mime).empty();
}

void SlotGrid::dragEnterEvent(QDragEnterEvent* event) {
  if (Takes(event->mimeData())) {
    event->acceptProposedAction();
  } else {
    event->ignore();
  }
}

void SlotGrid::dragMoveEvent(QDragMoveEvent* event) {
  const bool here = SlotUnder(event->position().toPoint()) >= 0;
  if (here && Takes(event->mimeData())) {
    event->acceptProposedAction();
  } else {
    event->ignore();
  }
}

void SlotGrid::dropEvent(QDropEvent* event) {
  const int slot = SlotUnder(event->position().toPoint());
  const QMimeData* mime = event->mimeData();
  event->ignore();
  if (slot < 0) return;
  if (mime->hasFormat(kSlotMimeType)) {
    const auto from = OwnSlot(mime);
    if (!from) return;
    // The move is the window's to make: the view must not move items of its own.
    event->setDropAction(Qt::CopyAction);
    event->accept();
    if (onSlotMoved) onSlotMoved(*from, slot);
    return;
  }
  const auto dumps = LibraryTableModel::DumpsOf(mime);
  if (dumps.empty()) return;
  event->setDropAction(Qt::CopyAction);
  event->accept();
  // A dump of the other kind is the window's to refuse, with the reason.
  if (onDumpsDropped) onDumpsDropped(slot, dumps);
}

}  // namespace quorle
