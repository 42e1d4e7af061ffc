#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <optional>

#include "terminal/HeldPortsQuery.h"
#include "tests/support/EventPump.h"
#include "tests/vspd/VspdProcess.h"

// The port service's word on held ports, asked without waiting, against a real service.
namespace {

// The set of the next answer; nullopt when none came.
std::optional<QSet<QString>> NextAnswer(HeldPortsQuery& query) {
    std::optional<QSet<QString>> answer;
    const auto connection = QObject::connect(
        &query, &HeldPortsQuery::answered, [&answer](const QSet<QString>& held) { answer = held; });
    query.Ask();
    EXPECT_FALSE(answer) << "answered inside Ask";
    PumpUntil([&] { return answer.has_value(); });
    QObject::disconnect(connection);
    return answer;
}

TEST(HeldPortsQuery, AVirtualPortAProgramHoldsIsHeldAndNothingElse) {
    VspdProcess service;
    ASSERT_TRUE(service.Start());
    service.Install(7);
    service.Install(8);
    HeldPortsQuery query(QString::fromStdString(service.Socket()));
    EXPECT_EQ(NextAnswer(query), QSet<QString>{});

    // Another program holds COM7: asking opens nothing, so the service sees that program only.
    const int holder = ::open(service.ComLink(7).c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(holder, 0);
    ASSERT_TRUE(PumpUntil([&] { return service.EntryOf(7).ttyOpen != 0; }));
    EXPECT_EQ(NextAnswer(query), QSet<QString>{"COM7"});
    EXPECT_EQ(NextAnswer(query), QSet<QString>{"COM7"}) << "asked again";
    ::close(holder);
    ASSERT_TRUE(PumpUntil([&] { return service.EntryOf(7).ttyOpen == 0; }));
    EXPECT_EQ(NextAnswer(query), QSet<QString>{});
    EXPECT_EQ(service.LogText().find("refus"), std::string::npos) << service.LogText();
}

TEST(HeldPortsQuery, NoServiceAnswersWithNothingHeld) {
    HeldPortsQuery query(QStringLiteral("/nonexistent/veltro/control.sock"));
    EXPECT_EQ(NextAnswer(query), QSet<QString>{});
}

}  // namespace
