#include "transcript/WebVtt.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <vector>

#include "common/Errors.h"

namespace tellamo {

namespace {

constexpr std::string_view SourceNote = "NOTE tellamo-source ";

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

// The lines of the text, with CR LF, CR and LF all taken as line ends.
std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t begin = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' || text[i] == '\r') {
            lines.push_back(text.substr(begin, i - begin));
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
            begin = i + 1;
        }
    }
    if (begin < text.size()) {
        lines.push_back(text.substr(begin));
    }
    return lines;
}

// Reads `count` digits (count 0: one or more, at most 9) at pos; nullopt when there are none.
std::optional<std::int64_t> Digits(std::string_view s, std::size_t& pos, std::size_t count) {
    const std::size_t begin = pos;
    const std::size_t most = count == 0 ? 9 : count;
    std::int64_t value = 0;
    while (pos < s.size() && pos - begin < most && s[pos] >= '0' && s[pos] <= '9') {
        value = value * 10 + (s[pos] - '0');
        ++pos;
    }
    if (pos == begin || (count != 0 && pos - begin != count) ||
        (count == 0 && pos < s.size() && s[pos] >= '0' && s[pos] <= '9')) {
        return std::nullopt;
    }
    return value;
}

// A WebVTT timestamp at pos: [hours:]mm:ss.ttt, hours of any length when present.
std::optional<std::int64_t> ParseTimestamp(std::string_view s, std::size_t& pos) {
    const std::size_t firstBegin = pos;
    const auto first = Digits(s, pos, 0);
    if (!first || pos >= s.size() || s[pos] != ':') {
        return std::nullopt;
    }
    const bool firstIsTwoDigits = pos - firstBegin == 2;
    ++pos;
    const auto second = Digits(s, pos, 2);
    if (!second) {
        return std::nullopt;
    }
    std::int64_t hours = 0;
    std::int64_t minutes = *first;
    std::int64_t seconds = *second;
    if (pos < s.size() && s[pos] == ':') {
        ++pos;
        const auto third = Digits(s, pos, 2);
        if (!third) {
            return std::nullopt;
        }
        hours = *first;
        minutes = *second;
        seconds = *third;
    } else if (!firstIsTwoDigits) {
        return std::nullopt; // minutes are two digits when the hours are left out
    }
    if (pos >= s.size() || s[pos] != '.') {
        return std::nullopt;
    }
    ++pos;
    const auto thousandths = Digits(s, pos, 3);
    if (!thousandths || minutes > 59 || seconds > 59) {
        return std::nullopt;
    }
    return ((hours * 60 + minutes) * 60 + seconds) * 1000 + *thousandths;
}

void SkipBlanks(std::string_view s, std::size_t& pos) {
    while (pos < s.size() && (s[pos] == ' ' || s[pos] == '\t')) {
        ++pos;
    }
}

struct Timing {
    std::int64_t Start = 0;
    std::int64_t End = 0;
};

