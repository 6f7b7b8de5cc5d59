#include <QApplication>
#include <QMessageBox>
#include <cstdlib>
#include <memory>

#include "app/MidiLog.h"
#include "app/MidiSystem.h"
#include "help/THelpTrace.h"
#include "midi/MidiDispatcher.h"
#include "qt/MainWindow.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Quorle");

  quorle::MidiSystem::Options options;
  const std::vector<std::string> all(argv + 1, argv + argc);
  quorle::THelpTrace::SetCommandLine(all);
  // The help layer's trace switches are no options of the simulator.
  std::vector<std::string> args;
  for (const std::string& arg : all) {
    if (!quorle::THelpTrace::IsTraceSwitch(arg)) args.push_back(arg);
  }
  std::string logFile, logError;
  if (!quorle::TakeMidiLogOption(args, logFile, logError)) {
    QMessageBox::critical(nullptr, "Quorle", QString::fromStdString(logError));
    return 2;
  }
  const quorle::SimArguments parsed = quorle::ParseSimArguments(args, options.sim);
  if (!parsed.error.empty() || !parsed.rest.empty()) {
    const std::string what =
        parsed.error.empty() ? "unknown option " + parsed.rest.front() : parsed.error;
    QMessageBox::critical(nullptr, "Quorle", QString::fromStdString(what));
    return 2;
  }
  quorle::ApplySimEnvironment(options.sim, std::getenv(quorle::SimSettings::kStateVariable),
                              parsed.stateGiven);
  if (const char* api = std::getenv("QUORLE_MIDI_API"); api && std::string(api) == "none") {
    options.realDevices = false;
  }

  std::unique_ptr<quorle::MidiSystem> midi;
  std::unique_ptr<quorle::MidiLog> log;
  try {
    if (!logFile.empty()) log = std::make_unique<quorle::MidiLog>(logFile);
    midi = std::make_unique<quorle::MidiSystem>(options);
  } catch (const std::exception& e) {
    QMessageBox::critical(nullptr, "Quorle", QString::fromStdString(e.what()));
    return 1;
  }

  quorle::MainWindow window(midi->Service(), quorle::MidiDispatcher::Main(),
                            QCoreApplication::applicationDirPath());
  window.Form().Log = log.get();
  window.Form().FormCreate();
  window.show();
  return QApplication::exec();
}
