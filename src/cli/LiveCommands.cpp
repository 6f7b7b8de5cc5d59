#include "cli/LiveCommands.h"

#include <CLI/CLI.hpp>
#include <filesystem>
#include <memory>

#include "cli/BackupCommands.h"
#include "cli/NamesFile.h"
#include "cli/OfflineCommands.h"
#include "dialogs/TdlgSendBank.h"
#include "dialogs/TdlgSendMix.h"
#include "dialogs/TdlgSendMixBank.h"
#include "dialogs/TdlgSendProgram.h"
#include "dialogs/TfrmList.h"
#include "dialogs/TfrmPickDir.h"
#include "dialogs/TfrmSelBank.h"
#include "dialogs/TfrmSelMix.h"
#include "dialogs/TfrmSelProgram.h"
#include "dialogs/TfrmSetName.h"
#include "dialogs/TfrmSplitBank.h"
#include "dialogs/TfrmSplitMixBank.h"
#include "midi/MidiDispatcher.h"
#include "protocol/DumpName.h"
#include "sim/SimulatedAndromeda.h"

namespace quorle {

namespace {

struct Target {
  int bank = 0;
  int number = 0;
  std::string name;
  std::string file;
  bool wholeBank = false;
  // Bank rename and split.
  std::string namesFile;
  std::shared_ptr<NamesFile> names;
  bool fromFile = false;
  int sendTo = -1;  // -1: to saveFile
  std::string saveFile;
  std::string folder;
  std::string refusal;  // why an answer was refused, when the answer knows better than the runner
  bool verify = false;  // sends read back what they sent
  bool noKeepCopy = false;  // bank sends keep no copy of what they replace
};

// Makes the choice in a bank dialog as a user would, so the command line can choose only what
// the window offers; false when the dialog does not offer it. The card list is the one exception:
// the window lists the banks it has seen on the card, the command line takes any the scheme has
// and lets the instrument answer.
bool Choose(BankChooser& dialog, const DumpKind& kind, int bank, int number) {
  if (bank == 0 || bank < kind.firstCardBank) {
    dialog.RadioClick(bank);
  } else {
    dialog.CardList = BankChooser::CardItems(BankChooser::kCardBanks, BankChooser::kCardBanks);
    dialog.RadioClick(dialog.CardButton());
    dialog.CardChange(bank - kind.firstCardBank);
  }
  dialog.EntryChange(number);
  return dialog.Bank == bank && dialog.Number == number;
}

// Answers every dialog an operation shows from the command's options.
ModalResult Answer(Dialog& dialog, Target& t) {
  if (auto* chooser = dynamic_cast<BankChooser*>(&dialog); chooser && chooser->HasKeepCopy()) {
    chooser->cbKeepCopyChecked = !t.noKeepCopy;
  }
  if (auto* d = dynamic_cast<TfrmSelProgram*>(&dialog)) {
    if (!Choose(*d, kProgramKind, t.bank, t.number)) return ModalResult::Cancel;
    d->btnOKClick();
  } else if (auto* d = dynamic_cast<TdlgSendProgram*>(&dialog)) {
    if (!Choose(*d, kProgramKind, t.bank, t.number)) return ModalResult::Cancel;
    d->btnOKClick();
  } else if (auto* d = dynamic_cast<TfrmSelMix*>(&dialog)) {
    if (!Choose(*d, kMixKind, t.bank, t.number)) return ModalResult::Cancel;
    d->BitBtn1Click();
  } else if (auto* d = dynamic_cast<TdlgSendMix*>(&dialog)) {
    if (!Choose(*d, kMixKind, t.bank, t.number)) return ModalResult::Cancel;
  } else if (auto* d = dynamic_cast<TfrmSplitBank*>(&dialog)) {
    if (!Choose(*d, kProgramKind, t.bank, 0)) return ModalResult::Cancel;
    d->btnOKClick();
  } else if (auto* d = dynamic_cast<TfrmSplitMixBank*>(&dialog)) {
    if (!Choose(*d, kMixKind, t.bank, 0)) return ModalResult::Cancel;
    d->btnOKClick();
  } else if (auto* d = dynamic_cast<TdlgSendBank*>(&dialog)) {
    if (!Choose(*d, kProgramKind, t.bank, 0)) return ModalResult::Cancel;
    d->BitBtn1Click();
  } else if (auto* d = dynamic_cast<TdlgSendMixBank*>(&dialog)) {
    if (!Choose(*d, kMixKind, t.bank, 0)) return ModalResult::Cancel;
    d->btnOKClick();
  } else if (auto* d = dynamic_cast<TfrmSetName*>(&dialog)) {
    d->SetName(t.name);
  } else if (auto* d = dynamic_cast<TfrmSelBank*>(&dialog)) {
    const bool source = d->Asked() == TfrmSelBank::Question::Source;
    if (source ? t.fromFile : t.sendTo < 0) {
      d->btnLoadClick();
      return ModalResult::OK;
    }
    const int bank = source ? t.bank : t.sendTo;
    if (!Choose(*d, d->Presets() == 1 ? kMixKind : kProgramKind, bank, 0)) {
      t.refusal = "bank " + std::to_string(bank) + " cannot be chosen there";
      return ModalResult::Cancel;
    }
    d->btnOKClick();
  } else if (auto* d = dynamic_cast<TfrmList*>(&dialog)) {
    try {
      for (int i = 0; i < static_cast<int>(kBankEntries); ++i) {
        const int column = i / TfrmList::kRows, row = i % TfrmList::kRows;
        const std::string old = d->Cell(column, row).substr(4);
        const std::string name = t.names->NameFor(i, old);
        if (name != old) d->Rename(column, row, name);
      }
    } catch (const Refusal& e) {
      t.refusal = e.what();
      return ModalResult::Cancel;
    }
    d->btnOKClick();
  } else if (auto* d = dynamic_cast<TfrmPickDir*>(&dialog)) {
    const auto folder = std::filesystem::absolute(t.folder);
    d->lbSplitDirDblClick(folder);
    if (d->CurrentFolder() != std::filesystem::weakly_canonical(folder)) {
      t.refusal = t.folder + ": is not a folder";
      return ModalResult::Cancel;
    }
    d->btnOKClick();
  } else {
    return ModalResult::Cancel;
  }
  return ModalResult::OK;
}

class Runner {
 public:
  Runner(const std::function<LiveSession&()>& run, const Target& target)
      : session_(run()),
        form_(session_.Form()),
        host_(session_.Host()),
        target_(target),
        choices_(form_, target.verify, !target.noKeepCopy) {
    host_.answerDialog = [this](Dialog& d) {
      const ModalResult r = Answer(d, target_);
      if (r != ModalResult::OK) refused_ = true;
      return r;
    };
    host_.answerFile = [this](const FileChoice& choice) -> std::optional<std::string> {
      const bool save = choice.mode == FileChoice::Mode::Save && !target_.saveFile.empty();
      return std::filesystem::absolute(save ? target_.saveFile : target_.file).string();
    };
    RequireOutput(form_);
  }
  Runner(const Runner&) = delete;
  Runner& operator=(const Runner&) = delete;