std::optional<Timing> ParseTiming(std::string_view line) {
    std::size_t pos = 0;
    SkipBlanks(line, pos);
    const auto start = ParseTimestamp(line, pos);
    if (!start) {
        return std::nullopt;
    }
    SkipBlanks(line, pos);
    if (line.substr(pos, 3) != "-->") {
        return std::nullopt;
    }
    pos += 3;
    SkipBlanks(line, pos);
    const auto end = ParseTimestamp(line, pos);
    if (!end || (pos < line.size() && line[pos] != ' ' && line[pos] != '\t')) {
        return std::nullopt;
    }
    return Timing{*start, std::max(*start, *end)};
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// The words of a cue's text with their starts, clamped into the cue so that a hostile
// timestamp can neither leave it nor run backwards.
Cue ParsePayload(std::string_view text, const Timing& timing) {
    Cue cue;
    cue.StartMs = timing.Start;
    cue.EndMs = timing.End;
    std::int64_t now = timing.Start;
    std::string word;
    std::int64_t wordStart = now;
    const auto endWord = [&] {
        if (!word.empty()) {
            cue.Words.push_back({std::move(word), wordStart, timing.End});
            word.clear();
        }
    };
    std::size_t pos = 0;
    while (pos < text.size()) {
        const char c = text[pos];
        if (c == '<') {
            const std::size_t close = text.find('>', pos + 1);
            const std::string_view tag =
                text.substr(pos + 1, close == std::string_view::npos ? text.npos : close - pos - 1);
            pos = close == std::string_view::npos ? text.size() : close + 1;
            std::size_t at = 0;
            if (const auto stamp = ParseTimestamp(tag, at); stamp && at == tag.size()) {
                endWord();
                now = std::clamp(*stamp, now, timing.End);
            }
            continue;
        }
        if (IsBlank(c)) {
            endWord();
            ++pos;
            continue;
        }
        if (word.empty()) {
            wordStart = now;
        }
        if (c == '&') {
            static constexpr std::pair<std::string_view, char32_t> References[] = {
                {"&amp;", U'&'},     {"&lt;", U'<'},       {"&gt;", U'>'},
                {"&nbsp;", U'\xA0'}, {"&lrm;", U'\x200E'}, {"&rlm;", U'\x200F'}};
            bool known = false;
            for (const auto& [name, character] : References) {
                if (text.substr(pos, name.size()) == name) {
                    AppendUtf8(word, character);
                    pos += name.size();
                    known = true;
                    break;
                }
            }
            if (!known) {
                word.push_back('&');
                ++pos;
            }
            continue;
        }
        word.push_back(c);
        ++pos;
    }
    endWord();
    for (std::size_t i = 0; i + 1 < cue.Words.size(); ++i) {
        cue.Words[i].EndMs = cue.Words[i + 1].StartMs;
    }
    return cue;
}

std::optional<SourceStamp> ParseSourceNote(std::string_view line) {
    if (line.substr(0, SourceNote.size()) != SourceNote) {
        return std::nullopt;
    }
    line.remove_prefix(SourceNote.size());
    SourceStamp stamp;
    bool haveBytes = false;
    bool haveTime = false;
    while (!line.empty()) {
        const std::size_t space = line.find(' ');
        const std::string_view field = line.substr(0, space);
        line = space == line.npos ? std::string_view() : line.substr(space + 1);
        const std::size_t equals = field.find('=');
        if (equals == field.npos) {
            continue;
        }
        const std::string_view key = field.substr(0, equals);
        const std::string_view value = field.substr(equals + 1);
        const auto parse = [&](auto& into) {
            const auto result = std::from_chars(value.data(), value.data() + value.size(), into);
            return result.ec == std::errc() && result.ptr == value.data() + value.size();
        };
        if (key == "bytes") {
            haveBytes = parse(stamp.Bytes);
        } else if (key == "modified-ns") {
            haveTime = parse(stamp.ModifiedNs);
        }
    }
    if (!haveBytes || !haveTime) {
        return std::nullopt;
    }
    return stamp;
}

void AppendEscaped(std::string& out, std::string_view word) {
    for (const char c : word) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        default:
            // A blank inside a word would split it in two on reading.
            if (IsBlank(c)) {
                out += "&nbsp;";
            } else {
                out.push_back(c);
            }
        }
    }
}

} // namespace

std::vector<TimedWord> Transcript::Words() const {
    std::vector<TimedWord> words;
    for (const Cue& cue : Cues) {
        words.insert(words.end(), cue.Words.begin(), cue.Words.end());
    }
    return words;
}

std::string Transcript::Text() const {
    std::string text;
    for (const Cue& cue : Cues) {
        for (const TimedWord& word : cue.Words) {
            if (!text.empty()) {
                text.push_back(' ');
            }
            text += word.Text;
        }
    }
    return text;
}

std::string WebVttTimestamp(std::int64_t ms) {
    ms = std::max<std::int64_t>(ms, 0);
    const std::int64_t hours = ms / 3'600'000;
    const int minutes = static_cast<int>(ms / 60'000 % 60);
    const int seconds = static_cast<int>(ms / 1000 % 60);
    const int thousandths = static_cast<int>(ms % 1000);
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%02lld:%02d:%02d.%03d", static_cast<long long>(hours),
                  minutes, seconds, thousandths);
    return buffer;
}

