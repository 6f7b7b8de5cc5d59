#include "qt/OnAndromedaView.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QVBoxLayout>
#include <cstdio>

#include "protocol/BankName.h"
#include "qt/LibraryText.h"

// No slots are declared here: the word is the library's bank view's member.
#undef slots

namespace quorle {

namespace {

// The slots take dumps dragged from the Library's table; the view only says where they landed.
class SlotTable final : public QTableWidget {
 public:
  SlotTable(QWidget* parent, OnAndromedaView& view)
      : QTableWidget(kBankEntries, OnAndromedaView::ColumnCount, parent), view_(view) {
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

QString EntryText(int entry) {
  char text[8];
  std::snprintf(text, sizeof text, "%3.3d", entry);
  return text;
}

}  // namespace

OnAndromedaView::OnAndromedaView(QWidget* parent)
    : QWidget(parent), dumps_(kBankEntries), changed_(kBankEntries) {
  setObjectName("OnAndromeda");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 6, 6, 0);
  auto* top = new QHBoxLayout;
  cbBank = new QComboBox(this);
  cbBank->setObjectName("cbBank");
  for (const DumpKind* kind : {&kProgramKind, &kMixKind}) {
    for (int bank = 0; bank <= kind->LastBank(); ++bank) {
      cbBank->addItem(Text(BankName(*kind, bank)),
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

  slots_ = new SlotTable(this, *this);
  slots_->setObjectName("Slots");
  slots_->setHorizontalHeaderLabels({"Slot", "Name", "How", "Seen"});
  slots_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  slots_->setSelectionBehavior(QAbstractItemView::SelectRows);
  slots_->setSelectionMode(QAbstractItemView::SingleSelection);
  slots_->setWordWrap(false);
  slots_->verticalHeader()->hide();
  slots_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  slots_->verticalHeader()->setDefaultSectionSize(slots_->fontMetrics().height() + 6);
  QHeaderView* header = slots_->horizontalHeader();
  header->setSectionResizeMode(QHeaderView::ResizeToContents);
  header->setSectionResizeMode(Name, QHeaderView::Stretch);
  // The cells are made once: a bank chosen only changes their texts.
  for (int entry = 0; entry < static_cast<int>(kBankEntries); ++entry) {
    for (int column = 0; column < ColumnCount; ++column) {
      auto* cell = new QTableWidgetItem;
      cell->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
      slots_->setItem(entry, column, cell);
    }
    slots_->item(entry, Slot)->setText(EntryText(entry));
  }
  layout->addWidget(slots_, 1);

  connect(cbBank, &QComboBox::currentIndexChanged, this, [this] {
    if (onBankChosen) onBankChosen();
  });
  connect(btnFetchAgain, &QPushButton::clicked, this, [this] {
    if (onFetchAgain) onFetchAgain();
  });
  connect(cbChangedOnly, &QCheckBox::toggled, this, [this] { ApplyChangedOnly(); });
  connect(slots_, &QTableWidget::itemActivated, this, [this](QTableWidgetItem* item) {
    if (const auto id = SlotDump(item->row()); id && onDumpActivated) onDumpActivated(*id);
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
  lblAge->setText(Text(library::AgeText(bank, now)));
  const QBrush unknown = palette().brush(QPalette::Disabled, QPalette::Text);
  const QBrush known = palette().brush(QPalette::Active, QPalette::Text);
  for (int entry = 0; entry < static_cast<int>(kBankEntries); ++entry) {
    const library::SlotView& slot = bank.slots[static_cast<std::size_t>(entry)];
    dumps_[static_cast<std::size_t>(entry)] = slot.id;
    changed_[static_cast<std::size_t>(entry)] = slot.changedSinceBackup;
    QTableWidgetItem* name = slots_->item(entry, Name);
    name->setText(slot.id ? Text(slot.name) : QString("unknown"));
    name->setForeground(slot.id ? known : unknown);
    slots_->item(entry, How)
        ->setText(slot.id ? Text(std::string(library::HowName(slot.how))) : QString());
    QTableWidgetItem* seen = slots_->item(entry, Seen);
    seen->setText(slot.id ? LocalTime(slot.seen) : QString());
    seen->setToolTip(Text(slot.seen));
  }
  ApplyChangedOnly();
}

void OnAndromedaView::ShowNothing(const QString& reason) {
  lblAge->setText(reason);
  for (int entry = 0; entry < static_cast<int>(kBankEntries); ++entry) {
    dumps_[static_cast<std::size_t>(entry)].reset();
    changed_[static_cast<std::size_t>(entry)] = false;
    for (int column = Name; column < ColumnCount; ++column)
      slots_->item(entry, column)->setText({});
  }
  ApplyChangedOnly();
}

std::optional<library::DumpId> OnAndromedaView::SlotDump(int slot) const {
  if (slot < 0 || slot >= static_cast<int>(kBankEntries)) return std::nullopt;
  return dumps_[static_cast<std::size_t>(slot)];
}

QString OnAndromedaView::SlotName(int slot) const {
  return SlotDump(slot) ? slots_->item(slot, Name)->text() : QString();
}

void OnAndromedaView::ApplyChangedOnly() {
  const bool only = cbChangedOnly->isChecked();
  for (int entry = 0; entry < static_cast<int>(kBankEntries); ++entry)
    slots_->setRowHidden(entry, only && !changed_[static_cast<std::size_t>(entry)]);
}

}  // namespace quorle
