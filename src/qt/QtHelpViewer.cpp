#include "qt/QtHelpViewer.h"

#include <QApplication>
#include <QDialog>
#include <QFileInfo>
#include <QHelpEngineCore>
#include <QHelpLink>
#include <QKeyEvent>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/InstallLayout.h"
#include "qt/QtHelpBrowser.h"

namespace quorle {

namespace {

// The help window: Escape closes it, as it closes a dialog.
class HelpWindow : public QWidget {
 public:
  explicit HelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {}

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    if (event->key() == Qt::Key_Escape) {
      close();
      return;
    }
    QWidget::keyPressEvent(event);
  }
};

}  // namespace

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
    window_ = new HelpWindow(parent_);
    window_->setObjectName("frmHelp");
    window_->setWindowTitle("Quorle Help");
    window_->resize(640, 520);
    auto* layout = new QVBoxLayout(window_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    browser_ = new QtHelpBrowser(*engine_, window_);
    // Back and Forward through the topics read, also Alt+Left and Alt+Right in the topic.
    auto* row = new QHBoxLayout;
    row->setContentsMargins(4, 4, 4, 4);
    auto button = [&](const char* name, const char* text, QStyle::StandardPixmap icon) {
      auto* b = new QToolButton(window_);
      b->setObjectName(name);
      b->setText(text);
      b->setIcon(window_->style()->standardIcon(icon));
      b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
      b->setAutoRaise(true);
      b->setEnabled(false);
      row->addWidget(b);
      return b;
    };
    QToolButton* back = button("btnBack", "Back", QStyle::SP_ArrowBack);
    QToolButton* forward = button("btnForward", "Forward", QStyle::SP_ArrowForward);
    row->addStretch(1);
    QObject::connect(back, &QToolButton::clicked, browser_, &QTextBrowser::backward);
    QObject::connect(forward, &QToolButton::clicked, browser_, &QTextBrowser::forward);
    QObject::connect(browser_, &QTextBrowser::backwardAvailable, back, &QWidget::setEnabled);
    QObject::connect(browser_, &QTextBrowser::forwardAvailable, forward, &QWidget::setEnabled);
    layout->addLayout(row);
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