std::string FormatWebVtt(const Transcript& transcript) {
    std::string out = "WEBVTT\n\n";
    if (transcript.HasSource) {
        out += std::string(SourceNote) + "bytes=" + std::to_string(transcript.Source.Bytes) +
               " modified-ns=" + std::to_string(transcript.Source.ModifiedNs) + "\n\n";
    }
    for (const Cue& cue : transcript.Cues) {
        if (cue.Words.empty()) {
            continue;
        }
        const std::int64_t start = cue.StartMs;
        const std::int64_t end = std::max(cue.EndMs, start);
        out += WebVttTimestamp(start) + " --> " + WebVttTimestamp(end) + "\n";
        std::int64_t previous = start;
        for (std::size_t i = 0; i < cue.Words.size(); ++i) {
            const TimedWord& word = cue.Words[i];
            if (i > 0) {
                out.push_back(' ');
                // Timestamps inside a cue must rise and stay within it.
                previous = std::clamp(word.StartMs, previous, end);
                out += "<" + WebVttTimestamp(previous) + ">";
            }
            AppendEscaped(out, word.Text);
        }
        out += "\n\n";
    }
    return out;
}

std::optional<SourceStamp> ParseWebVttSource(std::string_view firstBytes) {
    if (firstBytes.substr(0, 3) == "\xEF\xBB\xBF") {
        firstBytes.remove_prefix(3);
    }
    const std::vector<std::string_view> lines = SplitLines(firstBytes.substr(0, WebVttSourceBytes));
    // The last line may be cut off by the prefix; only whole lines count.
    const std::size_t whole =
        firstBytes.size() > WebVttSourceBytes ? lines.size() - 1 : lines.size();
    if (whole < 3 || lines[0] != "WEBVTT" || !lines[1].empty()) {
        return std::nullopt;
    }
    return ParseSourceNote(lines[2]);
}

Transcript ParseWebVtt(std::string_view bytes, const std::string& fileName) {
    if (bytes.size() > MaxWebVttBytes) {
        throw TellamoError("\"" + fileName + "\" is too large to be a transcript");
    }
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        bytes.remove_prefix(3);
    }
    const std::vector<std::string_view> lines = SplitLines(bytes);
    if (lines.empty() || lines[0].substr(0, 6) != "WEBVTT" ||
        (lines[0].size() > 6 && lines[0][6] != ' ' && lines[0][6] != '\t')) {
        throw TellamoError("\"" + fileName + "\" is not a WebVTT file");
    }
    Transcript transcript;
    std::size_t i = 1;
    while (i < lines.size() && !lines[i].empty()) {
        ++i; // the header's own lines
    }
    while (i < lines.size()) {
        while (i < lines.size() && lines[i].empty()) {
            ++i;
        }
        const std::size_t begin = i;
        while (i < lines.size() && !lines[i].empty()) {
            ++i;
        }
        if (begin == i) {
            break;
        }
        const std::string_view first = lines[begin];
        if (first.substr(0, 4) == "NOTE" &&
            (first.size() == 4 || first[4] == ' ' || first[4] == '\t')) {
            if (const auto stamp = ParseSourceNote(first)) {
                transcript.Source = *stamp;
                transcript.HasSource = true;
            }
            continue;
        }
        std::size_t timingLine = begin;
        if (first.find("-->") == first.npos) {
            timingLine = begin + 1; // a cue identifier comes first
        }
        if (timingLine >= i) {
            continue;
        }
        const auto timing = ParseTiming(lines[timingLine]);
        if (!timing) {
            continue;
        }
        std::string text;
        for (std::size_t line = timingLine + 1; line < i; ++line) {
            text.append(lines[line]);
            text.push_back('\n');
        }
        Cue cue = ParsePayload(text, *timing);
        if (!cue.Words.empty()) {
            transcript.Cues.push_back(std::move(cue));
        }
    }
    return transcript;
}

} // namespace tellamo
