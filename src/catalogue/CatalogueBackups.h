#pragma once

#include <string_view>
#include <vector>

#include <QDate>
#include <QDateTime>
#include <QString>

namespace tellamo {

class FileSystem;
class Storage;

// Dated backups of the index file in the storage folder's "Backups" folder. The index file has
// no checksum, so a damage that still loads (a file cut at a line end) can only be undone from
// an older copy; with one backup per day, such a damage costs at most a day's changes.
//
// Names: "Tellamo-YYYY-MM-DD.dat" for the day's backup (the last save of that day), and
// "Tellamo-before-restore-YYYYMMDD-HHMMSS.dat" for the catalogue as it was before a backup
// was restored over it; pruning only ever removes names of the first kind.

struct CatalogueBackup {
    QString Path;
    QDate Day;                  // the day in its name
    QDateTime Saved;            // when its content was saved (the file's modification time)
    bool BeforeRestore = false; // kept when another backup was restored over it
};

// The daily backups to remove, as of today, from those made on the given dates: one a day is
// kept for the last 7 days, and the newest of each month for a year. A date after today (the
// clock of another computer sharing the folder) is kept.
std::vector<QDate> BackupsToPrune(const std::vector<QDate>& dates, QDate today);

// The backups of the catalogue, newest day first; none when the Backups folder is missing or is
// not a folder of its own (a link is never followed).
std::vector<CatalogueBackup> ListCatalogueBackups(const Storage& files);

// Makes the index file that was just saved (savedBytes is its content) today's backup, and
// prunes the backups that are no longer kept. A hard link where the file system has them (every
// save puts a new file in place, so the link keeps that content as it was); a copy otherwise,
// made at the first save of the day. Returns why no backup could be made, or empty text; the
// save itself stands either way.
QString KeepCatalogueBackup(const Storage& files, FileSystem& fs, std::string_view savedBytes,
                            QDate today);

// Keeps the index file as it is now beside the backups, before a backup is restored over it.
// Returns why it could not be kept, or empty text (also when there is no index file).
QString KeepCatalogueBeforeRestore(const Storage& files, FileSystem& fs, const QDateTime& now);

} // namespace tellamo
