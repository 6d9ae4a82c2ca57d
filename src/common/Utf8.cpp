#include "common/Utf8.h"

namespace tellamo {

namespace {
bool IsContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}
int SequenceLength(unsigned char lead) {
    if (lead >= 0xF0 && lead <= 0xF4) {
        return 4;
    }
    if (lead >= 0xE0) {
        return lead <= 0xEF ? 3 : 1;
    }
    if (lead >= 0xC2) {
        return 2;
    }
    return 1;
}
} // namespace

std::string CutUtf8(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) {
        return std::string(text);
    }
    // Walk back over at most three continuation bytes to the lead byte of the character that
    // the limit falls into; cut before it when that character does not fit entirely.
    std::size_t cut = maxBytes;
    std::size_t lead = cut;
    while (lead > 0 && cut - lead < 3 && IsContinuation(static_cast<unsigned char>(text[lead]))) {
        --lead;
    }
    if (lead < cut && !IsContinuation(static_cast<unsigned char>(text[lead])) &&
        lead + SequenceLength(static_cast<unsigned char>(text[lead])) > cut) {
        cut = lead;
    }
    return std::string(text.substr(0, cut));
}

} // namespace tellamo
