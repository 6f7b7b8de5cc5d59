#pragma once

#include <QAbstractTableModel>
#include <QMimeData>
#include <atomic>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "library/LibraryBrowser.h"
#include "library/LibrarySearch.h"

namespace quorle {

// The Library window's table: the rows of the query in hand, fetched a page at a time as the
// view shows them. The searches run on a thread of their own; their answers come back here
// through the event loop.
class LibraryTableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { Name, Kind, Category, Where, LastSeen, ColumnCount };
  // What a dragged row carries: one line per dump, "Program 12" or "Mix 7".
  static constexpr const char* kMimeType = "application/x-quorle-library-dumps";
  struct Dragged {
    const DumpKind* kind;
    library::DumpId id;
  };
  static std::vector<Dragged> DumpsOf(const QMimeData* mime);

  LibraryTableModel(const std::filesystem::path& library, QObject* parent);
  ~LibraryTableModel() override;

  library::LibraryBrowser& Browser() { return *browser_; }
  void SetQuery(const library::Query& query) { browser_->SetQuery(query); }
  void Refresh() { browser_->Refresh(); }
  // The dump of a row, when its page is held.
  const library::DumpSummary* Summary(int row) const;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QStringList mimeTypes() const override;
  QMimeData* mimeData(const QModelIndexList& indexes) const override;
  Qt::DropActions supportedDragActions() const override { return Qt::CopyAction; }
  // Only Name and Last seen sort: the catalogue keeps its order for those.
  void sort(int column, Qt::SortOrder order) override;
  static bool Sortable(int column) { return column == Name || column == LastSeen; }

 signals:
  // The rows are those of another query, or their count came: count and error may differ.
  void answered();

 private:
  void TakeAnswers();

  std::unique_ptr<library::LibrarySearch> search_;
  std::unique_ptr<library::LibraryBrowser> browser_;
  std::atomic<bool> posted_ = false;
};

}  // namespace quorle
