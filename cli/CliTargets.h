#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <optional>
#include <vector>

#include "cli/CliSession.h"

using CliMac = std::array<uint8_t, devrec::kMacSize>;

// A device named on the command line: by its address (four decimal parts) or by its MAC
// address (six hex pairs separated by ':' or '-', either case).
struct CliTarget {
    QString text;  // as given
    std::optional<uint32_t> ip;
    std::optional<CliMac> mac;
};

// nullopt for a text that is neither.
std::optional<CliTarget> ParseTarget(const QString& text);

// The MAC address as JSON carries it: lower case, colons ("00:1a:2b:3c:4d:5e").
QString NormalMac(const CliMac& mac);
// Six hexadecimal pairs joined by "-" or ":", in either case.
std::optional<CliMac> ParseMac(const QString& text);

// The devices the command line names, looked up in the session's list: each device once, in
// the order it was first named, however often and in whichever form it was named. A name
// that finds no listed device, an address that several listed devices report, or a MAC
// address two devices answered with, fails with the reason. The results come back in the same
// order.
class CliPlan {
  public:
    CliPlan(const CliSession& session, const std::vector<CliTarget>& targets);

    // The devices not settled yet, in order.
    std::vector<CliDevice> Devices() const;
    // The result of a device (found by its MAC address).
    void Settle(const CliResult& result);
    const std::vector<CliResult>& Results() const { return results_; }
    bool AllOk() const;

  private:
    std::vector<CliResult> results_;
    std::vector<bool> pending_;
};
