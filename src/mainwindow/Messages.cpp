#include "mainwindow/Messages.h"

#include <cstdio>
#include <exception>

#include <syslog.h>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QGuiApplication>
#include <QMessageBox>

#include "common/Translate.h"

namespace tellamo {

namespace {
MessageHandler& Handler() {
    static MessageHandler handler;
    return handler;
}

bool Unattended = false;

void Log(const QString& text, const QString& caption) {
    const QByteArray line = (caption + ": " + text).toLocal8Bit();
    std::fprintf(stderr, "%s\n", line.constData());
    std::fflush(stderr);
    static const bool opened = [] {
        ::openlog("tellamo", LOG_PID, LOG_USER);
        return true;
    }();
    (void)opened;
    ::syslog(LOG_ERR, "%s", line.constData());
}

bool Show(QWidget* parent, MessageKind kind, const QString& text, const QString& caption) {
    if (Unattended) {
        Log(text, caption);
        return false;
    }
    if (Handler()) {
        return Handler()(kind, text, caption);
    }
    if (kind == MessageKind::Confirmation) {
        return QMessageBox::question(parent, caption, text, QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::No) == QMessageBox::Yes;
    }
    QMessageBox::critical(parent, caption, text, QMessageBox::Ok);
    return true;
}
} // namespace

bool AskConfirmation(QWidget* parent, const QString& text) {
    return Show(parent, MessageKind::Confirmation, text, TranslateText("Confirmation"));
}

void ShowErrorBox(QWidget* parent, const QString& text) {
    Show(parent, MessageKind::Error, text, TranslateText("Error"));
}

void ShowApplicationError(QWidget* parent, const QString& text) {
    Show(parent, MessageKind::ApplicationError, text, QGuiApplication::applicationDisplayName());
}

void ShowNotice(QWidget* parent, const QString& text, const QString& caption) {
    if (Handler()) {
        Handler()(MessageKind::Notice, text, caption);
        return;
    }
    auto* box = new QMessageBox(QMessageBox::Information, caption, text, QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}

void RunCommand(QWidget* parent, const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& e) {
        ShowApplicationError(parent, QString::fromStdString(e.what()));
    }
}

void ConnectCommand(QAction* action, QWidget* parent, std::function<void()> handler) {
    QObject::connect(action, &QAction::triggered, parent,
                     [parent, handler = std::move(handler)] { RunCommand(parent, handler); });
}

void SetUnattended(bool unattended) {
    Unattended = unattended;
}

bool IsUnattended() {
    return Unattended;
}

void CloseOpenBoxes() {
    while (QWidget* popup = QApplication::activePopupWidget()) {
        popup->close();
    }
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<QDialog*>(window); dialog && dialog->isVisible()) {
            dialog->reject();
        }
    }
}

void SetMessageHandler(MessageHandler handler) {
    Handler() = std::move(handler);
}

} // namespace tellamo
