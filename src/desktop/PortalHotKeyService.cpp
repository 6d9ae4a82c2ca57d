#include "desktop/PortalHotKeyService.h"

#include <algorithm>
#include <cstdio>

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusReply>
#include <QTimer>

#include "desktop/ShortCut.h"

namespace tellamo {

namespace {
const QString PortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString PortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString ShortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString RequestInterface = QStringLiteral("org.freedesktop.portal.Request");
// The portal may be started on demand by the first call; a desktop that has not answered by
// then is taken to have no GlobalShortcuts, and the program starts without system-wide hotkeys.
constexpr int VersionTimeoutMs = 2000;

// One shortcut as BindShortcuts takes it: its name and its properties, (sa{sv}).
struct PortalShortcut {
    QString Name;
    QVariantMap Properties;
};
QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcut& shortcut) {
    argument.beginStructure();
    argument << shortcut.Name << shortcut.Properties;
    argument.endStructure();
    return argument;
}
const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcut& shortcut) {
    argument.beginStructure();
    argument >> shortcut.Name >> shortcut.Properties;
    argument.endStructure();
    return argument;
}
} // namespace
} // namespace tellamo

Q_DECLARE_METATYPE(tellamo::PortalShortcut)

namespace tellamo {

std::unique_ptr<PortalHotKeyService> PortalHotKeyService::Create(QDBusConnection bus) {
    if (!bus.isConnected()) {
        return nullptr;
    }
    QDBusMessage ask = QDBusMessage::createMethodCall(
        PortalService, PortalPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    ask << ShortcutsInterface << QStringLiteral("version");
    const QDBusMessage answer = bus.call(ask, QDBus::Block, VersionTimeoutMs);
    if (answer.type() != QDBusMessage::ReplyMessage || answer.arguments().isEmpty() ||
        answer.arguments().first().value<QDBusVariant>().variant().toUInt() < 1) {
        return nullptr;
    }
    return std::make_unique<PortalHotKeyService>(std::move(bus));
}

PortalHotKeyService::PortalHotKeyService(QDBusConnection bus, QObject* parent)
    : QObject(parent), mBus(std::move(bus)) {
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
    // A slot with typed arguments failed to connect until the connection had once carried
    // those types; a slot that takes the whole message always connects.
    mBus.connect(PortalService, PortalPath, ShortcutsInterface, QStringLiteral("Activated"), this,
                 SLOT(ShortcutActivated(QDBusMessage)));
}

PortalHotKeyService::~PortalHotKeyService() {
    CloseSession();
}

bool PortalHotKeyService::Register(std::uint16_t id, std::uint8_t key, std::uint32_t modifiers) {
    HotKeyPurpose purpose = Purpose ? Purpose(key, modifiers) : HotKeyPurpose{};
    if (purpose.Name.isEmpty()) {
        purpose.Name = QStringLiteral("hotkey%1").arg(JoinShortCut(key, modifiers));
    }
    for (const Shortcut& shortcut : mShortcuts) {
        if (shortcut.Id == id || (shortcut.Key == key && shortcut.Modifiers == modifiers) ||
            shortcut.Purpose.Name == purpose.Name) {
            return false;
        }
    }
    mShortcuts.push_back({id, key, modifiers, std::move(purpose)});
    ScheduleBind();
    return true;
}

bool PortalHotKeyService::Unregister(std::uint16_t id) {
    const auto it = std::find_if(mShortcuts.begin(), mShortcuts.end(),
                                 [id](const Shortcut& shortcut) { return shortcut.Id == id; });
    if (it == mShortcuts.end()) {
        return false;
    }
    mShortcuts.erase(it);
    ScheduleBind();
    return true;
}

void PortalHotKeyService::ScheduleBind() {
    // The record and the stop hotkey are registered one after the other: one session for both.
    if (!mBindScheduled) {
        mBindScheduled = true;
        QTimer::singleShot(0, this, [this] {
            mBindScheduled = false;
            Bind();
        });
    }
}

void PortalHotKeyService::Bind() {
    if (mBusy != Stage::Idle) {
        mChanged = true;
        return;
    }
    mChanged = false;
    CloseSession();
    if (mShortcuts.empty()) {
        return;
    }
    const QString token = QStringLiteral("tellamo%1").arg(++mTokens);
    Ask(QStringLiteral("CreateSession"),
        {QVariantMap{{QStringLiteral("handle_token"), token},
                     {QStringLiteral("session_handle_token"), token}}},
        Stage::CreatingSession);
}

void PortalHotKeyService::BindShortcuts() {
    QList<PortalShortcut> list;
    for (const Shortcut& shortcut : mShortcuts) {
        QVariantMap properties{{QStringLiteral("description"), shortcut.Purpose.Description}};
        const QString trigger = PortalTrigger(JoinShortCut(shortcut.Key, shortcut.Modifiers));
        if (!trigger.isEmpty()) {
            properties.insert(QStringLiteral("preferred_trigger"), trigger);
        }
        list.push_back({shortcut.Purpose.Name, properties});
    }
    Ask(QStringLiteral("BindShortcuts"),
        {QVariant::fromValue(QDBusObjectPath(mSessionHandle)), QVariant::fromValue(list), QString(),
         QVariantMap{{QStringLiteral("handle_token"), QStringLiteral("tellamo%1").arg(++mTokens)}}},
        Stage::Binding);
}

void PortalHotKeyService::Ask(const QString& method, const QList<QVariant>& arguments,
                              Stage stage) {
    mBusy = stage;
    // The answer comes as a signal of a request object whose path the portal derives from our
    // name on the bus and the handle token; listening before the call cannot miss it.
    const QString token = arguments.last().toMap().value(QStringLiteral("handle_token")).toString();
    QString sender = mBus.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    mPendingRequest = PortalPath + QStringLiteral("/request/") + sender + QLatin1Char('/') + token;
    ListenForResponse(true);
    QDBusMessage call =
        QDBusMessage::createMethodCall(PortalService, PortalPath, ShortcutsInterface, method);
    call.setArguments(arguments);
    auto* watcher = new QDBusPendingCallWatcher(mBus.asyncCall(call), this);
    // The answer to the call may come after the request's Response, even after a later call:
    // it counts only while its request is still the one awaited.
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, method, expected = mPendingRequest](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                if (mPendingRequest != expected) {
                    return;
                }
                const QDBusPendingReply<QDBusObjectPath> reply = *finished;
                if (reply.isError()) {
                    Note(method + QStringLiteral(": ") + reply.error().message());
                    ListenForResponse(false);
                    mPendingRequest.clear();
                    mBusy = Stage::Idle;
                    // Changes made meanwhile are still owed to the portal.
                    if (mChanged) {
                        Bind();
                    }
                    return;
                }
                // An older portal chooses its own path.
                if (reply.value().path() != expected) {
                    ListenForResponse(false);
                    mPendingRequest = reply.value().path();
                    ListenForResponse(true);
                }
            });
}

