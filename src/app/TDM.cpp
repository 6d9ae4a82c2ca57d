#include "app/TDM.h"

#include <QGuiApplication>

#include "catalogue/Catalogue.h"
#include "common/Translate.h"
#include "mainwindow/Messages.h"

namespace tellamo {

TDM::TDM(QString documentsFolder, FileSystem& fileSystem)
    : Documents(std::move(documentsFolder)), Fs(fileSystem) {
    setObjectName(QStringLiteral("DM"));
}

TDM::~TDM() = default;

bool TDM::DataModuleCreate() {
    NotesFolderName = TranslateText("Notes");
    RecycleBinName = TranslateText("Recycle Bin");
    StorageFolderName = TranslateText("My Voice Notes");
    ReadMeName = TranslateText("ReadMe.txt");
    QGuiApplication::setApplicationDisplayName(TranslateText("Tellamo"));
    CatalogueObject = std::make_unique<Catalogue>(Storage(Documents, StorageFolderName, ReadMeName),
                                                  NotesFolderName, RecycleBinName, Fs);
    return CatalogueObject->Files().EnsureStorageFolder(
        [](const QString& text, const QString&) { ShowErrorBox(nullptr, text); }, Fs);
}

} // namespace tellamo
