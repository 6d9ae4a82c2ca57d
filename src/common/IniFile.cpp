#include "common/IniFile.h"

#include <unordered_set>

#include <sys/stat.h>

#include "common/Errors.h"
#include "common/FileSystem.h"
#include "common/Files.h"

namespace tellamo {

namespace {
constexpr std::string_view Blanks = " \t";

std::string_view Trim(std::string_view s) {
    const std::size_t first = s.find_first_not_of(Blanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return s.substr(first, s.find_last_not_of(Blanks) - first + 1);
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') {
            x = static_cast<char>(x - 'A' + 'a');
        }
        if (y >= 'A' && y <= 'Z') {
            y = static_cast<char>(y - 'A' + 'a');
        }
        if (x != y) {
            return false;
        }
    }
    return true;
}

// A section and key as FindKey looks them up: letter case folded as SameName compares.
std::string FoldedName(std::string_view section, std::string_view key) {
    std::string folded;
    folded.reserve(section.size() + 1 + key.size());
    folded.append(section).push_back('\0');
    folded.append(key);
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return folded;
}

bool Quoted(std::string_view v) {
    return v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front();
}
} // namespace

IniFile::IniFile(std::string_view text) {
    std::string section;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        std::string_view raw =
            text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
        pos = end == std::string_view::npos ? text.size() : end + 1;
        if (!raw.empty() && raw.back() == '\r') {
            raw.remove_suffix(1);
        }
        Line line{std::string(raw), section, {}, false};
        const std::string_view trimmed = Trim(raw);
        if (trimmed.size() >= 2 && trimmed.front() == '[' &&
            trimmed.find(']') != std::string_view::npos) {
            section = std::string(Trim(trimmed.substr(1, trimmed.find(']') - 1)));
            line.Section = section;
            line.IsHeader = true;
        } else if (!trimmed.empty() && trimmed.front() != ';') {
            const std::size_t equals = trimmed.find('=');
            if (equals != std::string_view::npos) {
                line.Key = std::string(Trim(trimmed.substr(0, equals)));
            }
        }
        mLines.push_back(std::move(line));
    }
}

IniFile IniFile::Load(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return IniFile();
    }
    try {
        // Opened without blocking and read only so far: should the name be swapped for a FIFO
        // or a device after the check, the read still ends.
        return IniFile(ReadFilePrefix(path, MaxFileBytes).Bytes);
    } catch (const TellamoError&) {
        return IniFile();
    }
}

int IniFile::FindKey(std::string_view section, std::string_view key) const {
    if (!mKeyLinesValid) {
        mKeyLines.clear();
        for (std::size_t i = 0; i < mLines.size(); ++i) {
            if (!mLines[i].Key.empty()) {
                // The first line of a key is the one that counts.
                mKeyLines.emplace(FoldedName(mLines[i].Section, mLines[i].Key),
                                  static_cast<int>(i));
            }
        }
        mKeyLinesValid = true;
    }
    const auto it = mKeyLines.find(FoldedName(section, key));
    return it == mKeyLines.end() ? -1 : it->second;
}

std::optional<std::string> IniFile::Read(std::string_view section, std::string_view key) const {
    const int index = FindKey(section, key);
    if (index < 0) {
        return std::nullopt;
    }
    const std::string_view raw = Trim(mLines[static_cast<std::size_t>(index)].Raw);
    std::string_view value = Trim(raw.substr(raw.find('=') + 1));
    if (Quoted(value)) {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value.substr(0, MaxValueLength));
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view fallback) const {
    return Read(section, key).value_or(std::string(fallback));
}

std::vector<std::string> IniFile::Keys(std::string_view section) const {
    std::vector<std::string> keys;
    std::unordered_set<std::string> seen;
    for (const Line& line : mLines) {
        if (!line.Key.empty() && SameName(line.Section, section) &&
            seen.insert(FoldedName({}, line.Key)).second) {
            keys.push_back(line.Key);
        }
    }
    return keys;
}

int IniFile::SectionEnd(std::string_view section) const {
    int end = -1;
    for (std::size_t i = 0; i < mLines.size(); ++i) {
        if (SameName(mLines[i].Section, section) && (mLines[i].IsHeader || end >= 0)) {
            // Trailing blank lines stay after the section's last key.
            if (mLines[i].IsHeader || !Trim(mLines[i].Raw).empty()) {
                end = static_cast<int>(i) + 1;
            }
        }
    }
    return end;
}

void IniFile::Write(std::string_view section, std::string_view key, std::string_view value) {
    std::string stored(value);
    if (Quoted(value)) {
        stored.insert(stored.begin(), '"');
        stored.push_back('"');
    }
    // A line break in a value would start a new line of the file; it is kept as blanks.
    for (char& c : stored) {
        if (c == '\n' || c == '\r') {
            c = ' ';
        }
    }
    const std::string cleanKey(Trim(key));
    Line line{cleanKey + "=" + stored, std::string(section), cleanKey, false};
    const int index = FindKey(section, cleanKey);
    if (index >= 0) {
        line.Key = mLines[static_cast<std::size_t>(index)].Key;
        line.Raw = line.Key + "=" + stored;
        line.Section = mLines[static_cast<std::size_t>(index)].Section;
        mLines[static_cast<std::size_t>(index)] = std::move(line);
        return;
    }
    mKeyLinesValid = false;
    int end = SectionEnd(section);
    if (end < 0) {
        if (!mLines.empty() && !Trim(mLines.back().Raw).empty()) {
            mLines.push_back({"", mLines.back().Section, {}, false});
        }
        std::string header(1, '[');
        header.append(section).push_back(']');
        mLines.push_back({std::move(header), std::string(section), {}, true});
        end = static_cast<int>(mLines.size());
    }
    mLines.insert(mLines.begin() + end, std::move(line));
}

void IniFile::EraseSection(std::string_view section) {
    std::erase_if(mLines, [&](const Line& line) { return SameName(line.Section, section); });
    mKeyLinesValid = false;
}

std::string IniFile::Text() const {
    std::string text;
    for (const Line& line : mLines) {
        text += line.Raw;
        text += "\r\n";
    }
    return text;
}

void IniFile::Save(FileSystem& fs, const std::string& path) const {
    ReplaceFileDurably(fs, path, Text(), path + ".new");
}

} // namespace tellamo
