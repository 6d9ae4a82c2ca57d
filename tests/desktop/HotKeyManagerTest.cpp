#include <gtest/gtest.h>

#include "desktop/THotKeyManager.h"
#include "support/FakeHotKeyService.h"

namespace tellamo::test {
namespace {

constexpr ShortCut CtrlShiftR = 0x6052;
constexpr ShortCut CtrlShiftS = 0x6053;

class HotKeyManager : public ::testing::Test {
protected:
    HotKeyManager() {
        QObject::connect(&mManager, &THotKeyManager::OnHotKeyPressed,
                         [this](ShortCut key, std::uint16_t index) {
                             mPressed.push_back({key, index});
                         });
    }
    FakeHotKeyService mService;
    THotKeyManager mManager{mService};
    std::vector<std::pair<ShortCut, std::uint16_t>> mPressed;
};

TEST_F(HotKeyManager, RegistersInOrderUnderOneIdPerShortcut) {
    const std::uint16_t record = mManager.AddShortCut(CtrlShiftR);
    const std::uint16_t stop = mManager.AddShortCut(CtrlShiftS);
    ASSERT_NE(record, 0);
    ASSERT_NE(stop, 0);
    EXPECT_NE(record, stop);
    EXPECT_EQ(mService.Log, QStringList({QStringLiteral("register 6:82 %1").arg(record),
                                         QStringLiteral("register 6:83 %1").arg(stop)}));
    ASSERT_EQ(mManager.Registrations().size(), 2u);
    EXPECT_EQ(mManager.Registrations()[0].Key, CtrlShiftR);
    EXPECT_EQ(mManager.Registrations()[1].Key, CtrlShiftS);

    // The same shortcut again has the same id: the system refuses the second registration.
    EXPECT_EQ(mManager.AddShortCut(CtrlShiftR), 0);
    EXPECT_EQ(mManager.Registrations().size(), 2u);
    EXPECT_TRUE(mManager.RemoveShortCut(CtrlShiftR));
    EXPECT_NE(mManager.AddShortCut(CtrlShiftR), 0) << "removed, it can be registered again";
}

TEST_F(HotKeyManager, ARefusedCombinationGivesZeroAndIsNotListed) {
    mService.Taken.insert({0x52, ModControl | ModShift});
    EXPECT_EQ(mManager.AddShortCut(CtrlShiftR), 0);
    EXPECT_TRUE(mManager.Registrations().empty());
    EXPECT_FALSE(mManager.RemoveShortCut(CtrlShiftR)) << "nothing to remove";
    EXPECT_EQ(mService.Log.size(), 1) << "an absent shortcut is never unregistered";
}

TEST_F(HotKeyManager, RemoveAllGoesFromTheLastToTheFirstAndTheEndReleasesEverything) {
    const std::uint16_t record = mManager.AddShortCut(CtrlShiftR);
    const std::uint16_t stop = mManager.AddShortCut(CtrlShiftS);
    mService.Log.clear();
    mManager.RemoveAllShortCuts();
    EXPECT_EQ(mService.Log, QStringList({QStringLiteral("unregister %1").arg(stop),
                                         QStringLiteral("unregister %1").arg(record)}));
    EXPECT_TRUE(mService.Registered.empty());
    {
        THotKeyManager other(mService);
        other.AddShortCut(CtrlShiftR);
        EXPECT_EQ(mService.Registered.size(), 1u);
    }
    EXPECT_TRUE(mService.Registered.empty()) << "a manager that goes releases its registrations";
}

TEST_F(HotKeyManager, RaisesItsEventOnlyForItsOwnShortcuts) {
    const std::uint16_t record = mManager.AddShortCut(CtrlShiftR);
    mService.Press(0x52, ModControl | ModShift);
    ASSERT_EQ(mPressed.size(), 1u);
    EXPECT_EQ(mPressed[0], std::make_pair(CtrlShiftR, record));
    // A report for a combination the manager does not hold (a stale grab) raises nothing.
    mService.Pressed(record, 0x53, ModControl | ModShift);
    EXPECT_EQ(mPressed.size(), 1u);
    mManager.RemoveShortCut(CtrlShiftR);
    mService.Press(0x52, ModControl | ModShift);
    EXPECT_EQ(mPressed.size(), 1u);
}

} // namespace
} // namespace tellamo::test
