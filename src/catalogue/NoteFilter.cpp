#include "catalogue/NoteFilter.h"

#include <QLocale>

#include "catalogue/FolderTree.h"
#include "catalogue/NoteRecord.h"
#include "catalogue/NoteTexts.h"

namespace tellamo {

const std::string& NoteSearchText(const NoteRecord& note) {
    if (!note.Search) {
        const QChar nul(0);
        const QString text = DurationText(note.Duration) + nul + StartText(note.Start) + nul +
                             QString::fromUtf8(note.Description) + nul +
                             QString::number(note.SampleRate) + nul +
                             QString::number(note.BitRate) + nul +
                             (note.FileSizeKB ? QString::number(*note.FileSizeKB) : QString());
        note.Search = std::make_unique<NoteRecord::SearchCache>();
        note.Search->Text = text.toStdString();
    }
    return note.Search->Text;
}

const std::string& NoteSearchTextLower(const NoteRecord& note) {
    const std::string& text = NoteSearchText(note);
    if (!note.Search->HasLower) {
        note.Search->Lower = QLocale().toLower(QString::fromStdString(text)).toStdString();
        note.Search->HasLower = true;
    }
    return note.Search->Lower;
}

NoteFilter::NoteFilter(NoteFilterSettings settings) : mSettings(std::move(settings)) {
    mNeedle = (mSettings.CaseInsensitive ? QLocale().toLower(mSettings.Text) : mSettings.Text)
                  .toStdString();
}

bool NoteFilter::operator()(const NoteRecord& note) const {
    const FolderNode* folder = note.ParentPointer;
    const FolderNode* selected = mSettings.SelectedFolder;
    if (folder != selected) {
        if (!mSettings.Affiliate || !selected || !folder || !folder->IsWithin(selected)) {
            return false;
        }
    }
    if (!mSettings.TextFilter) {
        return true;
    }
    if (mSettings.TextMatch) {
        return mSettings.TextMatch(note);
    }
    if (mNeedle.empty()) {
        return true;
    }
    const std::string& haystack =
        mSettings.CaseInsensitive ? NoteSearchTextLower(note) : NoteSearchText(note);
    return haystack.find(mNeedle) != std::string::npos;
}

bool RecordsRxMDFilterRecord(const NoteRecord& note, const NoteFilterSettings& settings) {
    return NoteFilter(settings)(note);
}

} // namespace tellamo
