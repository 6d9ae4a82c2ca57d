#pragma once

#include <stdexcept>
#include <string>

namespace tellamo {

// A file or format error whose text is meant for the user. Command handlers on the window thread
// catch it and show the text in the application's error box; nothing else interprets it.
class TellamoError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The system's words for an errno value ("No space left on device").
std::string SystemErrorText(int errorNumber);

} // namespace tellamo
