#include "catalogue/NoteSort.h"

#include <algorithm>
#include <limits>
#include <numeric>
#include <optional>
#include <vector>

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

    // Every key of every note is taken once into one flat table of numbers, so that the sort
    // compares numbers side by side in memory instead of chasing each record; a description
    // becomes its rank in the locale's order. The order of creation decides last, which makes
    // the order total, so an unstable sort gives the stable result.
    const auto& records = table.All();
    const std::size_t count = records.size();
    const std::size_t width = keys.size() + 1;
    std::vector<std::int64_t> values(count * width);
    constexpr std::int64_t Empty = std::numeric_limits<std::int64_t>::min(); // before any value
    const auto optional = [](const std::optional<std::int32_t>& value) {
        return value ? std::int64_t{*value} : Empty;
    };
    for (std::size_t k = 0; k < keys.size(); ++k) {
        if (keys[k] == Key::Description) {
            QCollator collator{QLocale()};
            collator.setCaseSensitivity(Qt::CaseSensitive);
            std::vector<QCollatorSortKey> sortKeys;
            sortKeys.reserve(count);
            for (const auto& record : records) {
                sortKeys.push_back(collator.sortKey(QString::fromUtf8(record->Description)));
            }
            std::vector<std::uint32_t> byText(count);
            std::iota(byText.begin(), byText.end(), 0u);
            std::sort(byText.begin(), byText.end(), [&](std::uint32_t a, std::uint32_t b) {
                return sortKeys[a].compare(sortKeys[b]) < 0;
            });
            std::int64_t rank = 0;
            for (std::size_t i = 0; i < count; ++i) {
                if (i > 0 && sortKeys[byText[i - 1]].compare(sortKeys[byText[i]]) != 0) {
                    ++rank;
                }
                values[byText[i] * width + k] = rank;
            }
            continue;
        }
        for (std::size_t i = 0; i < count; ++i) {
            const NoteRecord& note = *records[i];
            std::int64_t& value = values[i * width + k];
            switch (keys[k]) {
            case Key::Description:
                break;
            case Key::Start:
                value = note.Start;
                break;
            case Key::Duration:
                value = optional(note.Duration);
                break;
            case Key::BitRate:
                value = note.BitRate;
                break;
            case Key::SampleRate:
                value = note.SampleRate;
                break;
            case Key::FileSizeKB:
                value = optional(note.FileSizeKB);
                break;
            }
        }
    }
    for (std::size_t i = 0; i < count; ++i) {
        values[i * width + keys.size()] = static_cast<std::int64_t>(records[i]->Sequence);
    }

    std::vector<std::uint32_t> order(count);
    std::iota(order.begin(), order.end(), 0u);
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        const std::int64_t* x = &values[a * width];
        const std::int64_t* y = &values[b * width];
        return std::lexicographical_compare(x, x + width, y, y + width);
    });
    table.Reorder(order);
}

} // namespace tellamo
