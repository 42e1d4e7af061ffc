#include <gtest/gtest.h>

#include <QCoreApplication>

#include "tests/support/TestNamespace.h"

int main(int argc, char** argv) {
    EnterTestNamespace(argv);
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
