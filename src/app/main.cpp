// The composition root: the only place that picks the real implementations of the platform
// services and runs the start-up order.

#include "app/SingleInstance.h"
#include "app/TellamoApplication.h"
#include "app/TellamoProgram.h"
#include "audio/Audio.h"
#include "audio/AlsaWavePort.h"
#include "audio/WindowPoster.h"
#include "common/FileSystem.h"
#include "mainwindow/Glyphs.h"
#include "mainwindow/TellamoMainForm.h"

#include <QDir>
#include <QSessionManager>
#include <QStandardPaths>

using namespace tellamo;

int main(int argc, char** argv) {
    TellamoApplication app(argc, argv);
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
    TellamoProgram program(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation),
                           RealFileSystem(), port, poster, (cache + "/PLAY.TMP").toStdString());
    if (!program.Start()) {
        return 1;
    }
    QObject::connect(&instance, &SingleInstance::ShowRequested, &program, &TellamoProgram::BringToFront);

    // The end of the desktop session and termination signals close the window like Exit.
    QObject::connect(&signalsToClose, &TerminationSignals::Received, &program,
                     [&program] { program.MainForm().close(); });
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &program, [&program](QSessionManager&) {
        program.MainForm().close();
        program.MainForm().Audio->QueryEndSession();
    });

    program.Show();
    return app.exec();
}
