#pragma once

#include <QObject>
#include <QString>
#include <memory>
#include <string>

namespace tellamo {

class EventFdPoster;
class FileSystem;
class TDM;
class TDescriptionForm;
class TSaveFormatForm;
class XdgEmailSender;
class TOptionsForm;
class TTellamoMainForm;
class WavePort;

// The objects the program creates at start-up, in order, and destroys in reverse order. The
// composition root (main) and the tests build the program through this class.
class TellamoProgram : public QObject {
    Q_OBJECT
public:
    // The port and the poster outlive the program; the poster's posts are run on the window
    // thread whenever its descriptor signals.
    TellamoProgram(QString documentsFolder, FileSystem& fileSystem, WavePort& port,
                   EventFdPoster& poster, std::string playFilePath);
    ~TellamoProgram() override;

    // Creates the data module and the main window (loading or making the catalogue), showing
    // each error of creation and going on. Returns false when the storage folder cannot be
    // created: the program must end without a window.
    bool Start();
    // Shows the main window and arranges FirstIdle for the first idle moment after it.
    void Show();
    // Brings the window to the front, restoring it when minimized (a second copy asked).
    void BringToFront();

    TDM& DM() { return *DataModule; }
    TTellamoMainForm& MainForm() { return *Form; }
    TOptionsForm& Options() { return *OptionsForm; }
    bool FirstIdleDone() const { return FirstIdleRan; }

private:
    void FirstIdle();

    QString Documents;
    FileSystem& Fs;
    WavePort& Port;
    EventFdPoster& Poster;
    std::string PlayFilePath;
    std::unique_ptr<TDM> DataModule;
    std::unique_ptr<TTellamoMainForm> Form;
    std::unique_ptr<TOptionsForm> OptionsForm;
    std::unique_ptr<TDescriptionForm> DescriptionForm;
    std::unique_ptr<TSaveFormatForm> SaveFormatForm;
    std::unique_ptr<XdgEmailSender> Mail;
    bool FirstIdleRan = false;
    QMetaObject::Connection IdleConnection;
};

} // namespace tellamo
