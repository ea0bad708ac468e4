// The record that "fehler.log" receives for each run-time error of the decoding: when, which
// error, the nibble string as far as it was built and the row being filled with its cells.
#pragma once

#include "decode/decoder.h"
#include "station/bytes.h"

namespace ombrix {

// All 17 lines, each ending in CR LF; lines 1 to 6 only when no row is being filled
// (NewItem 0). Texts go in as ISO-8859-1, one byte per character; the nibble string raw.
Bytes ErrorLogRecord(const DecodeError& error);

// UTF-8 to ISO-8859-1; a character outside Latin-1 becomes "?".
Bytes ToLatin1(std::string_view utf8);

}  // namespace ombrix
