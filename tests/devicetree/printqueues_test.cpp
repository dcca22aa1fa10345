#include "devicetree/printqueues.h"

#include <gtest/gtest.h>

using namespace devicetree;

struct UriCase {
    const char* uri;
    bool names;
};

class QueueMatching : public ::testing::TestWithParam<UriCase> {};

TEST_P(QueueMatching, UsbUriNamesTheDevice)
{
    const UsbPrinterIdentity device{"HP", "LaserJet Pro M404-M405", "PHB1234567"};
    const std::vector<PrintQueueBinding> queues{{"q", QString::fromUtf8(GetParam().uri)}};
    EXPECT_EQ(queuesNamingDevice(device, queues), GetParam().names ? QStringList{"q"} : QStringList{});
}

INSTANTIATE_TEST_SUITE_P(
    Uris, QueueMatching,
    ::testing::Values(UriCase{"usb://HP/LaserJet%20Pro%20M404-M405?serial=PHB1234567", true},
                      UriCase{"usb://HP/LaserJet%20Pro%20M404-M405?serial=PHB1234567&interface=1", true},
                      UriCase{"USB://Other/Name?serial=PHB1234567", true},
                      UriCase{"usb://HP/LaserJet%20Pro%20M404-M405?serial=OTHER", false},
                      UriCase{"usb://hp/laserjet%20pro%20m404-m405", true},
                      UriCase{"usb://HP/LaserJet%20Pro%20M404", false},
                      UriCase{"ipp://localhost:60000/ipp/print", false},
                      UriCase{"socket://10.203.0.9", false}, UriCase{"usb://", false}, UriCase{"", false},
                      UriCase{"usb://HP/%FF%FE?serial=%00", false}));

TEST(QueueMatchingLimits, OverLongUriIsIgnored)
{
    const UsbPrinterIdentity device{"HP", "X", "S"};
    const QString uri = "usb://HP/X?serial=S&pad=" + QString(5000, 'a');
    EXPECT_TRUE(queuesNamingDevice(device, {{"q", uri}}).isEmpty());
}

TEST(QueueMatchingLimits, DeviceWithoutSerialIsNotNamedBySerial)
{
    const UsbPrinterIdentity device{"HP", "X", ""};
    EXPECT_TRUE(queuesNamingDevice(device, {{"q", "usb://HP/X?serial="}}).size() == 1)
        << "an empty serial parameter counts as none";
    EXPECT_TRUE(queuesNamingDevice(device, {{"q", "usb://HP/X?serial=S"}}).isEmpty());
}
