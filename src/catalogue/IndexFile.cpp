#include "catalogue/IndexFile.h"

#include <algorithm>
#include <cstdio>

#include "catalogue/Catalogue.h"
#include "common/Errors.h"
#include "common/OleDate.h"
#include "common/Translate.h"
#include "common/Utf8.h"

namespace tellamo {

namespace {

std::string EndOfFileText() {
    return TranslateText("The index file ends too early: it is damaged or incomplete")
        .toStdString();
}

// The ID text of a tree line: optional leading blanks, an optional sign, decimal digits.
bool ParseId(std::string_view text, std::int32_t& id) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size()) {
        return false;
    }
    std::int32_t value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        value = value * 10 + (text[i] - '0'); // at most six digits: no overflow
    }
    id = negative ? -value : value;
    return true;
}

} // namespace

void WriteNotes(ByteWriter& out, const NoteTable& table) {
    const auto& records = table.All();
    out.I32(static_cast<std::int32_t>(records.size()));
    for (const auto& record : records) {
        out.F64(DurationToDays(record->Duration.value_or(0)));
        out.F64(ToOleDate(record->Start));
        WriteZString(out, record->Description);
        WriteZString(out, record->FileName);
        out.I32(record->FolderID);
        out.U16(record->SampleRate);
        out.U16(record->BitRate);
        out.I32(record->FileSizeKB.value_or(0));
    }
}

void ReadNotes(ByteReader& in, NoteTable& table) {
    table.Clear();
    const std::int32_t count = in.I32();
    std::vector<std::unique_ptr<NoteRecord>> records;
    // The count is not trusted for an allocation beyond what the bytes left can hold (30 bytes
    // at least per record); within that, one allocation leaves no grown-out copies behind in the
    // heap of a program that keeps running with a lifetime of notes.
    constexpr std::size_t SmallestRecord = 8 + 8 + 1 + 1 + 4 + 2 + 2 + 4;
    records.reserve(std::min<std::size_t>(count > 0 ? static_cast<std::size_t>(count) : 0,
                                          in.Remaining() / SmallestRecord));
    std::uint64_t sequence = table.NextSequence();
    try {
        // Records are read until the count is reached or the file ends.
        for (std::int32_t i = 0; i < count; ++i) {
            auto record = std::make_unique<NoteRecord>();
            record->Sequence = sequence++;
            record->Duration = DurationFromDays(in.F64());
            record->Start = FromOleDate(in.F64());
            record->Description = CutUtf8(in.ZString(), NoteRecord::DescriptionBytes);
            record->FileName = CutUtf8(in.ZString(), NoteRecord::FileNameBytes);
            record->FolderID = in.I32();
            record->SampleRate = in.U16();
            record->BitRate = in.U16();
            record->FileSizeKB = in.I32();
            records.push_back(std::move(record));
        }
    } catch (const TellamoError&) {
        table.AppendLoaded(std::move(records));
        throw;
    }
    table.AppendLoaded(std::move(records));
}

void WriteFolderTree(ByteWriter& out, const Catalogue& catalogue) {
    out.I32(Catalogue::FolderIdOf(catalogue.SelectedFolder()));
    std::string line;
    catalogue.Folders().ForEachPreOrder([&](FolderNode& node) {
        line.assign(static_cast<std::size_t>(node.Depth()), '\t');
        // A name that began with a blank or held a line break would come back as another tree;
        // the catalogue never makes such names, and they are never written.
        std::size_t start = node.Name.find_first_not_of(" \t");
        for (std::size_t i = start; i < node.Name.size(); ++i) {
            const char c = node.Name[i];
            line += (c == '\r' || c == '\n' || c == '\0') ? ' ' : c;
        }
        char id[16];
        std::snprintf(id, sizeof id, "%06d", static_cast<int>(node.Id));
        line += id;
        line += "\r\n";
        out.Bytes(line);
    });
}

void ReadFolderTree(ByteReader& in, Catalogue& catalogue) {
    const std::int32_t selectedId = in.I32();
    FolderTree& tree = catalogue.Folders();
    catalogue.ClearFoldersForLoad();

    std::string_view text = in.Rest();
    text = text.substr(0, text.find('\0'));

    FolderNode* previous = nullptr;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find_first_of("\r\n", pos);
        std::string_view line =
            text.substr(pos, end == std::string_view::npos ? text.size() - pos : end - pos);
        if (end == std::string_view::npos) {
            pos = text.size();
        } else {
            pos = end +
                  ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
        }

        std::size_t level = 0;
        while (level < line.size() && (line[level] == '\t' || line[level] == ' ')) {
            ++level;
        }
        const std::string_view item = line.substr(level);
        const std::size_t idLength = std::min<std::size_t>(6, item.size());
        const std::string_view idText = item.substr(item.size() - idLength);
        std::int32_t id = 0;
        if (!ParseId(idText, id)) {
            throw TellamoError(
                TranslateText("'%1' is not a valid integer value")
                    .arg(QString::fromUtf8(idText.data(), static_cast<qsizetype>(idText.size())))
                    .toStdString());
        }
        std::string name(item.substr(0, item.size() - idLength));

        FolderNode* parent = nullptr;
        if (previous) {
            const std::size_t previousLevel = static_cast<std::size_t>(previous->Depth());
            if (level > previousLevel + 1) {
                throw TellamoError(
                    TranslateText("Invalid level (%1) for item \"%2\"")
                        .arg(level)
                        .arg(QString::fromUtf8(item.data(), static_cast<qsizetype>(item.size())))
                        .toStdString());
            }
            if (level == previousLevel + 1) {
                parent = previous;
            } else {
                FolderNode* sibling = previous;
                while (static_cast<std::size_t>(sibling->Depth()) > level) {
                    sibling = sibling->Parent;
                }
                parent = sibling->Parent;
            }
        }
        previous = tree.Append(parent, std::move(name), id);
    }

    FolderNode* notes = nullptr;
    FolderNode* recycleBin = nullptr;
    FolderNode* selected = nullptr;
    tree.ForEachPreOrder([&](FolderNode& node) {
        if (node.Id == selectedId) {
            selected = &node;
        }
        if (node.Id == Catalogue::RecycleBinFolderId) {
            recycleBin = &node;
        }
        if (node.Id == Catalogue::NotesFolderId) {
            notes = &node;
        }
    });
    catalogue.SetSpecialNodes(notes, recycleBin);
    catalogue.SelectFolder(selected);
}

std::string SerializeCatalogue(const Catalogue& catalogue) {
    std::string bytes;
    bytes.reserve(64 + catalogue.Notes().All().size() * 72);
    ByteWriter out(bytes);
    out.U8(1);
    WriteNotes(out, catalogue.Notes());
    out.I32(catalogue.FolderIdCounter());
    WriteFolderTree(out, catalogue);
    return bytes;
}

void ParseCatalogue(std::string_view bytes, Catalogue& catalogue) {
    ByteReader in(bytes, EndOfFileText());
    in.U8(); // the version: nothing depends on it
    ReadNotes(in, catalogue.Notes());
    catalogue.SetFolderIdCounter(in.I32());
    ReadFolderTree(in, catalogue);
}

} // namespace tellamo
