#pragma once

#include <cstdint>
#include <string>

namespace tellamo {

// Owns a file descriptor and closes it when it goes.
class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) : mFd(fd) {}
    ~UniqueFd();
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int Get() const { return mFd; }

private:
    int mFd;
};

// The first bytes of a file (at most maxBytes) and the file's size, read in one go. Throws
// TellamoError naming the file and the system's reason when it cannot be opened or read (a
// folder cannot be read).
struct FilePrefix {
    std::string Bytes;
    std::uint64_t FileSize = 0;
};
FilePrefix ReadFilePrefix(const std::string& path, std::size_t maxBytes);

} // namespace tellamo
