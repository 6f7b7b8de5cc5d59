#pragma once

#include <QDateTime>
#include <QString>
#include <cstdio>
#include <string>

#include "app/FileAccess.h"
#include "library/Library.h"
#include "protocol/BankName.h"
#include "qt/QtText.h"

namespace quorle {

// Undoing a send: the filter on what sends replaced on the instrument, and the action.
inline constexpr const char* kReplacedOnlyText = "Replaced on the Andromeda";
inline constexpr const char* kReplacedOnlyTip =
    "Only dumps a send replaced on the instrument, the most recently replaced first";
inline constexpr const char* kReplacedOrderText = "the most recently replaced first";
inline constexpr const char* kPutBackText = "Put Back";
inline constexpr const char* kPutBackTip =
    "Send the chosen dumps back where a send replaced them; what is there now is kept first";

// What one fault of the instrument would take away: the filter, and the way to keep it.
inline constexpr const char* kOnlyOnInstrumentText = "Only on the Andromeda";
inline constexpr const char* kOnlyOnInstrumentTip =
    "Only dumps that no file and no backup holds: their only places are the instrument's";
inline constexpr const char* kKeepSafeText = "Keep them safe...";
inline constexpr const char* kKeepSafeTip =
    "Write every dump that exists only on the Andromeda into a folder, one file each";

// Where a dump was seen, in a line: "Bank3.syx 005", "Andromeda, Programs User 005".
inline QString PlaceText(const DumpKind& kind, const library::Place& place) {
  std::string text =
      place.source == library::kInstrumentSource
          ? std::string(library::kInstrumentSource) + ", " + BankName(kind, place.bank.value_or(0))
          : FileNameOf(place.source);
  if (place.entry) {
    char entry[8];
    std::snprintf(entry, sizeof entry, " %3.3d", *place.entry);
    text += entry;
  }
  return Text(text);
}

// "2026-12-08T16:51:18Z" as the user's clock reads it, to the minute or the second.
inline QString LocalTime(const std::string& iso, bool seconds = false) {
  const QDateTime time = QDateTime::fromString(QString::fromStdString(iso), Qt::ISODate);
  return time.isValid()
             ? time.toLocalTime().toString(seconds ? "yyyy-MM-dd HH:mm:ss" : "yyyy-MM-dd HH:mm")
             : Text(iso);
}

inline QString KindText(const DumpKind* kind) {
  return kind ? QString::fromLatin1(kind->name.data(), static_cast<qsizetype>(kind->name.size()))
              : QString();
}

}  // namespace quorle
