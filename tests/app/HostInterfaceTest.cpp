#include <gtest/gtest.h>

#include "app/HostInterface.h"
#include "platform/ScriptedPrompts.h"
#include "tests/support/FakeNetInterfaces.h"
#include "tests/support/FakeVspDriverQueries.h"

namespace {

class HostInterfaceTest : public ::testing::Test {
  protected:
    HostInterfaceTest() {
        net.hostAddresses = QStringList{"10.1.0.5", "172.16.0.9", "127.0.0.2"};
        net.adapters = std::vector<AdapterInfo>{{"eth0", "10.1.0.5", "255.255.0.0"},
                                                {"eth1", "172.16.0.9", "255.255.255.0"},
                                                {"lo", "127.0.0.2", "255.0.0.0"}};
    }

    HostInterface Select() {
        return SelectHostInterface(net, driver, prompts, stored,
                                   [this](const QStringList& list, int preselected) {
                                       offered.push_back(list);
                                       preselections.push_back(preselected);
                                       return answer;
                                   });
    }

    FakeNetInterfaces net;
    FakeVspDriverQueries driver;
    ScriptedPrompts prompts;
    QString stored = "0.0.0.0";
    int answer = 0;
    std::vector<QStringList> offered;
    std::vector<int> preselections;
};

}  // namespace

TEST_F(HostInterfaceTest, SingleAddressIsTakenAndReplacesAStaleSelection) {
    net.hostAddresses = QStringList{"172.16.0.9"};
    stored = "10.9.9.9";
    driver.anyConnected = true;
    EXPECT_EQ(Select(), (HostInterface{"172.16.0.9", "255.255.255.0"}));
    EXPECT_EQ(stored, "172.16.0.9");
    EXPECT_TRUE(offered.empty());
    EXPECT_TRUE(prompts.shown.empty());
}

TEST_F(HostInterfaceTest, SeveralAddressesOfferTheDialogAndStoreTheChoice) {
    answer = 1;
    EXPECT_EQ(Select(), (HostInterface{"172.16.0.9", "255.255.255.0"}));
    ASSERT_EQ(offered.size(), 1u);
    EXPECT_EQ(offered[0], (QStringList{"10.1.0.5", "172.16.0.9", "127.0.0.2"}));
    EXPECT_EQ(stored, "172.16.0.9");
    EXPECT_TRUE(prompts.shown.empty());

    answer = -1;  // a chooser without a selection leaves the preselected entry
    EXPECT_EQ(Select().address, "172.16.0.9");
}

TEST_F(HostInterfaceTest, TheSavedAddressIsPreselectedWhenListed) {
    struct Case {
        const char* stored;
        int preselected;
    };
    const Case cases[] = {
        {"0.0.0.0", 2},     // first start: the last entry
        {"10.1.0.5", 0},    // the saved one, not the last
        {"172.16.0.9", 1},  //
        {"10.9.9.9", 2},    // no longer listed: the last entry
    };
    for (const Case& c : cases) {
        stored = c.stored;
        preselections.clear();
        answer = -1;
        const HostInterface chosen = Select();
        ASSERT_EQ(preselections.size(), 1u) << c.stored;
        EXPECT_EQ(preselections[0], c.preselected) << c.stored;
        EXPECT_EQ(chosen.address, net.hostAddresses->at(c.preselected)) << c.stored;
    }
}

TEST_F(HostInterfaceTest, PortInUseKeepsTheStoredSelectionWithoutAsking) {
    struct Case {
        const char* name;
        bool busy;
        bool connected;
        QString stored;
        HostInterface expected;
        QString storedAfter;
        QStringList messages;
    };
    const Case cases[] = {
        {"connected, stored exists",
         false,
         true,
         "10.1.0.5",
         {"10.1.0.5", "255.255.0.0"},
         "10.1.0.5",
         {}},
        {"busy, first start takes the last",
         true,
         false,
         "0.0.0.0",
         {"127.0.0.2", "255.0.0.0"},
         "127.0.0.2",
         {}},
        {"connected, stored gone",
         false,
         true,
         "192.0.2.1",
         {"192.0.2.1", ""},
         "192.0.2.1",
         {kAdapterInfoFailedText}},
    };
    for (const Case& c : cases) {
        driver.busy = c.busy;
        driver.anyConnected = c.connected;
        stored = c.stored;
        prompts.Clear();
        EXPECT_EQ(Select(), c.expected) << c.name;
        EXPECT_EQ(stored, c.storedAfter) << c.name;
        EXPECT_EQ(prompts.Texts(), c.messages) << c.name;
    }
    EXPECT_TRUE(offered.empty());
}

TEST_F(HostInterfaceTest, LookupFailuresAreTold) {
    struct Case {
        const char* name;
        std::optional<QStringList> addresses;
        std::optional<std::vector<AdapterInfo>> adapters;
        HostInterface expected;
        QString storedAfter;
        QString message;
    };
    const std::vector<AdapterInfo> secondAddressOnly{{"eth0", "10.1.0.4", "255.255.0.0"}};
    const Case cases[] = {
        {"no address list", std::nullopt, net.adapters, {}, "0.0.0.0", kHostLookupFailedText},
        {"empty address list", QStringList{}, net.adapters, {}, "0.0.0.0", kNoAdaptersText},
        {"no adapter table",
         QStringList{"10.1.0.5"},
         std::nullopt,
         {"10.1.0.5", ""},
         "10.1.0.5",
         kAdapterInfoFailedText},
        {"address is not an adapter's first",
         QStringList{"10.1.0.5"},
         secondAddressOnly,
         {"10.1.0.5", ""},
         "10.1.0.5",
         kAdapterInfoFailedText},
    };
    for (const Case& c : cases) {
        net.hostAddresses = c.addresses;
        net.adapters = c.adapters;
        stored = "0.0.0.0";
        prompts.Clear();
        EXPECT_EQ(Select(), c.expected) << c.name;
        EXPECT_EQ(stored, c.storedAfter) << c.name;
        EXPECT_EQ(prompts.Texts(), QStringList{c.message}) << c.name;
    }
}
