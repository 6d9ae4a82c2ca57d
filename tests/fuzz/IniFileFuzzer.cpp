// libFuzzer target for the INI reader (the settings file and translation files): any text reads
// without a crash or undefined behaviour, writing it back changes nothing, and a key written
// reads back as written (within the reader's length limit) without disturbing the other keys.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/IniFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tellamo;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    IniFile ini(text);
    const std::string written = ini.Text();
    if (IniFile(written).Text() != written) {
        std::abort();
    }
    // A value taken from the input itself, written under a fixed key of a section the input
    // may already hold.
    const std::string value(text.substr(0, std::min<std::size_t>(text.size(), 64)));
    const std::string before = ini.ReadString("TOptionsForm", "Other", "<none>");
    ini.Write("TOptionsForm", "FuzzKey", value);
    IniFile again(ini.Text());
    const bool plain = value.find_first_of(std::string("\r\n\0", 3)) == std::string::npos &&
                       (value.empty() || (value.front() != ' ' && value.front() != '\t' &&
                                          value.back() != ' ' && value.back() != '\t'));
    if (plain && again.Read("TOptionsForm", "FuzzKey") != value) {
        std::abort();
    }
    if (again.ReadString("TOptionsForm", "Other", "<none>") != before) {
        std::abort();
    }
    return 0;
}
