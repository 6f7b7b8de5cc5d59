#include <QApplication>
#include <QMessageBox>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "app/MidiLog.h"
#include "app/MidiSystem.h"
#include "frontend/LibraryConnection.h"
#include "help/THelpTrace.h"
#include "midi/MidiDispatcher.h"
#include "qt/MainWindow.h"
#include "sim/SimulatedAndromeda.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Quorle");

  quorle::MidiSystem::Options options;
  const std::vector<std::string> all(argv + 1, argv + argc);
  quorle::THelpTrace::SetCommandLine(all);
  // The help layer's trace switches are no options of the simulator, nor the library's file.
  std::vector<std::string> args;
  std::optional<std::string> libraryFile;
  for (std::size_t i = 0; i < all.size(); ++i) {
    const std::string& arg = all[i];
    if (arg == "--library" || arg.starts_with("--library=")) {
      libraryFile = arg != "--library" ? arg.substr(10) : i + 1 < all.size() ? all[++i] : "";
      if (libraryFile->empty()) {
        QMessageBox::critical(nullptr, "Quorle", "--library needs a file name");
        return 2;
      }
      continue;
    }
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
  // Any simulator option means a rehearsal: the simulator for input and output, nothing real.
  const bool rehearsal = parsed.rest.size() < args.size();
  if (rehearsal) options.realDevices = false;
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

  // Opened when first used: a library that cannot be used never stops the program, the Library
  // window says why.
  quorle::LibraryConnection library(quorle::ResolveLibraryPath(
      libraryFile, QCoreApplication::applicationDirPath().toStdString()));
  quorle::MainWindow window(midi->Service(), quorle::MidiDispatcher::Main(),
                            QCoreApplication::applicationDirPath());
  window.Form().Log = log.get();
  window.SetLibrary(&library);
  if (rehearsal) window.Form().SessionDevice = quorle::SimulatedAndromeda::kDeviceName;
  window.Form().FormCreate();
  window.show();
  return QApplication::exec();
}
