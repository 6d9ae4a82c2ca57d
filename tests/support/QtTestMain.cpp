#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests)) {
        return RUN_ALL_TESTS();
    }
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tellamo-test"));
    return RUN_ALL_TESTS();
}
