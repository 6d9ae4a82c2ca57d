#pragma once

#include <string>

#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace tellamo::test {

// Files outside the folder under test, and links to them planted at the names a save is about
// to write: a symbolic link to a file with content, a hard link to another one, and a symbolic
// link that points nowhere yet (writing through it would create its target). Untouched() tells
// whether every outside file is as it was planted.
class LinkTrap {
public:
    enum class Kind { Symbolic, Hard, Dangling };
    static constexpr Kind Kinds[] = {Kind::Symbolic, Kind::Hard, Kind::Dangling};

    LinkTrap();
    void Plant(const std::string& path, Kind kind) const;
    ::testing::AssertionResult Untouched() const;

private:
    TempDir mOutside;
};

} // namespace tellamo::test
