// The Library window's and the bank composer's ways to the instrument: a chosen dump or a composed
// bank goes out as a file of it would, and a fetched bank comes back to the composer instead of a
// file. Each is a thin entry point onto the transfers of DumpTransfer.cpp and BankTransfer.cpp.
#include <algorithm>
#include <utility>

#include "app/TfrmMain.h"
#include "protocol/BankName.h"
#include "protocol/DumpName.h"
#include "protocol/SysexFile.h"
#include "transfers/BankCommon.h"

namespace quorle {

namespace {

std::string Trimmed(std::string name) {
  name.erase(name.find_last_not_of(' ') + 1);
  return name;
}

}  // namespace

void TfrmMain::SendDump(const DumpKind& kind, ByteView dump) {
  // The window's own buttons keep quiet without a port; a send from the Library says why not.
  if (!OutputReady()) return;
  // What the library holds was checked when it came in; a damaged dump still never goes out.
  if (dump.size() != kind.dumpSize || !CheckDumpFraming(kind, dump)) {
    host_.ShowMessage(MessageIcon::Error,
                      std::string("This is not a whole ") + std::string(kind.name) + " Dump");
    return;
  }
  std::copy(dump.begin(), dump.end(), DumpBuffer(kind).begin());
  SendDumpInHand(kind, std::string(kind.name) + " \"" + Trimmed(DumpName(kind, dump)) + "\"");
}

void TfrmMain::SendBank(const DumpKind& kind, ByteView bank, const std::string& name,
                        const BankSendCheck& mayGo) {
  if (!IsSoundBank(kind, bank)) {
    host_.ShowMessage(MessageIcon::Error, name + BankRefusal(kind));
    return;
  }
  SendBankInHand(kind, bank, " " + name, mayGo);
}

bool TfrmMain::FetchBankInto(const DumpKind& kind, BankDelivery done) {
  if (!ChooseBankToFetch(kind)) return false;
  if (!OutputReady()) return false;
  DumpMode = kDumpDeliver;
  bankDelivery_ = std::move(done);
  StartBankFetch(kind);
  return true;
}

bool TfrmMain::FetchBankInto(const DumpKind& kind, int bank, BankDelivery done) {
  if (!IsBankNumber(kind, bank) || !OutputReady()) return false;
  SelectedBank(kind) = bank;
  DumpMode = kDumpDeliver;
  bankDelivery_ = std::move(done);
  StartBankFetch(kind);
  return true;
}

void TfrmMain::SendDumpTo(const DumpKind& kind, ByteView dump, int bank, int entry) {
  if (!OutputReady()) return;
  if (dump.size() != kind.dumpSize || !CheckDumpFraming(kind, dump)) {
    host_.ShowMessage(MessageIcon::Error,
                      std::string("This is not a whole ") + std::string(kind.name) + " Dump");
    return;
  }
  // The presets take no dump: the send dialogs never offer them either.
  if (!IsBankNumber(kind, bank) || !kind.TakesDumps(bank) || entry < 0 ||
      entry >= static_cast<int>(kBankEntries)) {
    return SetStatus(" " + BankName(kind, bank) + " cannot be written: nothing was sent");
  }
  const std::span<std::uint8_t> buffer = DumpBuffer(kind);
  std::copy(dump.begin(), dump.end(), buffer.begin());
  SelectedBank(kind) = bank;
  SelectedNumber(kind) = entry;
  AddressDump(buffer, static_cast<std::uint8_t>(bank), static_cast<std::uint8_t>(entry));
  const std::string what =
      " " + std::string(kind.name) + " \"" + Trimmed(DumpName(kind, buffer)) + "\"";
  KeepThenSend({{&kind, bank, {static_cast<std::size_t>(entry)}}}, true, what.substr(1),
               [this, &kind, buffer, what] {
                 SendAddressedDump(kind, buffer, what + " sent to Andromeda",
                                   what + " not verified");
               });
}

void TfrmMain::DeliverBank(const DumpKind& kind) {
  Bytes bank;
  bank.reserve(kind.BankFileSize());
  for (const auto& slot : BankBuffer)
    bank.insert(bank.end(), slot.begin(), slot.begin() + kind.dumpSize);
  // With no file saved, the fetch may be all that holds some of these dumps.
  const int nowhereElse = dumpListener_ ? dumpListener_->NowhereElse(kind, collectBank_) : 0;
  SetStatus((IsProgram(kind) ? " Program Bank received" : " Mix Bank received") +
            (nowhereElse > 0 ? " - " + std::to_string(nowhereElse) + " of them exist nowhere else"
                             : std::string()));
  // Taken out first: the receiver may start another exchange.
  if (BankDelivery done = std::exchange(bankDelivery_, {})) done(std::move(bank));
}

}  // namespace quorle
