#include "app/TDM.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLocale>

#include "catalogue/Catalogue.h"
#include "common/IniFile.h"
#include "common/Translate.h"
#include "desktop/HotKeyService.h"
#include "desktop/LangChanger.h"
#include "desktop/THotKeyEdit.h"
#include "desktop/THotKeyManager.h"
#include "dialogs/TOptionsForm.h"
#include "mainwindow/Messages.h"
#include "mainwindow/TellamoMainForm.h"

namespace tellamo {

TDM::TDM(QString documentsFolder, FileSystem& fileSystem, HotKeyService& hotKeys)
    : LangChanger(new TLangChanger(this)), mDocuments(std::move(documentsFolder)), mFs(fileSystem),
      mHotKeys(std::make_unique<THotKeyManager>(hotKeys)) {
    setObjectName(QStringLiteral("DM"));
    connect(mHotKeys.get(), &THotKeyManager::OnHotKeyPressed, this,
            &TDM::HotKeyManagerHotKeyPressed);
}

namespace {
// The storage folder keeps its English name in every language: a folder that followed the
// desktop's language would leave the user's notes behind at the first change of language.
const QString StorageFolderLiteral = QStringLiteral("My Voice Notes");

// Paths are text here, and a home folder whose name is not valid UTF-8 decodes to a look-alike
// with U+FFFD in it: the program would make a second, empty storage folder there and ignore the
// user's notes and settings. Such a start is refused with this message (empty when all is well).
QString PathEncodingProblem(const QString& documents) {
    const QByteArray home = qgetenv("HOME");
    const bool homeLost = QFile::encodeName(QFile::decodeName(home)) != home;
    if (!homeLost && !documents.contains(QChar::ReplacementCharacter)) {
        return {};
    }
    const QString shown = homeLost ? QFile::decodeName(home) : documents;
    return TranslateText("The name of the folder \"%1\" is not valid UTF-8 text, so the "
                         "program cannot find its storage folder in it. Rename the folder "
                         "and start the program again.")
        .arg(shown);
}
} // namespace

void TDM::ChooseTranslation() {
    // A LangFile key in the main window's section of the settings file names another file, or
    // switches translation off when empty; without one, the desktop's language decides.
    const QString settings =
        QDir(mDocuments).filePath(StorageFolderLiteral + QStringLiteral("/tellamo.INI"));
    const IniFile file = IniFile::Load(QFile::encodeName(settings).toStdString());
    if (const std::optional<std::string> chosen = file.Read("TTellamoMainForm", "LangFile")) {
        QString path = QString::fromStdString(*chosen).trimmed();
        if (!path.isEmpty() && QDir::isRelativePath(path)) {
            for (const QString& folder : TranslationFolders) {
                if (QFile::exists(QDir(folder).filePath(path))) {
                    path = QDir(folder).filePath(path);
                    break;
                }
            }
        }
        LangChanger->SetLangFile(path);
    } else {
        LangChanger->SetLangFile(FindTranslationFile(TranslationFolders, QLocale().name()));
    }
    LangChanger->Install();
    // The toolkit's buttons and file dialogs speak the same language as the program's texts.
    InstallToolkitTranslation(TranslationLanguage(LangChanger->LangFile()));
}

TDM::~TDM() = default;

bool TDM::DataModuleCreate() {
    ChooseTranslation();
    NotesFolderName = TranslateText("Notes");
    RecycleBinName = TranslateText("Recycle Bin");
    StorageFolderName = StorageFolderLiteral;
    if (const QString problem = PathEncodingProblem(mDocuments); !problem.isEmpty()) {
        ShowErrorBox(nullptr, problem);
        return false;
    }
    ReadMeName = TranslateText("ReadMe.txt");
    QGuiApplication::setApplicationDisplayName(TranslateText("Tellamo"));
    mCatalogueObject = std::make_unique<Catalogue>(
        Storage(mDocuments, StorageFolderName, ReadMeName), NotesFolderName, RecycleBinName, mFs);
    return mCatalogueObject->Files().EnsureStorageFolder(
        [](const QString& text, const QString&) { ShowErrorBox(nullptr, text); }, mFs);
}

void TDM::ConnectHotKeys(TTellamoMainForm* form, TOptionsForm* options) {
    mForm = form;
    mOptions = options;
    // A desktop that lists the program's hotkeys shows them under these names and texts.
    mHotKeys->Service().Purpose = [options](std::uint8_t key, std::uint32_t modifiers) {
        const ShortCut shortCut = JoinShortCut(key, modifiers);
        if (shortCut == options->RecordHotKey->HotKey() &&
            options->RecordHotKeyCheckBox->isChecked()) {
            return HotKeyPurpose{QStringLiteral("record"), TranslateText("Start recording")};
        }
        if (shortCut == options->StopHotKey->HotKey() && options->StopHotKeyCheckBox->isChecked()) {
            return HotKeyPurpose{QStringLiteral("stop"), TranslateText("Stop recording")};
        }
        return HotKeyPurpose{};
    };
}

void TDM::HotKeyManagerHotKeyPressed(ShortCut hotKey, std::uint16_t) {
    if (!mForm || !mOptions) {
        return;
    }
    const MainActions& a = mForm->Actions();
    if (hotKey == mOptions->RecordHotKey->HotKey() && mOptions->RecordHotKeyCheckBox->isChecked() &&
        a.RecordAction->isEnabled()) {
        a.RecordAction->trigger();
    } else if (hotKey == mOptions->StopHotKey->HotKey() &&
               mOptions->StopHotKeyCheckBox->isChecked() && a.StopAction->isEnabled()) {
        a.StopAction->trigger();
    }
    mForm->ActionListUpdate();
}

} // namespace tellamo