  // Runs one window operation and waits until its exchange is over and all it sent has left.
  void Do(const std::function<void(TfrmMain&)>& operation) {
    form_.Guarded([&] { operation(form_); });
    session_.WaitFor(
        [&] { return form_.ControlsEnabled() && form_.MidiOut.MessagesInFlight() == 0; });
    // The simulated instrument keeps what it was sent in its state file; let it finish writing.
    session_.Midi().Simulator().FlushState(std::chrono::seconds(10));
    if (refused_ && !target_.refusal.empty()) throw Refusal(target_.refusal);
    if (refused_) {
      throw Refusal("bank " + std::to_string(target_.bank) +
                    (target_.wholeBank ? "" : " entry " + std::to_string(target_.number)) +
                    " cannot be chosen there");
    }
    // The error box has been printed already.
    if (host_.ErrorCount() > 0) throw Refusal("");
  }
  // What the operation reported on the status bar must begin with expected.
  void Expect(const std::string& expected, const std::string& otherwise) {
    quorle::Expect(form_.StatusText(), expected, otherwise);
  }
  // Scripts give no answer: the command itself was the yes.
  void AnswerYes() {
    host_.answerConfirm = [](const std::string&) { return true; };
  }

 private:
  LiveSession& session_;
  TfrmMain& form_;
  CliHost& host_;
  Target target_;
  CommandChoices choices_;
  bool refused_ = false;
};

void AddBankAndNumber(CLI::App* command, Target& t, int maxBank) {
  command->add_option("--bank", t.bank, "Bank number as the instrument counts them")
      ->required()
      ->check(CLI::Range(0, maxBank));
  command->add_option("--number", t.number, "Entry number 0 to 127")
      ->required()
      ->check(CLI::Range(0, 127));
}

void AddVerify(CLI::App* command, Target& t) {
  command->add_flag("--verify", t.verify,
                    "Read back what was sent, send again what did not take (up to three "
                    "rounds, each slower), and fail if some still did not");
}

void AddNoKeepCopy(CLI::App* command, Target& t) {
  command->add_flag("--no-keep-copy", t.noKeepCopy,
                    "Do not keep a copy of the bank this replaces in the Library first");
}

}  // namespace

void AddLiveCommands(CLI::App& app, std::function<void()>& command,
                     const std::function<LiveSession&()>& run) {
  auto target = std::make_shared<Target>();
  Target& t = *target;
  const std::string notADump = "the instrument's reply was not a ";

  struct Kind {
    const char* word;
    const DumpKind* kind;
    void (TfrmMain::*get)();
    void (TfrmMain::*send)();
    void (TfrmMain::*rename)();
    void (TfrmMain::*getBank)(int tag);
    void (TfrmMain::*sendBank)();
    void (TfrmMain::*renameBank)();
  };
  for (const Kind& k :
       {Kind{"program", &kProgramKind, &TfrmMain::btnGetProgramClick,
             &TfrmMain::btnSendProgramClick, &TfrmMain::btnRenameProgramClick,
             &TfrmMain::btnGetBankClick, &TfrmMain::btnSendBankClick,
             &TfrmMain::btnRenameProgBankClick},
        Kind{"mix", &kMixKind, &TfrmMain::btnGetMixClick, &TfrmMain::btnSendMixClick,
             &TfrmMain::btnRenameMixClick, &TfrmMain::btnGetMixBankClick,
             &TfrmMain::btnSendMixBankClick, &TfrmMain::btnRenameMixBankClick}}) {
    const std::string word = k.word;
    const std::string Name(k.kind->name);
    const int lastBank = k.kind->LastBank();

    auto* get = app.add_subcommand("get-" + word, "Fetch one " + Name + " into a file");
    AddBankAndNumber(get, t, lastBank);
    get->add_option("-o,--output", t.file, "The file to write")->required();
    get->callback([&command, &run, target, k, Name, notADump] {
      command = [&run, target, k, Name, notADump] {
        Runner r(run, *target);
        r.Do(k.get);
        r.Expect(" " + std::filesystem::path(target->file).filename().string() + " saved to disk",
                 notADump + Name + " dump");
      };
    });

    auto* send = app.add_subcommand("send-" + word, "Send a " + Name + " file to the instrument");
    send->add_option("FILE", t.file, "The " + Name + " file")->required();
    AddBankAndNumber(send, t, lastBank);
    AddVerify(send, t);
    send->callback([&command, &run, target, k] {
      command = [&run, target, k] {
        Runner r(run, *target);
        r.Do(k.send);
        r.Expect(
            " " + std::filesystem::path(target->file).filename().string() + " sent to Andromeda",
            "nothing was sent");
      };
    });

    auto* getBank =
        app.add_subcommand("get-" + word + "-bank", "Fetch a whole " + Name + " bank into a file");
    getBank->add_option("--bank", t.bank, "Bank number as the instrument counts them")
        ->required()
        ->check(CLI::Range(0, lastBank));
    getBank->add_option("-o,--output", t.file, "The file to write")->required();
    getBank->callback([&command, &run, target, k, Name] {
      command = [&run, target, k, Name] {
        target->wholeBank = true;
        Runner r(run, *target);
        r.Do([&](TfrmMain& f) { (f.*k.getBank)(0); });
        r.Expect(std::string(k.kind == &kProgramKind ? "Bank \"" : "Mix Bank \"") +
                     std::filesystem::path(target->file).filename().string() + "\" saved to disk",
                 "the " + Name + " bank did not arrive whole");
      };
    });

    auto* sendBank = app.add_subcommand("send-" + word + "-bank",
                                        "Send a " + Name + " bank file to the instrument");
    sendBank->add_option("FILE", t.file, "The " + Name + " bank file")->required();
    sendBank->add_option("--bank", t.bank, "0 for the User bank or a card bank")
        ->required()
        ->check(CLI::Range(0, lastBank));
    AddVerify(sendBank, t);
    AddNoKeepCopy(sendBank, t);
    sendBank->callback([&command, &run, target, k] {
      command = [&run, target, k] {
        target->wholeBank = true;
        Runner r(run, *target);
        r.Do(k.sendBank);
        r.Expect(
            " " + std::filesystem::path(target->file).filename().string() + " sent to Andromeda",
            "nothing was sent");
      };
    });

    auto* renameBank =
        app.add_subcommand("rename-" + word + "-bank", "Rename the entries of a " + Name +
                                                           " bank, to a file or the instrument");
    auto* source = renameBank->add_option_group("source", "The bank to rename");
    source->add_option("--bank", t.bank, "A bank of the instrument: 0 User, or a card bank")
        ->check(CLI::Range(0, lastBank));
    auto* fromFile = source->add_option("--file", t.file, "A " + Name + " bank file");
    source->require_option(1);
    renameBank
        ->add_option("--names", t.namesFile,
                     "128 lines, the new name of each entry as info --names prints it "
                     "(-: standard input)")
        ->required();
    auto* goesTo = renameBank->add_option_group("target", "Where the renamed bank goes");
    goesTo->add_option("-o,--output", t.saveFile, "The bank file to write");
    goesTo->add_option("--send-to", t.sendTo, "0 for the User bank or a card bank")
        ->check(CLI::Range(0, lastBank));
    goesTo->require_option(1);
    AddVerify(renameBank, t);
    AddNoKeepCopy(renameBank, t);
    renameBank->callback([&command, &run, target, k, fromFile] {
      target->fromFile = fromFile->count() > 0;
      command = [&run, target, k] {
        target->wholeBank = true;
        // Everything is checked before the instrument is asked anything: the bank is sent only
        // to the User bank or a card bank, and while the old names are not known yet, every line
        // must be a name one can type.
        if (target->sendTo > 0 && target->sendTo < k.kind->firstCardBank) {
          throw Refusal("bank " + std::to_string(target->sendTo) + " cannot be chosen there");
        }
        target->names = std::make_shared<NamesFile>(target->namesFile, !target->fromFile);
        Runner r(run, *target);
        r.Do(k.renameBank);
        if (target->sendTo >= 0) {
          r.Expect(k.kind == &kProgramKind ? " Renamed bank sent to Andromeda"
                                           : " Renamed mix bank sent to Andromeda",
                   "nothing was sent");
        } else {
          r.Expect(" File '" + std::filesystem::path(target->saveFile).filename().string() +
                       "' saved to disk",
                   "nothing was written");
        }
      };
    });

    auto* splitBank = app.add_subcommand("split-" + word + "-bank",
                                         "Fetch a whole " + Name + " bank into 128 single files");
    splitBank->add_option("--bank", t.bank, "Bank number as the instrument counts them")
        ->required()
        ->check(CLI::Range(0, lastBank));
    splitBank->add_option("DIR", t.folder, "The folder to write into")->required();
    splitBank->callback([&command, &run, target, k, Name] {
      command = [&run, target, k, Name] {
        target->wholeBank = true;
        std::error_code ec;
        std::filesystem::create_directories(target->folder, ec);
        if (ec) throw Refusal(target->folder + ": cannot be created: " + ec.message());
        Runner r(run, *target);
        r.Do([&](TfrmMain& f) { (f.*k.getBank)(1); });
        r.Expect(" ", "the " + Name + " bank did not arrive whole");
      };
    });

    auto* rename =
        app.add_subcommand("rename-" + word, "Rename one " + Name + " on the instrument");
    AddBankAndNumber(rename, t, lastBank);
    rename->add_option("--name", t.name, "The new name, at most 16 characters")->required();
    rename->callback([&command, &run, target, k, Name, notADump] {
      command = [&run, target, k, Name, notADump] {
        if (!IsValidNameText(target->name)) {
          throw Refusal("\"" + target->name +
                        "\": a name has at most 16 printable ASCII characters");
        }
        Runner r(run, *target);
        r.Do(k.rename);
        r.Expect(Name + " \"", notADump + Name + " dump");
      };
    });
  }

  auto* init = app.add_subcommand("init-mix", "Send the default Mix to the instrument");
  AddBankAndNumber(init, t, kMixKind.LastBank());
  init->callback([&command, &run, target] {
    command = [&run, target] {
      Runner r(run, *target);
      r.Do(&TfrmMain::btnInitMixClick);
      r.Expect("Default Mix sent", "nothing was sent");
    };
  });

  auto* getGlobal = app.add_subcommand("get-global", "Fetch the Global Data into a file");
  getGlobal->add_option("-o,--output", t.file, "The file to write")->required();
  getGlobal->callback([&command, &run, target] {
    command = [&run, target] {
      Runner r(run, *target);
      r.Do(&TfrmMain::btnGetGlobalClick);
      r.Expect(" " + std::filesystem::path(target->file).filename().string() + " saved to disk",
               "the Global Data did not arrive whole");
    };
  });

  auto* sendGlobal =
      app.add_subcommand("send-global",
                         "Send a Global Data file to the instrument, after keeping the settings it "
                         "replaces in the data folder's \"Global Data copies\"");
  sendGlobal->add_option("FILE", t.file, "The Global Data file")->required();
  sendGlobal->callback([&command, &run, target] {
    command = [&run, target] {
      Runner r(run, *target);
      r.AnswerYes();
      r.Do(&TfrmMain::btnSendGlobalClick);
      r.Expect(" ", "nothing was sent");
    };
  });
}

}  // namespace quorle
