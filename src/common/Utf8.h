#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tellamo {

// The longest prefix of the text that has at most maxBytes bytes and does not end inside a UTF-8
// character. Bytes that are not valid UTF-8 (text from another code page) are cut like single
// characters, so such text survives unchanged when it is short enough.
std::string CutUtf8(std::string_view text, std::size_t maxBytes);

} // namespace tellamo
