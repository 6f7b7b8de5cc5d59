// What a fetch that heals and a send that verifies cost over the link: a bank fetched with one
// dump lost against the same bank fetched clean, and a verified bank send against a plain send
// and a fetch. The MIDI wire rate takes minutes a run: only with QUORLE_BENCH_WIRE set; ten
// times the wire rate otherwise.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>

#include "BenchWindow.h"
#include "dialogs/TdlgSendMixBank.h"
#include "dialogs/TfrmSplitMixBank.h"
#include "protocol/SysexFile.h"
#include "sim/SimulatedAndromeda.h"

namespace quorle::bench {
namespace {

using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

// A Mix bank both ways: the bounds hold for either kind, and a Mix bank takes half the time.
void Answer(BenchWindow& w, bool verify) {
  w.Host().answerDialog = [verify](Dialog& d) {
    if (auto* fetch = dynamic_cast<TfrmSplitMixBank*>(&d)) {
      fetch->rbUserClick();
      fetch->btnOKClick();
    } else if (auto* send = dynamic_cast<TdlgSendMixBank*>(&d)) {
      send->rbUserClick();
      send->cbVerifyChecked = verify;
      send->btnOKClick();
    }
    return ModalResult::OK;
  };
}

// Seconds one operation of the window takes until it has ended with a status ending in done.
double Timed(benchmark::State& state, BenchWindow& w, void (TfrmMain::*click)(int),
             void (TfrmMain::*send)(), const std::string& done, std::chrono::seconds limit) {
  const auto start = Clock::now();
  if (click) (w.Form().*click)(0);
  if (send) (w.Form().*send)();
  const bool ended = w.WaitIdle(limit);
  const double took = Seconds(Clock::now() - start).count();
  if (!ended || w.Host().status.find(done) == std::string::npos) {
    state.SkipWithError(("did not end as expected: " + w.Host().status).c_str());
  }
  return took;
}

// Arg: the simulator's rate in bytes per second. Entry 127 is lost: the worst place, where only
// a second of silence ends the bank run before it is asked for singly.
void BM_FetchBankWithOneDumpLost(benchmark::State& state) {
  const auto rate = static_cast<unsigned>(state.range(0));
  const auto limit = std::chrono::seconds(60 + 2 * kMixKind.BankFileSize() / rate);
  BenchWindow w(rate);
  w.Host().file = (w.Folder() / "bank.syx").string();
  Answer(w, false);
  double clean = 0, lost = 0;
  for (auto _ : state) {
    w.Midi().Simulator().SetFaults({});
    clean += Timed(state, w, &TfrmMain::btnGetMixBankClick, nullptr, "saved to disk", limit);
    SimFaults drop;
    drop.dropDump = 127;
    w.Midi().Simulator().SetFaults(drop);
    lost +=
        Timed(state, w, &TfrmMain::btnGetMixBankClick, nullptr, "(1 dump fetched again)", limit);
  }
  const double runs = static_cast<double>(state.iterations());
  // The single request out and the dump back.
  const double single =
      static_cast<double>(DumpRequest(kMixKind, 0, 0).size() + kMixKind.dumpSize) / rate;
  state.counters["clean_s"] = clean / runs;
  state.counters["one_lost_s"] = lost / runs;
  state.counters["extra_s"] = (lost - clean) / runs;
  state.counters["allowed_extra_s"] = 1 + single;
}

// Arg: the simulator's rate in bytes per second; the send delay is the window's default.
void BM_VerifiedBankSend(benchmark::State& state) {
  const auto rate = static_cast<unsigned>(state.range(0));
  const auto limit = std::chrono::seconds(60 + 4 * kMixKind.BankFileSize() / rate);
  BenchWindow w(rate);
  const Bytes bank = w.Midi().Simulator().BankFile(kMixKind, 1);
  const auto file = w.Folder() / "presets.syx";
  if (!WriteFileAtomically(file, bank).ok) {
    state.SkipWithError("cannot write the bank file");
    return;
  }
  double send = 0, fetch = 0, verified = 0;
  for (auto _ : state) {
    w.Host().file = file.string();
    Answer(w, false);
    send += Timed(state, w, nullptr, &TfrmMain::btnSendMixBankClick, " sent to Andromeda", limit);
    w.Host().file = (w.Folder() / "back.syx").string();
    fetch += Timed(state, w, &TfrmMain::btnGetMixBankClick, nullptr, "saved to disk", limit);
    w.Host().file = file.string();
    Answer(w, true);
    verified += Timed(state, w, nullptr, &TfrmMain::btnSendMixBankClick,
                      " sent to Andromeda and verified", limit);
  }
  const double runs = static_cast<double>(state.iterations());
  state.counters["send_s"] = send / runs;
  state.counters["fetch_s"] = fetch / runs;
  state.counters["verified_send_s"] = verified / runs;
  state.counters["extra_s"] = (verified - send - fetch) / runs;
  state.counters["allowed_extra_s"] = 2;
}

void Register(unsigned rate) {
  using Bench = void (*)(benchmark::State&);
  for (const auto& [name, bench] :
       {std::pair<const char*, Bench>{"BM_FetchBankWithOneDumpLost", BM_FetchBankWithOneDumpLost},
        {"BM_VerifiedBankSend", BM_VerifiedBankSend}}) {
    benchmark::RegisterBenchmark(name, bench)
        ->ArgName("rate")
        ->Arg(rate)
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
  }
}

[[maybe_unused]] const bool kRegistered = [] {
  Register(std::getenv("QUORLE_BENCH_WIRE") ? SimSettings::kWireRate : 10 * SimSettings::kWireRate);
  return true;
}();

}  // namespace
}  // namespace quorle::bench
