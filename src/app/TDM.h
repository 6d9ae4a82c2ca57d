#pragma once

#include <memory>

#include <QObject>
#include <QString>
#include <QStringList>

#include "desktop/ShortCut.h"

namespace tellamo {

class Catalogue;
class FileSystem;
class TLangChanger;
class HotKeyService;
class THotKeyManager;
class TOptionsForm;
class TTellamoMainForm;

// The data module: created first at start-up, it sets the translated folder names and the
// application's title, makes sure the storage folder exists and holds the catalogue's note
// table and the hotkey manager for the whole run.
class TDM : public QObject {
    Q_OBJECT
public:
    TDM(QString documentsFolder, FileSystem& fileSystem, HotKeyService& hotKeys);
    ~TDM() override;

    // The creation handler. Returns false when the storage folder cannot be created or its
    // path is not valid UTF-8 (the message has been shown and the program must end). Throws
    // TellamoError when the read-me cannot be written; the caller shows that and goes on.
    bool DataModuleCreate();

    Catalogue& Cat() { return *mCatalogueObject; }
    THotKeyManager& HotKeyManager() { return *mHotKeys; }

    // The window and the dialog whose record and stop hotkeys the handler below serves.
    void ConnectHotKeys(TTellamoMainForm* form, TOptionsForm* options);
    // A registered hotkey was pressed: Record when it is the record hotkey, switched on, and
    // Record is enabled; otherwise Stop likewise; then the window's actions are brought up to date.
    void HotKeyManagerHotKeyPressed(ShortCut hotKey, std::uint16_t index);

    // The folders searched for the desktop language's translation file, most important first.
    QStringList TranslationFolders;
    TLangChanger* LangChanger;

    QString NotesFolderName, RecycleBinName, StorageFolderName, ReadMeName;

private:
    void ChooseTranslation();

    QString mDocuments;
    FileSystem& mFs;
    std::unique_ptr<Catalogue> mCatalogueObject;
    std::unique_ptr<THotKeyManager> mHotKeys;
    TTellamoMainForm* mForm = nullptr;
    TOptionsForm* mOptions = nullptr;
};

} // namespace tellamo
