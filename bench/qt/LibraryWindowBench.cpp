// The Library window over a library of 100,000 dumps: from a keystroke in the search field to the
// table redrawn, the longest stall of the event loop while a word is typed at 10 keys a second,
// the window's peak memory, the "On the Andromeda" view from a bank chosen to its 128 rows
// painted, and the composer's first paint on a bank file. A plain program: it
// drives the real window on the offscreen platform and prints its figures.
//
//   quorle-library-window-bench [--library FILE]
//
// Without --library, the library benchmarks' 100,000 dumps are made once (in a child process, so
// their making does not count towards this one's memory) and kept in the temporary folder.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "BenchLibrary.h"
#include "app/MidiSystem.h"
#include "frontend/LibraryConnection.h"
#include "midi/MidiDispatcher.h"
#include "protocol/SysexFile.h"
#include "qt/ComposeBankWindow.h"
#include "qt/LibraryWindow.h"
#include "qt/MainWindow.h"
#include "qt/OnAndromedaView.h"
#include "sim/SimContent.h"

namespace {

namespace fs = std::filesystem;
using namespace quorle;
using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

// Paints of a widget, timed.
class PaintWatch : public QObject {
 public:
  explicit PaintWatch(QWidget* widget) { widget->installEventFilter(this); }
  Clock::time_point first{};  // of the paints since the last Mark
  int paints = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint && paints++ == marked_) first = Clock::now();
    return false;
  }

 public:
  void Mark() { marked_ = paints; }

 private:
  int marked_ = 0;
};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

int failures = 0;

// Runs the event loop until done; a wait that runs out counts as a failure of the run. The loop
// runs as the application's would, never sleeping between turns (as QTest::qWaitFor does), so
// what is timed meanwhile is the window's own doing.
bool Wait(const std::function<bool()>& done, int limitMs) {
  QEventLoop loop;
  QTimer check;
  check.setTimerType(Qt::PreciseTimer);
  check.setInterval(1);
  QObject::connect(&check, &QTimer::timeout, [&] {
    if (done()) loop.quit();
  });
  QTimer::singleShot(limitMs, &loop, &QEventLoop::quit);
  if (!done()) {
    check.start();
    loop.exec();
  }
  const bool met = done();
  if (!met) ++failures;
  return met;
}

qint64 ThreadCpuNs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<qint64>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

long PeakKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
  fs::path file;
  if (argc == 3 && std::string(argv[1]) == "--library") {
    file = argv[2];
  } else {
    // The library benchmarks' own, kept for later runs.
    const fs::path kept = fs::temp_directory_path() / "quorle-bench-library-window";
    file = kept / "library.sqlite";
    if (!fs::exists(file)) {
      // Made in a child: what the making takes is no part of the window's memory.
      const pid_t child = fork();
      if (child == 0) {
        setenv("QUORLE_BENCH_LIBRARY", kept.c_str(), 1);
        const bench::BenchLibrary& made = bench::HundredThousandDumps();
        std::printf("made a library of %zu dumps in %.1f s\n", made.dumps, made.importSeconds);
        std::fflush(stdout);
        // The bank files stay: the window's file check reads them as it would a user's.
        _exit(0);
      }
      int status = 0;
      waitpid(child, &status, 0);
      if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        fs::remove_all(file.parent_path());
        std::fprintf(stderr, "the library could not be made\n");
        return 1;
      }
    }
  }
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  const fs::path folder =
      fs::temp_directory_path() / ("quorle-bench-window-" + std::to_string(::getpid()));
  fs::create_directories(folder / "runtime");
  fs::permissions(folder / "runtime", fs::perms::owner_all);
  if (!qEnvironmentVariableIsSet("XDG_RUNTIME_DIR")) {
    qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString((folder / "runtime").string()));
  }
  QApplication app(argc, argv);

  MidiSystem::Options options;
  options.realDevices = false;
  options.sim.rate = 0;
  MidiSystem midi(options);
  LibraryConnection connection(file);
  {
    MainWindow window(midi.Service(), MidiDispatcher::Main(), QString::fromStdString(folder));
    window.SetLibrary(&connection);
    window.Form().FormCreate();
    window.show();
    const auto opened = Clock::now();
    LibraryWindow* library = window.ShowLibrary();
    auto* search = library->findChild<QLineEdit*>("eSearch");
    library::LibraryBrowser& browser = library->Model().Browser();
    PaintWatch paints(library->Table().viewport());
    Wait([&] { return browser.CountKnown(); }, 60000);
    std::printf("library: %zu dumps\n", *browser.Count());
    // The file check that began as the window opened, on a thread of its own: what follows is
    // timed once it is over.
    Wait([&] { return !library->CheckingFiles(); }, 1800000);
    std::printf("file check in the background: over %.1f s after the window opened\n",
                Ms(Clock::now() - opened) / 1000);
    std::fflush(stdout);

    // Keystroke to redrawn table: each letter of some words typed, then taken back.
    bool answered = false;
    int paintsAtAnswer = 0;
    QObject::connect(&library->Model(), &LibraryTableModel::answered, [&] {
      answered = true;
      paintsAtAnswer = paints.paints;
      paints.Mark();
    });
    std::vector<double> latencies;
    for (const char* word : {"pad", "bass", "lead", "str", "bright", "a", "e", "ko", "sync"}) {
      const QString text(word);
      auto press = [&](Qt::Key key) {
        const auto started = Clock::now();
        QTest::keyClick(search, key, Qt::NoModifier);
        // The first paint once the rows of the new text are in.
        Wait([&] { return answered && paints.paints > paintsAtAnswer; }, 5000);
        answered = false;
        latencies.push_back(Ms(paints.first - started));
        if (std::getenv("QUORLE_BENCH_VERBOSE")) {
          std::printf("  %-8s %6.1f ms, %zu rows\n", search->text().toUtf8().constData(),
                      latencies.back(), browser.Count().value_or(0));
        }
      };
      for (const QChar c : text) press(static_cast<Qt::Key>(c.toUpper().unicode()));
      for (int i = 0; i < text.size(); ++i) press(Qt::Key_Backspace);
    }
    std::sort(latencies.begin(), latencies.end());
    std::printf(
        "keystroke to table redrawn: median %.1f ms, 90th %.1f ms, max %.1f ms (%zu keys)\n",
        Median(latencies), latencies[latencies.size() * 9 / 10], latencies.back(),
        latencies.size());

    // The event loop's longest gap while six letters come at 10 keys a second.
    for (const char* word : {"bright", "strong", "sweeps"}) {
      search->clear();
      Wait([&] { return !browser.Searching(); }, 5000);
      QElapsedTimer since;
      since.start();
      // Beside each gap, what the window's thread itself spent in it: on a busy machine a gap can
      // be the system's doing, another program holding the processors.
      qint64 lastTick = 0, longest = 0, lastCpu = ThreadCpuNs(), longestCpu = 0;
      QTimer tick;
      tick.setTimerType(Qt::PreciseTimer);
      tick.setInterval(1);
      QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = since.nsecsElapsed();
        const qint64 cpu = ThreadCpuNs();
        if (now - lastTick > longest) {
          longest = now - lastTick;
          longestCpu = cpu - lastCpu;
        }
        lastTick = now;
        lastCpu = cpu;
      });
      int typed = 0;
      QTimer keys;
      keys.setInterval(100);
      QObject::connect(&keys, &QTimer::timeout, [&] {
        if (typed < 6)
          QTest::keyClick(search, static_cast<Qt::Key>(QChar(word[typed]).toUpper().unicode()));
        ++typed;
      });
      lastTick = since.nsecsElapsed();
      tick.start();
      keys.start();
      Wait([&] { return typed > 12 && !browser.Searching(); }, 10000);
      tick.stop();
      keys.stop();
      std::printf(
          "typing \"%s\" at 10 keys/s: longest event-loop gap %.1f ms (the window's thread busy "
          "%.1f ms of it)\n",
          word, static_cast<double>(longest) / 1e6, static_cast<double>(longestCpu) / 1e6);
    }
    std::printf("peak memory with the library open and searched: %.1f MiB\n", PeakKiB() / 1024.0);

    // A bank chosen in "On the Andromeda" to its rows painted, every bank of both kinds in turn.
    // The rows are read and filled as the choice changes; the paint is asked for at once, as a
    // bank that looks as the last one did would otherwise not be painted at all.
    library->findChild<QTabWidget*>("tabsSide")->setCurrentIndex(1);
    auto* banks = library->findChild<QComboBox*>("cbBank");
    QWidget* rows = library->OnAndromeda().Slots().viewport();
    std::vector<double> shown;
    for (int round = 0; round < 3; ++round) {
      for (int i = 0; i < banks->count(); ++i) {
        const auto started = Clock::now();
        banks->setCurrentIndex((banks->currentIndex() + 1) % banks->count());
        rows->repaint();
        shown.push_back(Ms(Clock::now() - started));
        QApplication::processEvents();
      }
    }
    std::sort(shown.begin(), shown.end());
    std::printf(
        "bank chosen to 128 rows painted: median %.1f ms, 90th %.1f ms, max %.1f ms (%zu)\n",
        Median(shown), shown[shown.size() * 9 / 10], shown.back(), shown.size());
    std::printf("peak memory with the bank view shown: %.1f MiB\n", PeakKiB() / 1024.0);

    // The composer on a bank file, from the click to its first paint.
    Bytes bank;
    for (int i = 0; i < 128; ++i) {
      const Bytes dump = SeededDump(kProgramKind, 4242, 0, i, 0, 0);
      bank.insert(bank.end(), dump.begin(), dump.end());
    }
    const fs::path bankFile = folder / "Bank.syx";
    WriteFileAtomically(bankFile, bank);
    std::vector<double> opens;
    for (int run = 0; run < 5; ++run) {
      const auto started = Clock::now();
      ComposeBankWindow* composer = window.ComposeBank(kProgramKind);
      composer->StartFromFile(QString::fromStdString(bankFile.string()));
      PaintWatch first(composer->Grid().viewport());
      Wait([&] { return first.paints > 0; }, 5000);
      opens.push_back(Ms(first.first - started));
      composer->close();
      QApplication::processEvents();
    }
    std::printf("composer on a bank file to first paint: median %.1f ms, max %.1f ms\n",
                Median(opens), *std::max_element(opens.begin(), opens.end()));
  }
  fs::remove_all(folder);
  return failures == 0 ? 0 : 1;
}
