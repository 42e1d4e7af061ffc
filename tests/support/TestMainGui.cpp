#include <gtest/gtest.h>

#include <QApplication>

#include "tests/support/TestNamespace.h"

int main(int argc, char** argv) {
    EnterTestNamespace(argv);
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
