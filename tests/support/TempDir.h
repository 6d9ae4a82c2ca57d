#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tellamo::test {

// A fresh directory under $TMPDIR, removed with everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return mDir; }
    std::string File(std::string_view name) const { return mDir + "/" + std::string(name); }

private:
    std::string mDir;
};

std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, std::string_view bytes);
bool FileExists(const std::string& path);
// The names in a folder, sorted.
std::vector<std::string> FilesIn(const std::string& dir);

} // namespace tellamo::test