void PortalHotKeyService::ListenForResponse(bool listen) {
    if (listen) {
        mBus.connect(PortalService, mPendingRequest, RequestInterface, QStringLiteral("Response"),
                     this, SLOT(RequestResponse(QDBusMessage)));
    } else {
        mBus.disconnect(PortalService, mPendingRequest, RequestInterface,
                        QStringLiteral("Response"), this, SLOT(RequestResponse(QDBusMessage)));
    }
}

void PortalHotKeyService::RequestResponse(const QDBusMessage& message) {
    // (response: 0 granted, 1 cancelled by the user, 2 otherwise; results)
    const QList<QVariant> arguments = message.arguments();
    if (message.path() != mPendingRequest || arguments.size() < 2) {
        return;
    }
    const uint response = arguments[0].toUInt();
    const QVariantMap results = qdbus_cast<QVariantMap>(arguments[1]);
    ListenForResponse(false);
    mPendingRequest.clear();
    const Stage stage = mBusy;
    mBusy = Stage::Idle;
    if (response != 0) {
        Note(QStringLiteral("the desktop refused the hotkeys (answer %1)").arg(response));
    } else if (stage == Stage::CreatingSession) {
        const QVariant handle = results.value(QStringLiteral("session_handle"));
        mSessionHandle = handle.canConvert<QDBusObjectPath>()
                             ? handle.value<QDBusObjectPath>().path()
                             : handle.toString();
        if (!mChanged) {
            BindShortcuts();
            return;
        }
    }
    if (mChanged) {
        Bind();
    }
}

void PortalHotKeyService::ShortcutActivated(const QDBusMessage& message) {
    // (session handle, shortcut name, timestamp, options)
    const QList<QVariant> arguments = message.arguments();
    if (arguments.size() < 2 || mSessionHandle.isEmpty() || !Pressed ||
        arguments[0].value<QDBusObjectPath>().path() != mSessionHandle) {
        return;
    }
    const QString shortcutId = arguments[1].toString();
    for (const Shortcut& shortcut : mShortcuts) {
        if (shortcut.Purpose.Name == shortcutId) {
            Pressed(shortcut.Id, shortcut.Key, shortcut.Modifiers);
            return;
        }
    }
}

void PortalHotKeyService::CloseSession() {
    if (mSessionHandle.isEmpty()) {
        return;
    }
    mBus.send(QDBusMessage::createMethodCall(PortalService, mSessionHandle,
                                             QStringLiteral("org.freedesktop.portal.Session"),
                                             QStringLiteral("Close")));
    mSessionHandle.clear();
}

void PortalHotKeyService::Note(const QString& text) {
    std::fprintf(stderr, "tellamo: system-wide hotkeys: %s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
}

} // namespace tellamo
