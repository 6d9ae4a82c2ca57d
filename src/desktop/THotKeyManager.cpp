#include "desktop/THotKeyManager.h"

#include <algorithm>

#include "desktop/HotKeyService.h"

namespace tellamo {

THotKeyManager::THotKeyManager(HotKeyService& service, QObject* parent)
    : QObject(parent), Svc(service) {
    setObjectName(QStringLiteral("HotKeyManager"));
    Svc.Pressed = [this](std::uint16_t id, std::uint8_t key, std::uint32_t modifiers) {
        HotKeyMessage(id, key, modifiers);
    };
}

THotKeyManager::~THotKeyManager() {
    RemoveAllShortCuts();
    Svc.Pressed = nullptr;
}

std::uint16_t THotKeyManager::AddAtom(const QString& name) {
    auto found = Atoms.find(name);
    if (found != Atoms.end()) {
        ++found->second.References;
        return found->second.Value;
    }
    const std::uint16_t value = NextAtom++;
    Atoms[name] = {value, 1};
    return value;
}

void THotKeyManager::DeleteAtom(std::uint16_t atom) {
    for (auto it = Atoms.begin(); it != Atoms.end(); ++it) {
        if (it->second.Value == atom) {
            if (--it->second.References == 0) {
                Atoms.erase(it);
            }
            return;
        }
    }
}

std::uint16_t THotKeyManager::AddShortCut(ShortCut shortCut) {
    const SplitKey split = SplitShortCut(shortCut);
    const std::uint16_t id = AddAtom(QStringLiteral("HotKeyManagerHotKey%1").arg(shortCut));
    if (!Svc.Register(id, split.Key, split.Modifiers)) {
        DeleteAtom(id);
        return 0;
    }
    List.push_back({shortCut, id});
    return id;
}

bool THotKeyManager::RemoveShortCut(ShortCut shortCut) {
    auto found = std::find_if(List.begin(), List.end(),
                              [shortCut](const Registration& r) { return r.Key == shortCut; });
    if (found == List.end()) {
        return false;
    }
    const std::uint16_t id = found->Id;
    const bool accepted = Svc.Unregister(id);
    DeleteAtom(id);
    List.erase(found);
    return accepted;
}

void THotKeyManager::RemoveAllShortCuts() {
    while (!List.empty()) {
        const std::uint16_t id = List.back().Id;
        Svc.Unregister(id);
        DeleteAtom(id);
        List.pop_back();
    }
}

void THotKeyManager::HotKeyMessage(std::uint16_t id, std::uint8_t key, std::uint32_t modifiers) {
    const ShortCut shortCut = JoinShortCut(key, modifiers);
    const bool ours = std::any_of(List.begin(), List.end(),
                                  [shortCut](const Registration& r) { return r.Key == shortCut; });
    if (ours) {
        emit OnHotKeyPressed(shortCut, id);
    }
}

} // namespace tellamo
