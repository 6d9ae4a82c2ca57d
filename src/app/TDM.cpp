#include "app/TDM.h"

#include "catalogue/Catalogue.h"
#include "common/Translate.h"
#include "desktop/THotKeyEdit.h"
#include "desktop/THotKeyManager.h"
#include "dialogs/TOptionsForm.h"
#include "mainwindow/Messages.h"
#include "mainwindow/TellamoMainForm.h"

#include <QAction>
#include <QCheckBox>

#include <QGuiApplication>

namespace tellamo {

TDM::TDM(QString documentsFolder, FileSystem& fileSystem, HotKeyService& hotKeys)
    : Documents(std::move(documentsFolder)), Fs(fileSystem), HotKeys(std::make_unique<THotKeyManager>(hotKeys)) {
    setObjectName(QStringLiteral("DM"));
    connect(HotKeys.get(), &THotKeyManager::OnHotKeyPressed, this, &TDM::HotKeyManagerHotKeyPressed);
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
    return CatalogueObject->Files().EnsureStorageFolder([](const QString& text, const QString&) {
        ShowErrorBox(nullptr, text);
    });
}

void TDM::ConnectHotKeys(TTellamoMainForm* form, TOptionsForm* options) {
    Form = form;
    Options = options;
}

void TDM::HotKeyManagerHotKeyPressed(ShortCut hotKey, std::uint16_t) {
    if (!Form || !Options) {
        return;
    }
    const MainActions& a = Form->Actions;
    if (hotKey == Options->RecordHotKey->HotKey() && Options->RecordHotKeyCheckBox->isChecked() &&
        a.RecordAction->isEnabled()) {
        a.RecordAction->trigger();
    } else if (hotKey == Options->StopHotKey->HotKey() && Options->StopHotKeyCheckBox->isChecked() &&
               a.StopAction->isEnabled()) {
        a.StopAction->trigger();
    }
    Form->ActionListUpdate();
}

} // namespace tellamo
