#pragma once

#include <QString>

namespace tellamo {

class NoteTable;

// The sort keys of the note list: field names, each followed by ";", the last clicked first.
// Adds a clicked field in front; when the text then has more than 64 characters, its oldest key
// is dropped (once per click, so it can stay a little above 64).
QString AddSortField(const QString& sortFields, const QString& field);

// Sorts every note of the table by the keys in order, each ascending: texts by the locale's
// case-sensitive collation, times and numbers by value, an empty value before any other; notes
// equal in every key keep their order of creation. The current note stays current.
void SortNotes(NoteTable& table, const QString& sortFields);

} // namespace tellamo
