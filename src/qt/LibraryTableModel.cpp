#include "qt/LibraryTableModel.h"

#include <set>

#include "qt/LibraryText.h"

namespace quorle {

LibraryTableModel::LibraryTableModel(const std::filesystem::path& library, QObject* parent)
    : QAbstractTableModel(parent) {
  // Called on the search's thread: one wake-up waits in the event loop at a time.
  search_ = std::make_unique<library::LibrarySearch>(library, [this] {
    if (!posted_.exchange(true)) {
      QMetaObject::invokeMethod(this, &LibraryTableModel::TakeAnswers, Qt::QueuedConnection);
    }
  });
  browser_ = std::make_unique<library::LibraryBrowser>(*search_);
}

LibraryTableModel::~LibraryTableModel() {
  // The search's thread ends before anything it could call is gone.
  search_.reset();
}

void LibraryTableModel::TakeAnswers() {
  posted_ = false;
  const library::LibraryBrowser::Update update = browser_->Take();
  if (update.reset) {
    beginResetModel();
    browser_->TakeCount();
    endResetModel();
    emit answered();
    return;
  }
  if (update.counted) {
    const auto [from, to] = *update.counted;
    if (to > from) beginInsertRows({}, static_cast<int>(from), static_cast<int>(to) - 1);
    if (to < from) beginRemoveRows({}, static_cast<int>(to), static_cast<int>(from) - 1);
    browser_->TakeCount();
    if (to > from) endInsertRows();
    if (to < from) endRemoveRows();
    emit answered();
  }
  for (const auto& [first, last] : update.rows) {
    emit dataChanged(index(static_cast<int>(first), 0),
                     index(static_cast<int>(last) - 1, ColumnCount - 1), {Qt::DisplayRole});
  }
}

const library::DumpSummary* LibraryTableModel::Summary(int row) const {
  return row < 0 ? nullptr : browser_->Row(static_cast<std::size_t>(row));
}

int LibraryTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(browser_->Count().value_or(0));
}

int LibraryTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : ColumnCount;
}

QVariant LibraryTableModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
  const library::DumpSummary* dump = Summary(index.row());
  if (!dump) return {};
  switch (index.column()) {
    case Name:
      return Text(dump->name);
    case Kind:
      return KindText(dump->kind);
    case Category:
      return Text(dump->category);
    case Where: {
      QString where = Text(dump->where);
      if (dump->placeCount > 1) where += QString("  +%1").arg(dump->placeCount - 1);
      return where;
    }
    case LastSeen:
      return role == Qt::ToolTipRole ? Text(dump->lastSeen) : LocalTime(dump->lastSeen);
  }
  return {};
}

QVariant LibraryTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  static const char* const kTitles[] = {"Name", "Kind", "Category", "Where", "Last seen"};
  return section >= 0 && section < ColumnCount ? QString(kTitles[section]) : QVariant();
}

Qt::ItemFlags LibraryTableModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
}

QStringList LibraryTableModel::mimeTypes() const {
  return {kMimeType};
}

QMimeData* LibraryTableModel::mimeData(const QModelIndexList& indexes) const {
  std::set<int> rows;
  for (const QModelIndex& index : indexes) rows.insert(index.row());
  QByteArray lines;
  for (int row : rows) {
    const library::DumpSummary* dump = Summary(row);
    if (!dump || !dump->kind) continue;
    lines += QByteArray(dump->kind->name.data(), static_cast<qsizetype>(dump->kind->name.size())) +
             ' ' + QByteArray::number(static_cast<qlonglong>(dump->id)) + '\n';
  }
  if (lines.isEmpty()) return nullptr;
  auto* mime = new QMimeData;
  mime->setData(kMimeType, lines);
  return mime;
}

std::vector<LibraryTableModel::Dragged> LibraryTableModel::DumpsOf(const QMimeData* mime) {
  std::vector<Dragged> dumps;
  if (!mime || !mime->hasFormat(kMimeType)) return dumps;
  for (const QByteArray& line : mime->data(kMimeType).split('\n')) {
    const QList<QByteArray> parts = line.split(' ');
    if (parts.size() != 2) continue;
    bool ok = false;
    const qlonglong id = parts[1].toLongLong(&ok);
    const DumpKind* kind = parts[0] == "Program" ? &kProgramKind
                           : parts[0] == "Mix"   ? &kMixKind
                                                 : nullptr;
    if (ok && kind) dumps.push_back({kind, static_cast<library::DumpId>(id)});
  }
  return dumps;
}

void LibraryTableModel::sort(int column, Qt::SortOrder order) {
  if (!Sortable(column)) return;
  library::Query query = browser_->Wanted();
  query.sort = column == Name ? library::SortBy::Name : library::SortBy::Seen;
  query.descending = order == Qt::DescendingOrder;
  browser_->SetQuery(query);
}

}  // namespace quorle
