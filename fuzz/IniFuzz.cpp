// The settings file: any text is read, written and read again to the same values, and values
// the program sets read back as set without disturbing any other key.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/IniFile.h"

using quorle::IniFile;

namespace {

const char* const kSections[] = {"MIDI", "PROGRAM", "midi", "Other"};
const char* const kKeys[] = {
    "InputDeviceID", "OutputDeviceID",     "BufferCount",    "BufferSize", "SendDelay",
    "ReplyTimeout",  "ProgramPath",        "BankPath",       "MixPath",    "MixBankPath",
    "GlobalPath",    "ProgramBanksOnCard", "MixBanksOnCard", "ActivePage", "programpath"};

// What a key set to value reads back as: the value without blanks at either end, and nothing
// for a value that would break its line, so that it cannot spill into lines of its own.
std::string Stored(const std::string& value) {
  if (value.find_first_of("\r\n") != std::string::npos) return {};
  const auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  auto begin = std::find_if_not(value.begin(), value.end(), blank);
  auto end = std::find_if_not(value.rbegin(), value.rend(), blank).base();
  return begin < end ? std::string(begin, end) : std::string();
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

using Values = std::map<std::pair<std::string, std::string>, std::optional<std::string>>;

Values Read(const IniFile& ini) {
  Values values;
  for (const char* section : kSections) {
    for (const char* key : kKeys) {
      values[{Lower(section), Lower(key)}] = ini.Get(section, key);
    }
  }
  return values;
}

void Check(const Values& got, const Values& expected) {
  for (const auto& [key, value] : expected) {
    if (got.at(key) == value) continue;
    std::fprintf(stderr, "[%s] %s: \"%s\" instead of \"%s\"\n", key.first.c_str(),
                 key.second.c_str(), got.at(key).value_or("(none)").c_str(),
                 value.value_or("(none)").c_str());
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  IniFile ini = IniFile::Parse(in.ConsumeRandomLengthString(4096));
  Values expected = Read(ini);
  Check(Read(IniFile::Parse(ini.Text())), expected);
  for (const auto& [key, value] : expected) {
    if (value) (void)IniFile::ParseInt(*value);
  }

  while (in.remaining_bytes() > 0) {
    const char* section = in.PickValueInArray(kSections);
    const char* key = in.PickValueInArray(kKeys);
    const std::string value = in.ConsumeRandomLengthString(64);
    ini.Set(section, key, value);
    expected[{Lower(section), Lower(key)}] = Stored(value);
  }
  // Written and read back, each key holds what was set last, and the rest what was read.
  Check(Read(IniFile::Parse(ini.Text())), expected);
  return 0;
}
