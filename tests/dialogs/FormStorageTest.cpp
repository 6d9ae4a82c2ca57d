#include "dialogs/FormStorage.h"

#include <cmath>

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include "support/TempDir.h"

namespace tellamo::test {
namespace {

TEST(FitIntoScreen, KeepsTheWindowAndItsFrameOnTheScreen) {
    const QRect screen(0, 0, 640, 400);
    const QMargins frame(1, 20, 1, 1);
    const QSize minimum(160, 37);
    const struct {
        const char* What;
        QRect Client;
        bool Resizable;
        QRect Fitted;
    } cases[] = {
        {"already inside", {100, 50, 300, 200}, true, {100, 50, 300, 200}},
        {"title bar above the top", {2, -66, 637, 465}, true, {2, 20, 637, 379}},
        {"past the bottom right", {500, 300, 300, 200}, true, {339, 199, 300, 200}},
        {"left of the screen", {-500, 10, 300, 200}, true, {1, 20, 300, 200}},
        {"taller than the screen, fixed size", {10, 10, 300, 500}, false, {10, 20, 300, 500}},
        {"not below the minimum", {0, 0, 100, 10}, true, {1, 20, 160, 37}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FitIntoScreen(c.Client, frame, screen, minimum, c.Resizable), c.Fitted) << c.What;
    }
    // A second screen to the right and above: its own origin counts.
    EXPECT_EQ(FitIntoScreen({1000, -900, 300, 200}, frame, {640, -400, 800, 600}, minimum, true),
              QRect(1000, -380, 300, 200));
}

// Positions from a settings file written elsewhere (or by hand) at the ends of the integers:
// the window lands on the screen and nothing overflows on the way.
TEST(FormStorage, StoredPositionsAtTheIntegerLimitsLandOnTheScreen) {
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    const char* positions[] = {
        "-2147483648,-2147483648,2147483647,2147483647",
        "2147483647,2147483647,2147483647,2147483647", // empty: ignored
        "2147483000,2147483000,2147483647,2147483647",
        "-2147483648,-2147483648,-2147483000,-2147483000",
        "99999999999,0,99999999999999,500", // beyond the integers
        "-100,-100,200,200",
    };
    for (const char* position : positions) {
        TempDir dir;
        QWidget window;
        window.setMinimumSize(160, 37);
        window.setGeometry(50, 60, 300, 200);
        const int ppi = static_cast<int>(std::lround(window.logicalDpiY()));
        WriteFileBytes(dir.File("tellamo.INI"), "[TForm]\nPixelsPerInch=" + std::to_string(ppi) +
                                                    "\nNormPos=" + position + "\n");
        FormStorage storage(&window, "TForm", QString::fromStdString(dir.File("tellamo.INI")));
        storage.Restore();
        EXPECT_TRUE(available.contains(window.geometry()))
            << position << " gave " << window.geometry().x() << "," << window.geometry().y() << " "
            << window.width() << "x" << window.height();
    }
}

// A dialog of fixed size is put back where it was shown, opening after opening.
TEST(FormStorage, AFixedSizeWindowComesBackWhereItWas) {
    TempDir dir;
    const QString ini = QString::fromStdString(dir.File("tellamo.INI"));
    QWidget window;
    window.setFixedSize(300, 200);
    FormStorage storage(&window, "TForm", ini);
    storage.Restore();
    window.move(120, 90);
    const QRect shown = window.geometry();
    for (int opening = 0; opening < 5; ++opening) {
        ASSERT_EQ(storage.Save(), QString());
        window.move(0, 0);
        storage.Restore();
        EXPECT_EQ(window.geometry(), shown) << "opening " << opening;
    }
}

} // namespace
} // namespace tellamo::test
