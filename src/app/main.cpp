// The composition root: the only place that picks the real implementations of the platform
// services and runs the start-up order.

#include <QDir>
#include <QSessionManager>
#include <QStandardPaths>

#include "app/HotKeyChoice.h"
#include "app/SingleInstance.h"
#include "app/TellamoApplication.h"
#include "app/TellamoProgram.h"
#include "app/Transcription.h"
#include "audio/AlsaWavePort.h"
#include "audio/Audio.h"
#include "audio/WindowPoster.h"
#include "common/FileSystem.h"
#include "common/Translate.h"
#include "desktop/DBusSleepInhibitor.h"
#include "desktop/HotKeyService.h"
#include "mainwindow/Glyphs.h"
#include "mainwindow/TellamoMainForm.h"
#include "transcript/PocketSphinxRecogniser.h"

using namespace tellamo;

int main(int argc, char** argv) {
    TellamoApplication app(argc, argv);
    // Right after the application: the last to go (see its class).
    TranscriptWorkerHolder transcripts;
    // Caught from the very start; they are handled once the message loop runs, when the window
    // exists, so a signal during start-up still ends the program through a normal close.
    TerminationSignals signalsToClose;
    QCoreApplication::setApplicationName(QStringLiteral("tellamo"));
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.tellamo.Tellamo"));
    QGuiApplication::setWindowIcon(ApplicationIcon());

    QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (runtime.isEmpty()) {
        runtime = QDir::tempPath();
    }
    SingleInstance instance(runtime);
    if (!instance.BecomeFirst()) {
        return instance.AskRunningCopyToShow() ? 0 : 1;
    }

    // The play file lives in the cache folder, never in whatever folder the program was started in.
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    QDir().mkpath(cache);
    AlsaWavePort port;
    EventFdPoster poster;
    // The hotkey service outlives the program, whose manager releases its keys at the end.
    // X11 grabs, or the desktop portal on Wayland; elsewhere the program says on the HotKeys
    // page that it has no system-wide hotkeys.
    std::unique_ptr<HotKeyService> hotKeys =
        ChooseHotKeyService(IsWaylandSession(), QDBusConnection::sessionBus());
    // No suspend while recording: the desktop portal, else logind; neither is needed to record.
    // It outlives the program, whose window gives the hold back when a recording ends.
    std::unique_ptr<DBusSleepInhibitor> noSleep = DBusSleepInhibitor::Create();
    TellamoProgram program(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation),
                           RealFileSystem(), port, poster, (cache + "/PLAY.TMP").toStdString());
    // Installed translations first, then those beside the binary in a build tree.
    const QString programFolder = QCoreApplication::applicationDirPath();
    program.TranslationFolders = {programFolder + QStringLiteral("/../share/tellamo/translations"),
                                  programFolder + QStringLiteral("/translations")};
    // The end of the desktop session and termination signals close the window like Exit, also
    // while a box of the start-up (a damaged catalogue) waits for an answer.
    QObject::connect(&signalsToClose, &TerminationSignals::Received, &program,
                     [&program] { program.Terminate(); });
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &program,
                     [&program](QSessionManager&) { program.Terminate(); });
    program.SetHotKeyService(*hotKeys);
    program.SetSleepInhibitor(*noSleep);
    // The desktop's media keys and media panels; with no session bus nothing is offered.
    program.SetMediaBus(QDBusConnection::sessionBus());
    // Notes are transcribed by PocketSphinx's English model; its index is a cache.
    const std::string indexPath = (cache + "/transcripts.sqlite").toStdString();
    TranscriptWorker& worker =
        transcripts.Make(indexPath, [] { return std::make_unique<PocketSphinxRecogniser>(); });
    program.SetTranscription({&worker, PocketSphinxRecogniser::ModelInstalled(), indexPath});
    if (!program.Start()) {
        return 1;
    }
    QObject::connect(&instance, &SingleInstance::ShowRequested, &program,
                     &TellamoProgram::BringToFront);

    program.Show();
    const int status = app.exec();
    transcripts.SetExitStatus(status);
    return status;
}
