// The simulated Andromeda fed random requests under random faults: it never crashes and answers
// only with well-formed MIDI messages, a bank with at most one message per dump and a foreign one.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdlib>

#include "sim/SimulatedAndromeda.h"

namespace {

using namespace quorle;

bool WellFormed(const Bytes& m) {
  if (m.empty()) return false;
  if (m.front() == kSysexStart) {
    return m.size() >= 2 && m.back() == kSysexEnd &&
           std::all_of(m.begin() + 1, m.end() - 1, [](std::uint8_t b) { return b < 0x80; });
  }
  if (m.front() < 0x80 || m.front() == kSysexEnd) return false;
  const std::size_t length = m.front() >= 0xF8 ? 1 : (m.front() & 0xE0) == 0xC0 ? 2 : 3;
  return m.size() == length &&
         std::all_of(m.begin() + 1, m.end(), [](std::uint8_t b) { return b < 0x80; });
}

SimFaults RandomFaults(FuzzedDataProvider& in) {
  SimFaults f;
  auto dump = [&] { return in.ConsumeIntegralInRange(0, 127); };
  const auto which = in.ConsumeIntegral<std::uint8_t>();
  if (which & 0x01) f.dropDump.Add(dump());
  if (which & 0x02) f.wrongOpcodeDump.Add(dump());
  if (which & 0x04) f.wrongLengthDump.Add(dump());
  if (which & 0x08) f.foreignBeforeDump.Add(dump());
  if (which & 0x10) f.stallAfter = dump();
  if (which & 0x20) f.ignoreSingleRequests = true;
  f.foreign = static_cast<SimFaults::Foreign>(in.ConsumeIntegralInRange(0, 2));
  return f;
}

// A request of the message set with random parameters, or a dump to store, or any bytes.
Bytes RandomMessage(FuzzedDataProvider& in, const SimulatedAndromeda& sim) {
  switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0: {
      Bytes m(std::begin(kHeader), std::end(kHeader));
      const std::uint8_t opcodes[] = {kProgramKind.requestOpcode,
                                      kProgramKind.bankRequestOpcode,
                                      kMixKind.requestOpcode,
                                      kMixKind.bankRequestOpcode,
                                      kGlobalRequestOpcode,
                                      kProgramKind.opcode,
                                      kMixKind.opcode,
                                      0x08};
      m.push_back(in.PickValueInArray(opcodes));
      for (std::uint8_t b : in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange(0, 3))) {
        m.push_back(b & 0x7F);
      }
      m.push_back(kSysexEnd);
      return m;
    }
    case 1: {
      const DumpKind& kind = in.ConsumeBool() ? kProgramKind : kMixKind;
      Bytes m = sim.Dump(kind, 0, 0);
      m[6] = in.ConsumeIntegral<std::uint8_t>() & 0x7F;
      m[7] = in.ConsumeIntegral<std::uint8_t>() & 0x7F;
      if (in.ConsumeBool()) m.resize(in.ConsumeIntegralInRange<std::size_t>(0, m.size()));
      return m;
    }
    case 2:
      return IdentityRequest();
    default:
      return in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange(0, 64));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // One instrument for every input: filling a fresh memory takes longer than many requests.
  static SimulatedAndromeda& sim = *new SimulatedAndromeda(SimSettings{});
  FuzzedDataProvider in(data, size);
  sim.SetFaults(RandomFaults(in));
  while (in.remaining_bytes() > 0) {
    const Bytes request = RandomMessage(in, sim);
    const std::vector<ScheduledMessage> reply = sim.Receive(request);
    if (reply.size() > kBankEntries + 1) std::abort();
    for (const ScheduledMessage& m : reply) {
      if (!WellFormed(m.message)) std::abort();
    }
  }
  return 0;
}
