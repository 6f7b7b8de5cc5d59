#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "app/MidiSystem.h"
#include "frontend/LibraryConnection.h"
#include "midi/MidiDispatcher.h"
#include "protocol/SysexFile.h"
#include "qt/MainWindow.h"
#include "support/TestFolder.h"

namespace quorle::testing {

inline constexpr int kLimitMs = 20000;

// Runs the event loop until done answers true or the limit has passed.
inline bool WaitUntil(const std::function<bool()>& done, int limitMs = kLimitMs) {
  return QTest::qWaitFor(done, limitMs);
}

// Answers modal windows in the order they appear, each with the next answer, from a timer that
// polls QApplication::activeModalWidget() inside whatever modal loop is running. An answer must
// close its window; one still open long after being answered is closed, and counted as stuck,
// so a faulty view fails the test instead of hanging it.
class ModalAnswerer {
 public:
  using Answer = std::function<void(QWidget* modal)>;

  // A window already open (the one an outer answer is busy with) is left to its own answerer.
  explicit ModalAnswerer(QWidget* alreadyOpen = nullptr) : last_(alreadyOpen) {
    since_.start();
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
    timer_.start();
  }

  ModalAnswerer& Then(Answer answer) {
    answers_.push_back(std::move(answer));
    return *this;
  }
  bool AllAnswered() const { return answers_.empty() && !pending_; }
  int Answered() const { return answered_; }
  int Stuck() const { return stuck_; }

 private:
  void Poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal && modal == last_) {
      if (since_.elapsed() > kLimitMs) {
        ++stuck_;
        last_ = nullptr;
        modal->close();
      }
      return;
    }
    if (!modal || answers_.empty()) return;
    last_ = modal;
    since_.start();
    Answer answer = std::move(answers_.front());
    answers_.pop_front();
    pending_ = true;
    answer(modal);
    pending_ = false;
    ++answered_;
  }

  QTimer timer_;
  std::deque<Answer> answers_;
  QPointer<QWidget> last_;
  QElapsedTimer since_;
  bool pending_ = false;
  int answered_ = 0;
  int stuck_ = 0;
};

// A named child of a window, failing the test when it is missing.
template <class T>
T* Child(const QObject* parent, const char* name) {
  T* child = parent->findChild<T*>(name);
  EXPECT_NE(child, nullptr) << "no " << name;
  return child;
}

inline void Click(QAbstractButton* button) {
  if (button) QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
}

// Chooses entry index of a drop-down list from the keyboard, as a user would; a disabled list
// takes no keys.
inline void Choose(QComboBox* box, int index) {
  if (!box) return;
  QTest::keyClick(box, Qt::Key_Home);
  for (int i = 0; i < index; ++i) QTest::keyClick(box, Qt::Key_Down);
}

inline QStringList Items(const QComboBox* box) {
  QStringList items;
  for (int i = 0; box && i < box->count(); ++i) items << box->itemText(i);
  return items;
}

// The whole of a file the test expects to exist.
inline Bytes ReadAll(const std::filesystem::path& path) {
  Bytes content;
  EXPECT_TRUE(ReadWholeFile(path, content).ok) << path;
  return content;
}

// The window over the in-process devices (the simulated Andromeda answering at once), with a
// program folder of its own.
class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = FreshTestFolder("qt");
    MidiSystem::Options options;
    options.realDevices = false;
    options.sim.rate = 0;
    midi_ = std::make_unique<MidiSystem>(options);
    window_ = std::make_unique<MainWindow>(midi_->Service(), MidiDispatcher::Main(),
                                           QString::fromStdString(dir_.string()));
    // A library of its own, as the program has: sends keep a copy of what they replace there.
    library_ = std::make_unique<LibraryConnection>(dir_ / "library.sqlite");
    window_->SetLibrary(library_.get());
  }
  void TearDown() override {
    window_.reset();
    library_.reset();
    midi_.reset();
    std::filesystem::remove_all(dir_);
  }

  template <class T>
  T* Find(const char* name) {
    return Child<T>(window_.get(), name);
  }

  std::filesystem::path dir_;
  std::unique_ptr<MidiSystem> midi_;
  std::unique_ptr<LibraryConnection> library_;
  std::unique_ptr<MainWindow> window_;
};

}  // namespace quorle::testing

// Readable QString values in failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}
