#include "qt/QtHelpViewer.h"

#include <QApplication>
#include <QDialog>
#include <QFileInfo>
#include <QHelpEngineCore>
#include <QHelpLink>
#include <QVBoxLayout>

#include "app/InstallLayout.h"
#include "qt/QtHelpBrowser.h"

namespace quorle {

QtHelpViewer::QtHelpViewer(const QString& appFolder, QWidget* parent)
    : appFolder_(appFolder), parent_(parent) {}

QtHelpViewer::~QtHelpViewer() {
  delete window_;
}

bool QtHelpViewer::OpenHelp(const QString& path) {
  if (engine_ && openFile_ == path) return true;
  delete window_;
  browser_ = nullptr;
  engine_.reset();
  openFile_.clear();
  const QFileInfo file(path);
  if (!file.isFile() || !file.isReadable()) return false;
  collection_ = std::make_unique<QTemporaryDir>();
  if (!collection_->isValid()) return false;
  auto engine = std::make_unique<QHelpEngineCore>(collection_->filePath("quorle.qhc"));
  engine->setReadOnly(false);  // the collection is this run's own, to register the file in
  if (!engine->setupData() || !engine->registerDocumentation(path)) return false;
  if (QHelpEngineCore::namespaceName(path).isEmpty()) return false;
  engine_ = std::move(engine);
  openFile_ = path;
  return true;
}

bool QtHelpViewer::ShowTopic(const std::string& helpFile, int context) {
  // A window definition after ">" chooses among named windows; this viewer has one.
  const std::string name = helpFile.substr(0, helpFile.find('>'));
  const QString path =
      QString::fromStdString(FindDataFile(appFolder_.toStdString(), name).string());
  if (!OpenHelp(path)) return false;

  const QList<QHelpLink> links = engine_->documentsForIdentifier(QString::number(context));
  QUrl topic;
  if (!links.isEmpty()) {
    topic = links.front().url;
  } else {
    // A context the file does not hold opens the page of the whole window.
    const QList<QHelpLink> window = engine_->documentsForIdentifier("1005");
    if (window.isEmpty()) return false;
    topic = window.front().url;
  }

  if (!window_) {
    window_ = new QWidget(parent_, Qt::Window);
    window_->setObjectName("frmHelp");
    window_->setWindowTitle("Quorle Help");
    window_->resize(640, 520);
    auto* layout = new QVBoxLayout(window_);
    layout->setContentsMargins(0, 0, 0, 0);
    browser_ = new QtHelpBrowser(*engine_, window_);
    layout->addWidget(browser_);
  }
  browser_->setSource(topic);
  LendToModalDialog();
  window_->show();
  window_->raise();
  window_->activateWindow();
  return true;
}

void QtHelpViewer::LendToModalDialog() {
  // A modal dialog blocks every window but its own; while it is open the help window is one of
  // them, so its topic can be read and scrolled, and it comes back when the dialog closes.
  auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
  if (!dialog || window_->parentWidget() == dialog) return;
  auto moveTo = [this](QWidget* owner) {
    const QRect geometry = window_->geometry();
    const bool shown = window_->isVisible();
    window_->setParent(owner, Qt::Window);
    window_->setGeometry(geometry);
    if (shown) window_->show();
  };
  moveTo(dialog);
  QObject::connect(dialog, &QDialog::finished, window_, [this, moveTo] {
    if (window_) moveTo(parent_);
  });
}

void QtHelpViewer::CloseAll() {
  if (window_) window_->close();
}

QUrl QtHelpViewer::ShownTopic() const {
  return browser_ && window_ ? browser_->source() : QUrl();
}

}  // namespace quorle
