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
        QObject::connect(&Manager, &THotKeyManager::OnHotKeyPressed,
                         [this](ShortCut key, std::uint16_t index) {
                             Pressed.push_back({key, index});
                         });
    }
    FakeHotKeyService Service;
    THotKeyManager Manager{Service};
    std::vector<std::pair<ShortCut, std::uint16_t>> Pressed;
};

TEST_F(HotKeyManager, RegistersInOrderUnderOneIdPerShortcut) {
    const std::uint16_t record = Manager.AddShortCut(CtrlShiftR);
    const std::uint16_t stop = Manager.AddShortCut(CtrlShiftS);
    ASSERT_NE(record, 0);
    ASSERT_NE(stop, 0);
    EXPECT_NE(record, stop);
    EXPECT_EQ(Service.Log, QStringList({QStringLiteral("register 6:82 %1").arg(record),
                                        QStringLiteral("register 6:83 %1").arg(stop)}));
    ASSERT_EQ(Manager.Registrations().size(), 2u);
    EXPECT_EQ(Manager.Registrations()[0].Key, CtrlShiftR);
    EXPECT_EQ(Manager.Registrations()[1].Key, CtrlShiftS);

    // The same shortcut again has the same id: the system refuses the second registration.
    EXPECT_EQ(Manager.AddShortCut(CtrlShiftR), 0);
    EXPECT_EQ(Manager.Registrations().size(), 2u);
    EXPECT_TRUE(Manager.RemoveShortCut(CtrlShiftR));
    EXPECT_NE(Manager.AddShortCut(CtrlShiftR), 0) << "removed, it can be registered again";
}

TEST_F(HotKeyManager, ARefusedCombinationGivesZeroAndIsNotListed) {
    Service.Taken.insert({0x52, ModControl | ModShift});
    EXPECT_EQ(Manager.AddShortCut(CtrlShiftR), 0);
    EXPECT_TRUE(Manager.Registrations().empty());
    EXPECT_FALSE(Manager.RemoveShortCut(CtrlShiftR)) << "nothing to remove";
    EXPECT_EQ(Service.Log.size(), 1) << "an absent shortcut is never unregistered";
}

TEST_F(HotKeyManager, RemoveAllGoesFromTheLastToTheFirstAndTheEndReleasesEverything) {
    const std::uint16_t record = Manager.AddShortCut(CtrlShiftR);
    const std::uint16_t stop = Manager.AddShortCut(CtrlShiftS);
    Service.Log.clear();
    Manager.RemoveAllShortCuts();
    EXPECT_EQ(Service.Log, QStringList({QStringLiteral("unregister %1").arg(stop),
                                        QStringLiteral("unregister %1").arg(record)}));
    EXPECT_TRUE(Service.Registered.empty());
    {
        THotKeyManager other(Service);
        other.AddShortCut(CtrlShiftR);
        EXPECT_EQ(Service.Registered.size(), 1u);
    }
    EXPECT_TRUE(Service.Registered.empty()) << "a manager that goes releases its registrations";
}

TEST_F(HotKeyManager, RaisesItsEventOnlyForItsOwnShortcuts) {
    const std::uint16_t record = Manager.AddShortCut(CtrlShiftR);
    Service.Press(0x52, ModControl | ModShift);
    ASSERT_EQ(Pressed.size(), 1u);
    EXPECT_EQ(Pressed[0], std::make_pair(CtrlShiftR, record));
    // A report for a combination the manager does not hold (a stale grab) raises nothing.
    Service.Pressed(record, 0x53, ModControl | ModShift);
    EXPECT_EQ(Pressed.size(), 1u);
    Manager.RemoveShortCut(CtrlShiftR);
    Service.Press(0x52, ModControl | ModShift);
    EXPECT_EQ(Pressed.size(), 1u);
}

} // namespace
} // namespace tellamo::test
