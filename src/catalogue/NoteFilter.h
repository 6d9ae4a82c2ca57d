#pragma once

#include <functional>
#include <string>

#include <QString>

namespace tellamo {

struct FolderNode;
struct NoteRecord;

// The inputs of the note list's filter, read afresh for every refresh.
struct NoteFilterSettings {
    const FolderNode* SelectedFolder = nullptr;
    bool Affiliate = false;       // also the notes of the folders below the selected one
    bool TextFilter = false;      // the filter text must occur in the note's search text
    bool CaseInsensitive = false; // compare in the locale's lower case
    QString Text;
    // With the text filter on and set, decides in place of the search text whether a note
    // matches (the window's search by spoken words); asked only of notes in the shown folders.
    std::function<bool(const NoteRecord&)> TextMatch = nullptr;
};

// The filter text prepared once per refresh (lowered when the case does not count).
class NoteFilter {
public:
    explicit NoteFilter(NoteFilterSettings settings);
    bool operator()(const NoteRecord& note) const;

private:
    NoteFilterSettings mSettings;
    std::string mNeedle; // UTF-8
};

// Whether the note list shows a note: it must be in the selected folder (or below it, with
// affiliated notes on); with the text filter on, the filter text must also occur in the plain
// texts of Duration, Start, Description, SampleRate, BitRate and FileSizeKB joined by NUL, so
// that no match spans two fields. A note without a folder shows only when no folder is selected.
bool RecordsRxMDFilterRecord(const NoteRecord& note, const NoteFilterSettings& settings);

// The search text of a note as UTF-8 (kept with the note until one of its fields changes); a
// UTF-8 needle occurs in it exactly where the same text occurs in the UTF-16 form.
const std::string& NoteSearchText(const NoteRecord& note);
const std::string& NoteSearchTextLower(const NoteRecord& note);

} // namespace tellamo
