#include "qt/OnAndromedaView.h"

#include <QAbstractTableModel>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QVBoxLayout>
#include <array>

#include "protocol/BankName.h"
#include "qt/LibraryText.h"

namespace quorle {

// The 128 rows, their texts made once per bank shown: a bank chosen is one change of all of them.
class OnAndromedaView::Rows final : public QAbstractTableModel {
 public:
  struct Row {
    std::optional<library::DumpId> id;
    bool changed = false;
    QString name, how, seen, seenIso;
  };

  explicit Rows(QObject* parent) : QAbstractTableModel(parent) {}

  void Set(const std::array<Row, kBankEntries>& rows) {
    rows_ = rows;
    emit dataChanged(index(0, 0), index(kBankEntries - 1, ColumnCount - 1));
  }
  const Row& At(int slot) const { return rows_[static_cast<std::size_t>(slot)]; }

  int rowCount(const QModelIndex& parent) const override {
    return parent.isValid() ? 0 : static_cast<int>(kBankEntries);
  }
  int columnCount(const QModelIndex& parent) const override {
    return parent.isValid() ? 0 : ColumnCount;
  }
  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid()) return {};
    const Row& row = At(index.row());
    if (role == Qt::ForegroundRole && index.column() == Name && !row.id)
      return QPalette().brush(QPalette::Disabled, QPalette::Text);
    if (role == Qt::ToolTipRole && index.column() == Seen) return row.seenIso;
    if (role != Qt::DisplayRole) return {};
    switch (index.column()) {
      case Slot:
        return QString::number(index.row()).rightJustified(3, '0');
      case Name:
        return row.name;
      case How:
        return row.how;
      case Seen:
        return row.seen;
    }
    return {};
  }
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* const kTitles[] = {"Slot", "Name", "How", "Seen"};
    return section >= 0 && section < ColumnCount ? QString(kTitles[section]) : QVariant();
  }
  Qt::ItemFlags flags(const QModelIndex& index) const override {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
  }

 private:
  std::array<Row, kBankEntries> rows_;
};

namespace {

// The slots take dumps dragged from the Library's table; the view only says where they landed.
class SlotTable final : public QTableView {
 public:
  SlotTable(QWidget* parent, OnAndromedaView& view) : QTableView(parent), view_(view) {
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    setDropIndicatorShown(true);
  }

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override {
    if (LibraryTableModel::DumpsOf(event->mimeData()).empty()) return event->ignore();
    event->acceptProposedAction();
  }
  void dragMoveEvent(QDragMoveEvent* event) override {
    if (!indexAt(event->position().toPoint()).isValid()) return event->ignore();
    event->acceptProposedAction();
  }
  void dropEvent(QDropEvent* event) override {
    const QModelIndex at = indexAt(event->position().toPoint());
    const auto dumps = LibraryTableModel::DumpsOf(event->mimeData());
    event->ignore();
    if (!at.isValid() || dumps.empty()) return;
    // The slot stays as it is until the send has gone and the library says so.
    event->setDropAction(Qt::CopyAction);
    event->accept();
    // Asked about once the drop is over: a question inside it would hold the drag open.
    QMetaObject::invokeMethod(
        &view_,
        [view = &view_, slot = at.row(), dumps] {
          if (view->onDumpsDropped) view->onDumpsDropped(slot, dumps);
        },
        Qt::QueuedConnection);
  }

 private:
  OnAndromedaView& view_;
};

}  // namespace

