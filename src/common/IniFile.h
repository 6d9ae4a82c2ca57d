#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tellamo {

class FileSystem;

// An INI file (the settings file, translation files) with the rules of the Windows profile
// services that the program's files were made with: sections and keys match without regard to
// letter case, blanks around keys and values are dropped, a value is read up to 2,047
// characters, and a value enclosed in a pair of double or single quotes is read without them
// (so a value that begins and ends with a quote is written inside one more pair of double
// quotes). Writing a key replaces it where it stands and keeps every other line of the file as
// it was; new keys go to the end of their section, new sections to the end of the file.
class IniFile {
public:
    static constexpr std::size_t MaxValueLength = 2047;
    // What Load reads of a file at most: a settings or translation file is a few kilobytes, and
    // one named from a shared folder may be anything.
    static constexpr std::size_t MaxFileBytes = 4 * 1024 * 1024;

    IniFile() = default;
    explicit IniFile(std::string_view text);
    // The file's content; a missing or unreadable file gives an empty one, and so does anything
    // that is not a regular file (a FIFO would block, a device never end). Only the first
    // MaxFileBytes are read.
    static IniFile Load(const std::string& path);

    std::optional<std::string> Read(std::string_view section, std::string_view key) const;
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view fallback) const;
    // The keys of a section in file order (each once, as first written).
    std::vector<std::string> Keys(std::string_view section) const;

    void Write(std::string_view section, std::string_view key, std::string_view value);
    void EraseSection(std::string_view section);

    std::string Text() const;
    // Writes the file through a temporary file and a rename, so that a crash never leaves a
    // half-written file. Throws TellamoError.
    void Save(FileSystem& fs, const std::string& path) const;

private:
    struct Line {
        std::string Raw;     // the line as it stands (rewritten for keys written)
        std::string Section; // the section it belongs to ("" before the first)
        std::string Key;     // empty for section headers, comments and other lines
        bool IsHeader = false;
    };
    int FindKey(std::string_view section, std::string_view key) const;
    int SectionEnd(std::string_view section) const; // index after its last line, -1 if absent

    std::vector<Line> mLines;
    // The line of each key (section and key folded to lower case, joined by a NUL), built when
    // first needed after a change, so that finding a key does not walk the file.
    mutable std::unordered_map<std::string, int> mKeyLines;
    mutable bool mKeyLinesValid = false;
};

} // namespace tellamo
