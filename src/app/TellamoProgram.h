#pragma once

#include <QObject>
#include <QString>
#include <memory>

namespace tellamo {

class FileSystem;
class TDM;
class TTellamoMainForm;

// The objects the program creates at start-up, in order, and destroys in reverse order. The
// composition root (main) and the tests build the program through this class.
class TellamoProgram : public QObject {
    Q_OBJECT
public:
    TellamoProgram(QString documentsFolder, FileSystem& fileSystem);
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
    bool FirstIdleDone() const { return FirstIdleRan; }

private:
    void FirstIdle();

    QString Documents;
    FileSystem& Fs;
    std::unique_ptr<TDM> DataModule;
    std::unique_ptr<TTellamoMainForm> Form;
    bool FirstIdleRan = false;
    QMetaObject::Connection IdleConnection;
};

} // namespace tellamo
