#include "library/PutBack.h"

#include <map>
#include <tuple>

#include "protocol/DumpName.h"

namespace quorle::library {

namespace {

bool ReplacedOnInstrument(const Place& p) {
  return p.how == How::Replaced && p.source == kInstrumentSource && p.bank && p.entry;
}

std::string Quoted(const std::string& name) {
  return "\"" + name + "\"";
}

}  // namespace

std::vector<Place> PutBackPlaces(const DumpDetails& details) {
  // The places come newest first; times are whole seconds, so one send's share one time.
  std::vector<Place> places;
  for (const Place& p : details.places) {
    if (!ReplacedOnInstrument(p)) continue;
    if (!places.empty() && p.seen != places.front().seen) break;
    places.push_back(p);
  }
  return places;
}

PutBackDumps PutBackDumpsOf(const Library& library, std::span<const DumpId> ids) {
  constexpr const char* kNothingSent = ": nothing was sent";
  PutBackDumps out;
  // Each place of each kind, with the name of the dump that goes back there.
  std::map<std::tuple<const DumpKind*, int, int>, std::string> taken;
  for (const DumpId id : ids) {
    const std::optional<DumpDetails> details = library.Details(id);
    std::optional<Bytes> stored = library.DumpBytes(id);
    if (!details || !stored || !details->summary.kind) {
      return {{}, "no dump " + std::to_string(id) + " in the library" + kNothingSent};
    }
    const std::string& name = details->summary.name;
    const std::vector<Place> places = PutBackPlaces(*details);
    if (places.empty()) {
      return {{}, Quoted(name) + " was never replaced on the Andromeda" + kNothingSent};
    }
    for (const Place& p : places) {
      const auto [at, fresh] = taken.try_emplace({details->summary.kind, *p.bank, *p.entry}, name);
      if (!fresh) {
        return {{},
                Quoted(at->second) + " and " + Quoted(name) +
                    " go back to the same place on the Andromeda" + kNothingSent};
      }
      Bytes dump = *stored;
      AddressDump(dump, static_cast<std::uint8_t>(*p.bank), static_cast<std::uint8_t>(*p.entry));
      out.dumps.push_back(std::move(dump));
    }
  }
  return out;
}

}  // namespace quorle::library
