#include "catalogue/CatalogueBackups.h"

#include <algorithm>
#include <cerrno>
#include <map>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <QFile>
#include <QRegularExpression>

#include "catalogue/Storage.h"
#include "common/Errors.h"
#include "common/FileSystem.h"
#include "common/Translate.h"

namespace tellamo {

namespace {

constexpr int DailyKept = 7;

QString BackupFolder(const Storage& files) {
    return files.StorageFolder() + "Backups";
}

std::string Encoded(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

// The backups' folder, made when missing. The storage folder may be shared or synced: a link
// or a file standing at the name is never written through, and no backup is made then.
QString PrepareFolder(const QString& folder) {
    const std::string path = Encoded(folder);
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            return {};
        }
        return TranslateText("No backup of the catalogue was made: \"%1\" is not a folder.")
            .arg(folder);
    }
    if (errno == ENOENT && ::mkdir(path.c_str(), 0777) == 0) {
        return {};
    }
    return TranslateText("No backup of the catalogue could be made in \"%1\":").arg(folder) + " " +
           QString::fromStdString(SystemErrorText(errno));
}

// The date in a daily backup's name; an invalid date for any other name.
QDate DailyBackupDate(const QString& name) {
    static const QRegularExpression pattern(
        QStringLiteral(R"(^Tellamo-(\d{4})-(\d{2})-(\d{2})\.dat$)"));
    const QRegularExpressionMatch match = pattern.match(name);
    if (!match.hasMatch()) {
        return {};
    }
    return QDate(match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt());
}

// The day in the name of a catalogue kept before a restore; an invalid date for any other name.
QDate BeforeRestoreDate(const QString& name) {
    static const QRegularExpression pattern(
        QStringLiteral(R"(^Tellamo-before-restore-(\d{8})-\d{6}(-\d+)?\.dat$)"));
    const QRegularExpressionMatch match = pattern.match(name);
    return match.hasMatch() ? QDate::fromString(match.captured(1), QStringLiteral("yyyyMMdd"))
                            : QDate();
}

// Calls visit(name, status) for each entry of the folder that is a regular file.
template <typename Visit> void ForEachFile(const QString& folder, Visit visit) {
    const std::string path = Encoded(folder);
    DIR* dir = ::opendir(path.c_str());
    if (!dir) {
        return;
    }
    while (const dirent* entry = ::readdir(dir)) {
        struct stat st {};
        if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(st.st_mode)) {
            visit(QFile::decodeName(entry->d_name), st);
        }
    }
    ::closedir(dir);
}

void Prune(const QString& folder, FileSystem& fs, QDate today) {
    std::map<QDate, QString> daily;
    ForEachFile(folder, [&](const QString& name, const struct stat&) {
        if (const QDate date = DailyBackupDate(name); date.isValid()) {
            daily.emplace(date, name);
        }
    });
    std::vector<QDate> dates;
    for (const auto& [date, name] : daily) {
        dates.push_back(date);
    }
    for (const QDate& date : BackupsToPrune(dates, today)) {
        fs.Remove(Encoded(folder + "/" + daily[date]));
    }
}

} // namespace

std::vector<QDate> BackupsToPrune(const std::vector<QDate>& dates, QDate today) {
    const QDate yearAgo = today.addYears(-1);
    std::map<int, QDate> newestOfMonth; // year * 12 + month
    for (const QDate& date : dates) {
        if (date <= today && date > yearAgo) {
            QDate& newest = newestOfMonth[date.year() * 12 + date.month()];
            newest = std::max(newest, date);
        }
    }
    std::vector<QDate> doomed;
    for (const QDate& date : dates) {
        const bool recent = date > today.addDays(-DailyKept);
        const bool monthly =
            date > yearAgo && newestOfMonth[date.year() * 12 + date.month()] == date;
        if (!recent && !monthly) {
            doomed.push_back(date);
        }
    }
    return doomed;
}

