#include "cli/CliApp.h"

#include <CLI/CLI.hpp>
#include <functional>
#include <sstream>

#include "cli/OfflineCommands.h"

namespace quorle {

int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
  CLI::App app{"Quorle: a SysEx librarian for the Alesis Andromeda", "quorle-cli"};
  app.require_subcommand(1);
  std::function<void()> command;

  std::string file;
  bool json = false;
  auto* info = app.add_subcommand("info", "Tell what a .syx file holds");
  info->add_option("FILE", file, "The .syx file")->required();
  info->add_flag("--json", json, "One JSON object instead of text");
  info->callback([&] { command = [&] { InfoCommand(file, json, out); }; });

  int index = 0;
  std::string name;
  std::string output;
  auto* rename = app.add_subcommand("rename", "Write a copy of a file with one dump renamed");
  rename->add_option("FILE", file, "A Program or Mix file or bank file")->required();
  rename->add_option("INDEX", index, "The dump's position: 0 for a single dump, 0 to 127 in a bank")
      ->required();
  rename->add_option("NAME", name, "The new name, at most 16 characters")->required();
  rename->add_option("-o,--output", output, "The file to write (may be FILE itself)")->required();
  rename->callback([&] { command = [&] { RenameCommand(file, index, name, output, out); }; });

  std::string folder;
  auto* split = app.add_subcommand("split", "Write a bank file as 128 single-dump files");
  split->add_option("FILE", file, "A Program or Mix bank file")->required();
  split->add_option("DIR", folder, "The folder to write into")->required();
  split->callback([&] { command = [&] { SplitCommand(file, folder, out); }; });

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    out << app.help();
    return kExitOk;
  } catch (const CLI::CallForAllHelp&) {
    out << app.help("", CLI::AppFormatMode::All);
    return kExitOk;
  } catch (const CLI::ParseError& e) {
    err << "quorle-cli: " << e.what() << '\n' << "Run with --help for usage.\n";
    return kExitUsage;
  }

  try {
    command();
  } catch (const Refusal& e) {
    err << e.what() << '\n';
    return kExitRefused;
  }
  return kExitOk;
}

}  // namespace quorle
