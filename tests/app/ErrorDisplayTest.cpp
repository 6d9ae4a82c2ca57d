#include <gtest/gtest.h>

#include <QAction>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "app/TellamoApplication.h"
#include "common/Errors.h"
#include "mainwindow/Messages.h"

namespace tellamo::test {
namespace {

TEST(GeneralErrorDisplay, AnErrorInACommandIsShownAndTheProgramGoesOn) {
    QStringList shown;
    SetMessageHandler([&](MessageKind kind, const QString& text, const QString& caption) {
        EXPECT_EQ(kind, MessageKind::ApplicationError);
        shown << caption + ": " + text;
        return true;
    });
    QGuiApplication::setApplicationDisplayName("Tellamo");

    // A command whose handler raises, started by a click on its button.
    QAction command("Fail");
    QToolButton button;
    int runs = 0;
    ConnectCommand(&command, &button, [&] {
        ++runs;
        throw TellamoError("Cannot open \"x.wav\": No such file or directory");
    });
    button.setDefaultAction(&command);
    button.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&button));
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(shown, QStringList{"Tellamo: Cannot open \"x.wav\": No such file or directory"});

    // The loop still delivers events and the same command runs again.
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(runs, 2);
    EXPECT_EQ(shown.size(), 2);

    // Any other handler that raises is caught by the application object, as a last resort.
    QTimer::singleShot(0, [] { throw TellamoError("late failure"); });
    bool later = false;
    QTimer::singleShot(5, [&] { later = true; });
    QTRY_VERIFY(later);
    EXPECT_EQ(shown.size(), 3);
    EXPECT_EQ(shown.value(2), "Tellamo: late failure");
    SetMessageHandler({});
}

} // namespace
} // namespace tellamo::test

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    tellamo::TellamoApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
