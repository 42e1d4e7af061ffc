#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <memory>

#include "app/SingleInstance.h"
#include "tests/support/EventPump.h"

TEST(SingleInstance, ASecondCopyRaisesTheFirstAndLeavesAndAThirdRunsOnceTheFirstHasGone) {
    QTemporaryDir runtime;
    auto first = std::make_unique<SingleInstance>(runtime.path());
    ASSERT_TRUE(first->Claim());
    int raised = 0;
    QObject::connect(first.get(), &SingleInstance::raiseRequested, [&] { ++raised; });

    SingleInstance second(runtime.path());
    EXPECT_FALSE(second.Claim());
    EXPECT_TRUE(PumpUntil([&] { return raised == 1; }));

    first.reset();
    SingleInstance third(runtime.path());
    EXPECT_TRUE(third.Claim());
}
