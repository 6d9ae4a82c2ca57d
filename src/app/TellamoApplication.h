#pragma once

#include <QApplication>

namespace tellamo {

// The application object. An exception raised inside any command handler (any event the
// window thread delivers) ends that command and is shown with the application's title; the
// program goes on.
class TellamoApplication : public QApplication {
    Q_OBJECT
public:
    TellamoApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// Turns SIGTERM and SIGINT into a call on the window thread (through a pipe written by the
// signal handler), so that the program closes like the Exit action.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

signals:
    void Received(int signalNumber);

private:
    int mReadFd = -1;
};

} // namespace tellamo
