#pragma once

#include <map>
#include <vector>

#include <QObject>
#include <QString>

#include "desktop/ShortCut.h"

namespace tellamo {

class HotKeyService;

// Registers shortcuts with the desktop's hotkey service and raises OnHotKeyPressed when one of
// them is pressed, whatever program has the focus. Each shortcut's id is the value of an atom
// named "HotKeyManagerHotKey" + the shortcut in decimal, so one shortcut always has one id.
// Window thread only; every registration is released when the manager goes.
class THotKeyManager : public QObject {
    Q_OBJECT
public:
    explicit THotKeyManager(HotKeyService& service, QObject* parent = nullptr);
    ~THotKeyManager() override;

    // The shortcut's id, or 0 when the system refused it.
    std::uint16_t AddShortCut(ShortCut shortCut);
    // Unregisters the first registration of the shortcut; whether the system accepted that,
    // false when the shortcut is not registered here.
    bool RemoveShortCut(ShortCut shortCut);
    void RemoveAllShortCuts();

    HotKeyService& Service() { return mSvc; }
    struct Registration {
        ShortCut Key;
        std::uint16_t Id;
    };
    const std::vector<Registration>& Registrations() const { return mList; }

signals:
    void OnHotKeyPressed(ShortCut hotKey, std::uint16_t index);

private:
    void HotKeyMessage(std::uint16_t id, std::uint8_t key, std::uint32_t modifiers);
    std::uint16_t AddAtom(const QString& name);
    void DeleteAtom(std::uint16_t atom);

    HotKeyService& mSvc;
    std::vector<Registration> mList;
    // The atom table: name -> value and reference count, as the system keeps its global atoms.
    struct Atom {
        std::uint16_t Value;
        int References;
    };
    std::map<QString, Atom> mAtoms;
    std::uint16_t mNextAtom = 0xC000;
};

} // namespace tellamo
