// Byte texts: telegram sets, nibble strings, frames and file lines.
#pragma once

#include <string>
#include <string_view>

namespace ombrix {

// One byte per character, 0 to 255, NUL included. Never reinterpreted as text of a locale.
using Bytes = std::string;
using BytesView = std::string_view;

inline unsigned Code(char c) {
    return static_cast<unsigned char>(c);
}

// Mid$ of the classic runtime: 1-based start, shorter result at the end of the text.
inline BytesView Mid(BytesView s, std::size_t start, std::size_t length) {
    if (start < 1 || start > s.size()) return {};
    return s.substr(start - 1, length);
}

}  // namespace ombrix
