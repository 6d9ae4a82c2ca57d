#include "common/Files.h"

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/Errors.h"

namespace tellamo {

UniqueFd::~UniqueFd() {
    if (mFd >= 0) {
        ::close(mFd);
    }
}

FilePrefix ReadFilePrefix(const std::string& path, std::size_t maxBytes) {
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.Get() < 0) {
        throw TellamoError("Cannot open \"" + path + "\": " + SystemErrorText(errno));
    }
    FilePrefix prefix;
    struct stat st {};
    int error = 0;
    if (::fstat(fd.Get(), &st) != 0) {
        error = errno;
    } else if (S_ISDIR(st.st_mode)) {
        error = EISDIR;
    }
    // Room for what a file holds now and a byte more (to see that it has grown), more as it
    // turns out longer (a pipe, a file being written): filling maxBytes up front cost megabytes
    // of fresh pages at every read of a small settings file.
    constexpr std::size_t FirstRoom = 64 * 1024;
    const std::size_t now = error == 0 && S_ISREG(st.st_mode) && st.st_size >= 0
                                ? static_cast<std::size_t>(st.st_size) + 1
                                : FirstRoom;
    prefix.Bytes.resize(std::min(maxBytes, now));
    std::size_t got = 0;
    while (error == 0 && got < maxBytes) {
        if (got == prefix.Bytes.size()) {
            prefix.Bytes.resize(std::min(maxBytes, std::max(FirstRoom, got * 2)));
        }
        const ssize_t n = ::read(fd.Get(), prefix.Bytes.data() + got, prefix.Bytes.size() - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            error = errno == EAGAIN ? 0 : errno; // a pipe with nothing in it reads as empty
        }
        if (n <= 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    if (error != 0) {
        throw TellamoError("Cannot read \"" + path + "\": " + SystemErrorText(error));
    }
    prefix.Bytes.resize(got);
    prefix.FileSize = static_cast<std::uint64_t>(st.st_size);
    return prefix;
}

} // namespace tellamo
