#include "qt/QtPickDirDialog.h"

#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "dialogs/TfrmPickDir.h"

namespace quorle {

namespace fs = std::filesystem;

QtPickDirDialog::QtPickDirDialog(TfrmPickDir& logic, QWidget* parent)
    : QtFormDialog(logic, "frmPickDir", parent), logic_(logic) {
  auto* layout = new QVBoxLayout(this);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  auto* label1 = new QLabel(QString::fromStdString(logic.Label1), this);
  label1->setObjectName("Label1");
  layout->addWidget(label1);

  lblPath = new QLabel(this);
  lblPath->setObjectName("lblPath");
  QFont bold = lblPath->font();
  bold.setBold(true);
  lblPath->setFont(bold);
  layout->addWidget(lblPath);

  lbSplitDir = new QTreeWidget(this);
  lbSplitDir->setObjectName("lbSplitDir");
  lbSplitDir->setHeaderHidden(true);
  lbSplitDir->setRootIsDecorated(false);
  lbSplitDir->setItemsExpandable(false);
  lbSplitDir->setExpandsOnDoubleClick(false);
  lbSplitDir->setIndentation(12);
  // The tree is always open as far as it goes: no arrows that suggest otherwise.
  lbSplitDir->setStyleSheet("QTreeView::branch { image: none; }");
  lbSplitDir->setFixedSize(label1->sizeHint().width(), 220);
  lbSplitDir->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  lblPath->setFixedWidth(lbSplitDir->width());
  layout->addWidget(lbSplitDir);
  connect(lbSplitDir, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item, int) {
    const auto index = item->data(0, Qt::UserRole).toULongLong();
    if (index >= folders_.size()) return;
    logic_.lbSplitDirDblClick(folders_[index]);
    Redraw();
  });

  auto* btnNewFolder = new QPushButton("New Folder", this);
  btnNewFolder->setObjectName("btnNewFolder");
  // Enter after a new folder is made takes it, as OK.
  btnNewFolder->setAutoDefault(false);
  layout->addWidget(btnNewFolder, 0, Qt::AlignLeft);
  connect(btnNewFolder, &QPushButton::clicked, this, [this] {
    bool ok = false;
    const QString name = QInputDialog::getText(
        this, "New Folder", "Name of the new folder:", QLineEdit::Normal, "New Folder", &ok);
    if (!ok) return;
    const std::string error = logic_.btnNewFolderClick(name.toStdString());
    if (!error.empty()) QMessageBox::warning(this, "Quorle", QString::fromStdString(error));
    Redraw();
  });

  AddButtons(layout, "btnOK", "btnCancel");
  Redraw();
}

void QtPickDirDialog::Redraw() {
  folders_ = logic_.Folders();
  lbSplitDir->clear();
  const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
  const QIcon closed = style()->standardIcon(QStyle::SP_DirIcon);
  // From the root down, each folder inside the one before it, until the current one; the current
  // one holds the folders inside it.
  QTreeWidgetItem* above = nullptr;
  QTreeWidgetItem* current = nullptr;
  for (std::size_t i = 0; i < folders_.size(); ++i) {
    const fs::path& folder = folders_[i];
    const bool inside = current != nullptr;
    const fs::path name = folder.has_filename() ? folder.filename() : folder;
    auto* item = inside  ? new QTreeWidgetItem(current)
                 : above ? new QTreeWidgetItem(above)
                         : new QTreeWidgetItem(lbSplitDir);
    item->setText(0, QString::fromStdString(name.string()));
    item->setIcon(0, inside ? closed : open);
    item->setData(0, Qt::UserRole, static_cast<qulonglong>(i));
    if (!inside) above = item;
    if (!inside && folder == logic_.CurrentFolder()) current = item;
  }
  lbSplitDir->expandAll();
  if (current) {
    lbSplitDir->setCurrentItem(current);
    lbSplitDir->scrollToItem(current);
  }

  // The longest tail of the path that fits above the tree.
  const QFontMetrics metrics(lblPath->font());
  const int width = lbSplitDir->width();
  std::size_t chars = logic_.CurrentFolder().string().size();
  QString text = QString::fromStdString(logic_.lblPathText(chars));
  while (chars > 4 && metrics.horizontalAdvance(text) > width) {
    text = QString::fromStdString(logic_.lblPathText(--chars));
  }
  lblPath->setText(text);
  lblPath->setToolTip(QString::fromStdString(logic_.CurrentFolder().string()));
}

}  // namespace quorle
