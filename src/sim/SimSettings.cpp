#include "sim/SimSettings.h"

#include <charconv>

#include "protocol/DumpKind.h"

namespace quorle {

namespace {

// A whole decimal number, nothing before or after it.
template <typename T>
std::optional<T> ParseNumber(std::string_view text) {
  T value{};
  if (text.empty() || text.front() == '+' || text.front() == '-') return std::nullopt;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// A percentage: a number from 0 to 100, with or without a fraction.
std::optional<double> ParsePercent(std::string_view text) {
  double value = 0;
  if (text.empty() || text.front() == '+' || text.front() == '-') return std::nullopt;
  const auto [end, ec] =
      std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
  if (ec != std::errc() || end != text.data() + text.size() || !(value <= 100)) return std::nullopt;
  return value;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

std::optional<unsigned> ParseSimRate(std::string_view text, std::string& error) {
  if (text == "wire") return SimSettings::kWireRate;
  if (text == "instant") return 0u;
  const auto rate = ParseNumber<unsigned>(text);
  if (!rate || *rate == 0) {
    error = "--sim-rate takes wire, instant or a number of bytes per second above 0, not \"" +
            std::string(text) + "\"";
    return std::nullopt;
  }
  return rate;
}

std::optional<int> ParseCardBanks(std::string_view text, std::string& error) {
  const auto count = ParseNumber<int>(text);
  if (!count || *count > SimSettings::kMaxCardBanks) {
    error = "a card holds 0 to 14 banks, not \"" + std::string(text) + "\"";
    return std::nullopt;
  }
  return count;
}

std::optional<std::string> ParseSimVersion(std::string_view text, std::string& error) {
  if (text.size() != 4 || !IsDigit(text[0]) || text[1] != '.' || !IsDigit(text[2]) ||
      !IsDigit(text[3])) {
    error = "--sim-version takes a version like 2.05, not \"" + std::string(text) + "\"";
    return std::nullopt;
  }
  return std::string(text);
}

bool ParseSimFault(std::string_view text, SimFaults& faults, std::string& error) {
  constexpr unsigned kMaxMs = 600000;
  std::vector<std::string_view> parts;
  for (std::size_t start = 0;;) {
    const auto colon = text.find(':', start);
    parts.push_back(text.substr(start, colon == std::string_view::npos ? colon : colon - start));
    if (colon == std::string_view::npos) break;
    start = colon + 1;
  }
  const std::string_view name = parts.front();
  auto dump = [&](std::size_t i) {
    const auto k = i < parts.size() ? ParseNumber<int>(parts[i]) : std::nullopt;
    return k && *k < static_cast<int>(kBankEntries) ? k : std::nullopt;
  };
  auto ms = [&](std::size_t i, unsigned minimum) {
    const auto v = i < parts.size() ? ParseNumber<unsigned>(parts[i]) : std::nullopt;
    return v && *v >= minimum && *v <= kMaxMs ? std::optional(std::chrono::milliseconds(*v))
                                              : std::nullopt;
  };

  bool ok = false;
  if (name == "ignore") {
    ok = parts.size() == 1;
    if (ok) faults.ignoreSingleRequests = true;
  } else if (name == "slow") {
    const auto delay = ms(1, 0);
    ok = parts.size() == 2 && delay;
    if (ok) faults.replyDelay = *delay;
  } else if (name == "stall") {
    const auto k = dump(1);
    const auto resume = parts.size() == 3 ? ms(2, 1) : std::optional(std::chrono::milliseconds(0));
    ok = (parts.size() == 2 || parts.size() == 3) && k && resume;
    if (ok) {
      faults.stallAfter = *k;
      faults.stallFor = *resume;
    }
  } else if (name == "busy") {
    const auto busy = ms(1, 1);
    ok = parts.size() == 2 && busy;
    if (ok) faults.busyAfterStore = *busy;
  } else if (name == "lose") {
    const auto percent = parts.size() >= 2 ? ParsePercent(parts[1]) : std::nullopt;
    const auto seed =
        parts.size() == 3 ? ParseNumber<std::uint64_t>(parts[2]) : std::optional<std::uint64_t>(1);
    ok = (parts.size() == 2 || parts.size() == 3) && percent && seed;
    if (ok) {
      faults.losePercent = *percent;
      faults.loseSeed = *seed;
    }
  } else if (name == "port-fail") {
    const auto k = parts.size() == 2 ? ParseNumber<unsigned>(parts[1]) : std::nullopt;
    ok = k && *k >= 1;
    if (ok) faults.portFailAt = *k;
  } else if (name == "input-loss") {
    const auto k = parts.size() == 2 ? ParseNumber<unsigned>(parts[1]) : std::nullopt;
    ok = k && *k >= 1;
    if (ok) faults.inputLossAt = *k;
  } else {
    const std::pair<std::string_view, SimDumpSet SimFaults::*> perDump[] = {
        {"drop", &SimFaults::dropDump},
        {"wrong-opcode", &SimFaults::wrongOpcodeDump},
        {"short", &SimFaults::wrongLengthDump},
        {"foreign", &SimFaults::foreignBeforeDump}};
    for (const auto& [fault, member] : perDump) {
      if (name != fault) continue;
      const auto k = dump(1);
      ok = parts.size() == 2 && k;
      if (!ok) break;
      (faults.*member).Add(*k);
      // A message the port hands on, so the program meets it among the dumps.
      if (member == &SimFaults::foreignBeforeDump)
        faults.foreign = SimFaults::Foreign::IdentityReply;
    }
  }
  if (!ok) {
    error =
        "--sim-fault takes drop:K, wrong-opcode:K, short:K, foreign:K, stall:K, stall:K:MS, "
        "slow:MS, ignore, busy:MS or lose:P[:SEED] (K a dump of a bank, 0 to 127; MS "
        "milliseconds up to 600000; P a percentage, 0 to 100), port-fail:N or input-loss:N (N from "
        "1), not \"" +
        std::string(text) + "\"";
  }
  return ok;
}

SimArguments ParseSimArguments(const std::vector<std::string>& args, SimSettings& settings) {
  SimArguments out;
  std::size_t i = 0;
  for (; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--" || arg.empty() || arg.front() != '-') break;
    if (arg.rfind("--sim-", 0) != 0) {
      out.rest.push_back(arg);
      continue;
    }
    std::string name = arg;
    std::string value;
    if (const auto eq = arg.find('='); eq != std::string::npos) {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
    } else if (i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0) {
      value = args[++i];
    } else {
      out.error = name + " needs a value";
      return out;
    }

    std::string error;
    if (name == "--sim-state") {
      if (value.empty()) {
        out.error = "--sim-state needs a file name";
        return out;
      }
      settings.stateFile = value;
      out.stateGiven = true;
    } else if (name == "--sim-rate") {
      const auto rate = ParseSimRate(value, error);
      if (!rate) {
        out.error = error;
        return out;
      }
      settings.rate = *rate;
    } else if (name == "--sim-gap") {
      const auto ms = ParseNumber<unsigned>(value);
      if (!ms || *ms > 60000) {
        out.error = "--sim-gap takes 0 to 60000 milliseconds, not \"" + value + "\"";
        return out;
      }
      settings.bankGap = std::chrono::milliseconds(*ms);
    } else if (name == "--sim-program-card-banks" || name == "--sim-mix-card-banks") {
      const auto count = ParseCardBanks(value, error);
      if (!count) {
        out.error = name + ": " + error;
        return out;
      }
      (name == "--sim-program-card-banks" ? settings.programCardBanks : settings.mixCardBanks) =
          *count;
    } else if (name == "--sim-version") {
      const auto version = ParseSimVersion(value, error);
      if (!version) {
        out.error = error;
        return out;
      }
      settings.version = *version;
    } else if (name == "--sim-fault") {
      if (!ParseSimFault(value, settings.faults, error)) {
        out.error = error;
        return out;
      }
    } else if (name == "--sim-seed") {
      const auto seed = ParseNumber<std::uint64_t>(value);
      if (!seed) {
        out.error = "--sim-seed takes a whole number, not \"" + value + "\"";
        return out;
      }
      settings.seed = *seed;
    } else {
      out.error = "unknown option " + name;
      return out;
    }
  }
  out.rest.insert(out.rest.end(), args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
  return out;
}

void ApplySimEnvironment(SimSettings& settings, const char* value, bool stateGiven) {
  if (!stateGiven && value != nullptr && *value != '\0') settings.stateFile = value;
}

}  // namespace quorle
