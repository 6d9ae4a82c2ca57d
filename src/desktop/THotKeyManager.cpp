#include "desktop/THotKeyManager.h"

#include <algorithm>

#include "desktop/HotKeyService.h"

namespace tellamo {

THotKeyManager::THotKeyManager(HotKeyService& service, QObject* parent)
    : QObject(parent), mSvc(service) {
    setObjectName(QStringLiteral("HotKeyManager"));
    mSvc.Pressed = [this](std::uint16_t id, std::uint8_t key, std::uint32_t modifiers) {
        HotKeyMessage(id, key, modifiers);
    };
}

THotKeyManager::~THotKeyManager() {
    RemoveAllShortCuts();
    mSvc.Pressed = nullptr;
}

std::uint16_t THotKeyManager::AddAtom(const QString& name) {
    auto found = mAtoms.find(name);
    if (found != mAtoms.end()) {
        ++found->second.References;
        return found->second.Value;
    }
    const std::uint16_t value = mNextAtom++;
    mAtoms[name] = {value, 1};
    return value;
}

void THotKeyManager::DeleteAtom(std::uint16_t atom) {
    for (auto it = mAtoms.begin(); it != mAtoms.end(); ++it) {
        if (it->second.Value == atom) {
            if (--it->second.References == 0) {
                mAtoms.erase(it);
            }
            return;
        }
    }
}

std::uint16_t THotKeyManager::AddShortCut(ShortCut shortCut) {
    const SplitKey split = SplitShortCut(shortCut);
    const std::uint16_t id = AddAtom(QStringLiteral("HotKeyManagerHotKey%1").arg(shortCut));
    if (!mSvc.Register(id, split.Key, split.Modifiers)) {
        DeleteAtom(id);
        return 0;
    }
    mList.push_back({shortCut, id});
    return id;
}

bool THotKeyManager::RemoveShortCut(ShortCut shortCut) {
    auto found = std::find_if(mList.begin(), mList.end(),
                              [shortCut](const Registration& r) { return r.Key == shortCut; });
    if (found == mList.end()) {
        return false;
    }
    const std::uint16_t id = found->Id;
    const bool accepted = mSvc.Unregister(id);
    DeleteAtom(id);
    mList.erase(found);
    return accepted;
}

void THotKeyManager::RemoveAllShortCuts() {
    while (!mList.empty()) {
        const std::uint16_t id = mList.back().Id;
        mSvc.Unregister(id);
        DeleteAtom(id);
        mList.pop_back();
    }
}

void THotKeyManager::HotKeyMessage(std::uint16_t id, std::uint8_t key, std::uint32_t modifiers) {
    const ShortCut shortCut = JoinShortCut(key, modifiers);
    const bool ours = std::any_of(mList.begin(), mList.end(),
                                  [shortCut](const Registration& r) { return r.Key == shortCut; });
    if (ours) {
        emit OnHotKeyPressed(shortCut, id);
    }
}

} // namespace tellamo
