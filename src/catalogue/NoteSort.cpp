#include "catalogue/NoteSort.h"

#include <unordered_map>

#include <QCollator>
#include <QLocale>
#include <QStringList>

#include "catalogue/NoteTable.h"

namespace tellamo {

QString AddSortField(const QString& sortFields, const QString& field) {
    QString result = field + QLatin1Char(';') + sortFields;
    if (result.size() > 64) {
        result.chop(1);
        while (!result.isEmpty() && !result.endsWith(QLatin1Char(';'))) {
            result.chop(1);
        }
    }
    return result;
}

namespace {
enum class Key { Description, Start, Duration, BitRate, SampleRate, FileSizeKB };

template <typename T> int Compare(const T& a, const T& b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

// Empty before any value.
int CompareOptional(const std::optional<std::int32_t>& a, const std::optional<std::int32_t>& b) {
    if (a.has_value() != b.has_value()) {
        return a.has_value() ? 1 : -1;
    }
    return a ? Compare(*a, *b) : 0;
}
} // namespace

void SortNotes(NoteTable& table, const QString& sortFields) {
    static const std::pair<const char*, Key> names[] = {
        {"Description", Key::Description}, {"Start", Key::Start},
        {"Duration", Key::Duration},       {"BitRate", Key::BitRate},
        {"SampleRate", Key::SampleRate},   {"FileSizeKB", Key::FileSizeKB}};
    std::vector<Key> keys;
    for (const QString& name : sortFields.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        for (const auto& [text, key] : names) {
            // A field named twice is decided by its first place; later ones never decide.
            if (name == QLatin1String(text) &&
                std::find(keys.begin(), keys.end(), key) == keys.end()) {
                keys.push_back(key);
            }
        }
    }

    // Collation keys are made once per note, not once per comparison.
    std::unordered_map<const NoteRecord*, QCollatorSortKey> descriptions;
    if (std::find(keys.begin(), keys.end(), Key::Description) != keys.end()) {
        QCollator collator{QLocale()};
        collator.setCaseSensitivity(Qt::CaseSensitive);
        descriptions.reserve(table.All().size());
        for (const auto& record : table.All()) {
            descriptions.emplace(record.get(),
                                 collator.sortKey(QString::fromUtf8(record->Description)));
        }
    }

    table.Reorder([&](const NoteRecord& a, const NoteRecord& b) {
        for (Key key : keys) {
            int order = 0;
            switch (key) {
            case Key::Description:
                order = descriptions.at(&a).compare(descriptions.at(&b));
                break;
            case Key::Start:
                order = Compare(a.Start, b.Start);
                break;
            case Key::Duration:
                order = CompareOptional(a.Duration, b.Duration);
                break;
            case Key::BitRate:
                order = Compare(a.BitRate, b.BitRate);
                break;
            case Key::SampleRate:
                order = Compare(a.SampleRate, b.SampleRate);
                break;
            case Key::FileSizeKB:
                order = CompareOptional(a.FileSizeKB, b.FileSizeKB);
                break;
            }
            if (order != 0) {
                return order < 0;
            }
        }
        return a.Sequence < b.Sequence;
    });
}

} // namespace tellamo