OnAndromedaView::OnAndromedaView(QWidget* parent) : QWidget(parent) {
  setObjectName("OnAndromeda");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 6, 6, 0);
  auto* top = new QHBoxLayout;
  cbBank = new QComboBox(this);
  cbBank->setObjectName("cbBank");
  for (const DumpKind* kind : {&kProgramKind, &kMixKind}) {
    for (int bank = 0; bank <= kind->LastBank(); ++bank) {
      cbBank->addItem(quorle::Text(BankName(*kind, bank)),
                      QVariant::fromValue(kind == &kProgramKind ? bank : -1 - bank));
    }
  }
  top->addWidget(cbBank);
  btnFetchAgain = new QPushButton("Fetch again", this);
  btnFetchAgain->setObjectName("btnFetchAgain");
  btnFetchAgain->setToolTip("Fetch this bank from the Andromeda now");
  top->addWidget(btnFetchAgain);
  top->addStretch(1);
  layout->addLayout(top);
  cbChangedOnly = new QCheckBox("Changed since the last backup", this);
  cbChangedOnly->setObjectName("cbChangedOnly");
  cbChangedOnly->setToolTip("Only the slots a new backup would add");
  layout->addWidget(cbChangedOnly);
  lblAge = new QLabel(this);
  lblAge->setObjectName("lblAge");
  lblAge->setWordWrap(true);
  layout->addWidget(lblAge);

  rows_ = new Rows(this);
  slots_ = new SlotTable(this, *this);
  slots_->setObjectName("Slots");
  slots_->setModel(rows_);
  slots_->setSelectionBehavior(QAbstractItemView::SelectRows);
  slots_->setSelectionMode(QAbstractItemView::SingleSelection);
  slots_->setWordWrap(false);
  slots_->verticalHeader()->hide();
  slots_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  slots_->verticalHeader()->setDefaultSectionSize(slots_->fontMetrics().height() + 6);
  // Widths from the longest texts, never measured over the rows: a bank shows at once.
  const QFontMetrics metrics = slots_->fontMetrics();
  const int pad = metrics.horizontalAdvance('M');
  QHeaderView* header = slots_->horizontalHeader();
  header->setStretchLastSection(false);
  header->setSectionResizeMode(QHeaderView::Interactive);
  header->setSectionResizeMode(Name, QHeaderView::Stretch);
  slots_->setColumnWidth(Slot, metrics.horizontalAdvance("Slot") + pad);
  slots_->setColumnWidth(How, metrics.horizontalAdvance("fetched") + pad);
  slots_->setColumnWidth(Seen, metrics.horizontalAdvance("2026-12-09 14:02") + pad);
  layout->addWidget(slots_, 1);

  connect(cbBank, &QComboBox::currentIndexChanged, this, [this] {
    if (onBankChosen) onBankChosen();
  });
  connect(btnFetchAgain, &QPushButton::clicked, this, [this] {
    if (onFetchAgain) onFetchAgain();
  });
  connect(cbChangedOnly, &QCheckBox::toggled, this, [this] { ApplyChangedOnly(); });
  connect(slots_, &QTableView::activated, this, [this](const QModelIndex& index) {
    if (const auto id = SlotDump(index.row()); id && onDumpActivated) onDumpActivated(*id);
  });
}

const DumpKind& OnAndromedaView::Kind() const {
  return cbBank->currentData().toInt() >= 0 ? kProgramKind : kMixKind;
}

int OnAndromedaView::Bank() const {
  const int data = cbBank->currentData().toInt();
  return data >= 0 ? data : -1 - data;
}

void OnAndromedaView::Show(const library::InstrumentBankView& bank, const std::string& now) {
  lblAge->setText(quorle::Text(library::AgeText(bank, now)));
  std::array<Rows::Row, kBankEntries> rows;
  for (std::size_t entry = 0; entry < kBankEntries; ++entry) {
    const library::SlotView& slot = bank.entries[entry];
    Rows::Row& row = rows[entry];
    row.id = slot.id;
    row.changed = slot.changedSinceBackup;
    if (!slot.id) {
      row.name = "unknown";
      continue;
    }
    row.name = quorle::Text(slot.name);
    row.how = quorle::Text(std::string(library::HowName(slot.how)));
    row.seen = LocalTime(slot.seen);
    row.seenIso = quorle::Text(slot.seen);
  }
  rows_->Set(rows);
  ApplyChangedOnly();
}

void OnAndromedaView::ShowNothing(const QString& reason) {
  lblAge->setText(reason);
  rows_->Set({});
  ApplyChangedOnly();
}

std::optional<library::DumpId> OnAndromedaView::SlotDump(int slot) const {
  if (slot < 0 || slot >= static_cast<int>(kBankEntries)) return std::nullopt;
  return rows_->At(slot).id;
}

QString OnAndromedaView::Text(int slot, int column) const {
  return rows_->index(slot, column).data().toString();
}

void OnAndromedaView::ApplyChangedOnly() {
  const bool only = cbChangedOnly->isChecked();
  for (int entry = 0; entry < static_cast<int>(kBankEntries); ++entry) {
    const bool hide = only && !rows_->At(entry).changed;
    if (slots_->isRowHidden(entry) != hide) slots_->setRowHidden(entry, hide);
  }
}

}  // namespace quorle
