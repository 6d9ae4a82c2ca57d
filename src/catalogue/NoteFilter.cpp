#include "catalogue/NoteFilter.h"

#include <QLocale>

#include "catalogue/FolderTree.h"
#include "catalogue/NoteRecord.h"
#include "catalogue/NoteTexts.h"

namespace tellamo {

const QString& NoteSearchText(const NoteRecord& note) {
    if (!note.Search.Valid) {
        const QChar nul(0);
        note.Search.Text = DurationText(note.Duration) + nul + StartText(note.Start) + nul +
                           QString::fromUtf8(note.Description) + nul +
                           QString::number(note.SampleRate) + nul + QString::number(note.BitRate) +
                           nul + (note.FileSizeKB ? QString::number(*note.FileSizeKB) : QString());
        note.Search.Lower.clear();
        note.Search.Valid = true;
    }
    return note.Search.Text;
}

const QString& NoteSearchTextLower(const NoteRecord& note) {
    const QString& text = NoteSearchText(note);
    if (note.Search.Lower.isNull()) {
        note.Search.Lower = QLocale().toLower(text);
    }
    return note.Search.Lower;
}

NoteFilter::NoteFilter(NoteFilterSettings settings) : Settings(std::move(settings)) {
    Needle = Settings.CaseInsensitive ? QLocale().toLower(Settings.Text) : Settings.Text;
}

bool NoteFilter::operator()(const NoteRecord& note) const {
    const FolderNode* folder = note.ParentPointer;
    const FolderNode* selected = Settings.SelectedFolder;
    if (folder != selected) {
        if (!Settings.Affiliate || !selected || !folder || !folder->IsWithin(selected)) {
            return false;
        }
    }
    if (!Settings.TextFilter || Needle.isEmpty()) {
        return true;
    }
    const QString& haystack =
        Settings.CaseInsensitive ? NoteSearchTextLower(note) : NoteSearchText(note);
    return haystack.contains(Needle);
}

bool RecordsRxMDFilterRecord(const NoteRecord& note, const NoteFilterSettings& settings) {
    return NoteFilter(settings)(note);
}

} // namespace tellamo
