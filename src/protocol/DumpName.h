#pragma once

#include <span>
#include <string>
#include <string_view>

#include "protocol/MessageSet.h"

namespace quorle {

// The 16 name bytes at offsets 2 to 17 of unpacked data, trailing blanks included.
std::string ReadName(std::span<const std::uint8_t> unpacked);
// Writes text into the name field, cut or padded with blanks to 16 characters.
void WriteName(std::span<std::uint8_t> unpacked, std::string_view text);
// Text padded on the right with blanks to 16 characters (longer text is cut).
std::string PadName(std::string_view text);

// Whether text may be typed as a name: at most 16 printable ASCII characters.
bool IsValidNameText(std::string_view text);

// The name of a whole raw dump of the given kind (its payload unpacked).
std::string DumpName(const DumpKind& kind, ByteView dump);

// Rebuilds a raw dump with a new name: unpack, write the name, pack back. Every byte outside the
// packed payload stays as it was. The dump must have the kind's size.
Bytes RenameDump(const DumpKind& kind, ByteView dump, std::string_view name);

// Name bytes are the instrument's single-byte characters; text for terminals and JSON is UTF-8.
std::string Latin1ToUtf8(std::string_view text);
// A name as UTF-8 text for a terminal: control characters shown as "?", every blank kept.
std::string PrintableName(std::string_view name);
// The same as one line of text, trailing blanks trimmed.
std::string NameLine(std::string_view name);

// Sets the bank (byte 6) and entry (byte 7) a dump is addressed to.
void AddressDump(std::span<std::uint8_t> dump, std::uint8_t bank, std::uint8_t number);

}  // namespace quorle
