#include "transfer/transfersettings.h"

#include "base/settingsfile.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

namespace {

struct BatchKeysCase {
    const char* name;
    const char* batch;  // the [Batch] section's lines
    int probeTimeoutMs;
    int requests;
    long connectMs;
    long stallMs;
    const char* activePort;
};

void PrintTo(const BatchKeysCase& c, std::ostream* out)
{
    *out << c.name;
}

class BatchKeys : public ::testing::TestWithParam<BatchKeysCase> {};

TEST_P(BatchKeys, SetTheLimitsOrKeepTheDefaults)
{
    TempDir dir;
    SettingsFile settings;
    settings.setPath(dir.write("Orbiphon.ini", std::string("[Batch]\n") + GetParam().batch));
    const TransferSettings limits = transferSettingsFrom(settings);
    EXPECT_EQ(limits.probe.timeoutMs, GetParam().probeTimeoutMs);
    EXPECT_EQ(limits.probe.requests, GetParam().requests);
    EXPECT_EQ(limits.ftpTimeouts().connect.count(), GetParam().connectMs);
    EXPECT_EQ(limits.ftpTimeouts().stall.count(), GetParam().stallMs);
    EXPECT_EQ(limits.ftpTimeouts().activePort, GetParam().activePort);
}

INSTANTIATE_TEST_SUITE_P(
    Files, BatchKeys,
    ::testing::Values(
        BatchKeysCase{"NoKeysAreTheDefaults", "", 1000, 1, 15000, 30000, "-"},
        BatchKeysCase{"EveryKey",
                      "ProbeTimeout=250\nRetries=3\nTimeout=5\nStallTimeout=60\n"
                      "DataPorts=50000-50099\nLocalAddress=192.0.2.10\n",
                      250, 3, 5000, 60000, "192.0.2.10:50000-50099"},
        BatchKeysCase{"PortsAloneKeepTheDefaultAddress", "DataPorts=50000-50000", 1000, 1, 15000,
                      30000, ":50000-50000"},
        BatchKeysCase{"AddressAloneLetsTheSystemPickThePort", "LocalAddress=127.0.0.1", 1000, 1,
                      15000, 30000, "127.0.0.1"},
        BatchKeysCase{"OutOfRangeKeepsTheDefault",
                      "ProbeTimeout=0\nRetries=11\nTimeout=3601\nStallTimeout=-1\n"
                      "DataPorts=1023-2000\nLocalAddress=10.0.0.256\n",
                      1000, 1, 15000, 30000, "-"},
        BatchKeysCase{"NotNumbersKeepTheDefault",
                      "ProbeTimeout=1e3\nRetries=two\nTimeout= \nDataPorts=60000-50000\n"
                      "LocalAddress=eth0\n",
                      1000, 1, 15000, 30000, "-"}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(NoEchoReason, SaysHowManyRequestsWentUnanswered)
{
    EXPECT_EQ(noEchoReason(ProbeSettings{}), "no answer to the echo request within 1000 ms");
    EXPECT_EQ(noEchoReason(ProbeSettings{200, 3}), "no answer to 3 echo requests within 200 ms each");
}

}  // namespace
