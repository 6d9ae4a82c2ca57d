#include "support/LinkTrap.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <unistd.h>

namespace tellamo::test {

namespace {
const char* const Precious = "precious, not to be overwritten";
}

LinkTrap::LinkTrap() {
    WriteFileBytes(mOutside.File("symbolic-target"), Precious);
    WriteFileBytes(mOutside.File("hard-target"), Precious);
}

void LinkTrap::Plant(const std::string& path, Kind kind) const {
    ::unlink(path.c_str());
    int result = 0;
    switch (kind) {
    case Kind::Symbolic:
        result = ::symlink(mOutside.File("symbolic-target").c_str(), path.c_str());
        break;
    case Kind::Hard:
        result = ::link(mOutside.File("hard-target").c_str(), path.c_str());
        break;
    case Kind::Dangling:
        result = ::symlink(mOutside.File("dangling-target").c_str(), path.c_str());
        break;
    }
    if (result != 0) {
        throw std::runtime_error("cannot plant a link at " + path + ": " + std::strerror(errno));
    }
}

::testing::AssertionResult LinkTrap::Untouched() const {
    for (const char* name : {"symbolic-target", "hard-target"}) {
        const std::string content = ReadFileBytes(mOutside.File(name));
        if (content != Precious) {
            return ::testing::AssertionFailure()
                   << name << " was overwritten with \"" << content.substr(0, 40) << "\"";
        }
    }
    if (FileExists(mOutside.File("dangling-target"))) {
        return ::testing::AssertionFailure() << "a file was created through the dangling link";
    }
    return ::testing::AssertionSuccess();
}

} // namespace tellamo::test
