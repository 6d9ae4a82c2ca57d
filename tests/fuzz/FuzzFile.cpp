#include "FuzzFile.h"

#include <filesystem>

#include <fcntl.h>
#include <unistd.h>

namespace tellamo::fuzz {

namespace {
std::string Folder;

void RemoveFolder() {
    std::error_code ec;
    std::filesystem::remove_all(Folder, ec);
}
} // namespace

const std::string& FuzzFolder() {
    if (Folder.empty()) {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tellamo-fuzz-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        Folder = pattern;
        std::atexit(RemoveFolder);
    }
    return Folder;
}

std::string WriteFuzzFile(const char* name, const std::uint8_t* data, std::size_t size) {
    const std::string path = FuzzFolder() + "/" + name;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        std::abort();
    }
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n <= 0) {
            std::abort();
        }
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return path;
}

} // namespace tellamo::fuzz
