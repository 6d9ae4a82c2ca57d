#pragma once

#include <memory>

#include <QObject>
#include <QString>
#include <QStringList>

namespace tellamo {

class Catalogue;
class FileSystem;
class TLangChanger;

// The data module: created first at start-up, it sets the translated folder names and the
// application's title, makes sure the storage folder exists and holds the catalogue's note
// table for the whole run.
class TDM : public QObject {
    Q_OBJECT
public:
    TDM(QString documentsFolder, FileSystem& fileSystem);
    ~TDM() override;

    // The creation handler. Returns false when the storage folder cannot be created (the
    // message has been shown and the program must end). Throws TellamoError when the read-me
    // cannot be written; the caller shows that and goes on.
    bool DataModuleCreate();

    Catalogue& Cat() { return *CatalogueObject; }

    // The folders searched for the desktop language's translation file, most important first.
    QStringList TranslationFolders;
    TLangChanger* LangChanger;

    QString NotesFolderName, RecycleBinName, StorageFolderName, ReadMeName;

private:
    void ChooseTranslation();

    QString Documents;
    FileSystem& Fs;
    std::unique_ptr<Catalogue> CatalogueObject;
};

} // namespace tellamo
