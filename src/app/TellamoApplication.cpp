#include "app/TellamoApplication.h"

#include <csignal>
#include <exception>

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>

#include "mainwindow/Messages.h"

namespace tellamo {

TellamoApplication::TellamoApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TellamoApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        ShowApplicationError(activeWindow(), QString::fromStdString(e.what()));
    } catch (...) {
        ShowApplicationError(activeWindow(), QStringLiteral("Unexpected error"));
    }
    return false;
}

namespace {
int SignalWriteFd = -1;

extern "C" void OnTerminationSignal(int signalNumber) {
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(SignalWriteFd, &byte, 1);
}
} // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    mReadFd = fds[0];
    SignalWriteFd = fds[1];
    auto* notifier = new QSocketNotifier(mReadFd, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        unsigned char byte = 0;
        while (::read(mReadFd, &byte, 1) == 1) {
            emit Received(byte);
        }
    });
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

TerminationSignals::~TerminationSignals() {
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGINT, SIG_DFL);
    if (mReadFd >= 0) {
        ::close(mReadFd);
        ::close(SignalWriteFd);
        SignalWriteFd = -1;
    }
}

} // namespace tellamo