std::vector<CatalogueBackup> ListCatalogueBackups(const Storage& files) {
    std::vector<CatalogueBackup> backups;
    const QString folder = BackupFolder(files);
    struct stat st {};
    if (::lstat(Encoded(folder).c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        return backups;
    }
    ForEachFile(folder, [&](const QString& name, const struct stat& file) {
        const QDate restored = BeforeRestoreDate(name);
        const QDate day = restored.isValid() ? restored : DailyBackupDate(name);
        if (day.isValid()) {
            backups.push_back({folder + "/" + name, day,
                               QDateTime::fromSecsSinceEpoch(file.st_mtim.tv_sec),
                               restored.isValid()});
        }
    });
    // By the names' days: a copy or a sync may have given the files any modification time.
    std::sort(backups.begin(), backups.end(),
              [](const CatalogueBackup& a, const CatalogueBackup& b) {
                  if (a.Day != b.Day) {
                      return a.Day > b.Day;
                  }
                  return a.Saved != b.Saved ? a.Saved > b.Saved : a.Path > b.Path;
              });
    return backups;
}

QString KeepCatalogueBackup(const Storage& files, FileSystem& fs, std::string_view savedBytes,
                            QDate today) {
    const QString folder = BackupFolder(files);
    if (QString problem = PrepareFolder(folder); !problem.isEmpty()) {
        return problem;
    }
    const QString target = folder + "/Tellamo-" + today.toString(QStringLiteral("yyyy-MM-dd")) +
                           QStringLiteral(".dat");
    const std::string targetPath = Encoded(target);
    struct stat st {};
    const bool hadToday = ::lstat(targetPath.c_str(), &st) == 0 && S_ISREG(st.st_mode);

    // Linked under a temporary name and renamed over the day's backup, so that the day always
    // has one; a rename replaces a link standing at the name instead of writing through it.
    const std::string temp = targetPath + ".new";
    fs.Remove(temp);
    int error = fs.Link(Encoded(files.IndexFilePath()), temp);
    if (error == 0) {
        error = fs.Rename(temp, targetPath);
        if (error != 0) {
            fs.Remove(temp);
        }
    } else if (!hadToday) {
        // No hard links here (a FAT or network file system): one copy a day keeps saves fast.
        error = WriteNewFileDurably(fs, targetPath, savedBytes);
    } else {
        error = 0;
    }
    if (error != 0) {
        return TranslateText("No backup of the catalogue could be made in \"%1\":").arg(folder) +
               " " + QString::fromStdString(SystemErrorText(error));
    }
    if (!hadToday) {
        Prune(folder, fs, today);
    }
    return {};
}

QString KeepCatalogueBeforeRestore(const Storage& files, FileSystem& fs, const QDateTime& now) {
    const std::string index = Encoded(files.IndexFilePath());
    struct stat st {};
    if (::lstat(index.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return {}; // no catalogue file of the program's own to keep
    }
    const QString folder = BackupFolder(files);
    if (QString problem = PrepareFolder(folder); !problem.isEmpty()) {
        return problem;
    }
    const QString stem =
        folder + "/Tellamo-before-restore-" + now.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString target = stem + ".dat";
    for (int n = 2; ::lstat(Encoded(target).c_str(), &st) == 0; ++n) {
        target = stem + "-" + QString::number(n) + ".dat";
    }
    int error = fs.Link(index, Encoded(target));
    if (error != 0) {
        QFile file(files.IndexFilePath());
        if (!file.open(QIODevice::ReadOnly)) {
            return file.errorString();
        }
        const QByteArray bytes = file.readAll();
        error = WriteNewFileDurably(
            fs, Encoded(target),
            std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    }
    if (error != 0) {
        return TranslateText("The catalogue as it is now could not be kept in \"%1\":")
                   .arg(folder) +
               " " + QString::fromStdString(SystemErrorText(error));
    }
    return {};
}

} // namespace tellamo
