#include "devicetree/deviceconstants.h"
#include "devicetree/deviceutils.h"
#include "devicetree/ieee1284fields.h"
#include "devicetree/windowsnames.h"
#include "support/testsupport.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace devicetree;

struct HashCase {
    const char* text;
    std::uint32_t expected;
};

class InstanceIdHash : public ::testing::TestWithParam<HashCase> {};

TEST_P(InstanceIdHash, MatchesTheKnownValues)
{
    EXPECT_EQ(instanceIdHash(QString::fromUtf8(GetParam().text)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Vectors, InstanceIdHash,
                         ::testing::Values(HashCase{"HTREE\\ROOT\\0", kRootInstanceIdHash},
                                           HashCase{"htree\\root\\0", kRootInstanceIdHash},
                                           HashCase{"HtReE\\rOoT\\0", kRootInstanceIdHash},
                                           HashCase{"", 0u}, HashCase{"A", 65u},
                                           HashCase{"ab", 65u * 65599u + 66u}));

TEST(InstanceIdHashAlgorithms, OnlyTheSecondExists)
{
    QTemporaryDir dir;
    testsupport::ScopedEnv env("KORVANE_DEVICE_LOG", dir.filePath("mysimple.log").toUtf8());
    EXPECT_NE(instanceIdHash("abc", false, 2), instanceIdHash("abc", true, 2));
    EXPECT_EQ(instanceIdHash("abc", true, 7), 0u);
    for (int algorithm : {0, 1}) {
        try {
            instanceIdHash("abc", true, algorithm);
            ADD_FAILURE() << "algorithm " << algorithm << " did not raise";
        } catch (const DeviceTreeError& error) {
            EXPECT_STREQ(error.what(), "unimplement");
        }
    }
    EXPECT_EQ(testsupport::readFile(dir.filePath("mysimple.log")).count("unimplement"), 2);
}

TEST(ComputerName, IsTheHostName)
{
    EXPECT_FALSE(computerName().isEmpty());
}

struct FieldsCase {
    const char* id;
    const char* make;
    const char* model;
    const char* serial;
};

class Ieee1284FieldsParse : public ::testing::TestWithParam<FieldsCase> {};

TEST_P(Ieee1284FieldsParse, TakesWhatTheDeviceSays)
{
    const Ieee1284Fields fields = parseIeee1284Fields(QString::fromUtf8(GetParam().id));
    EXPECT_EQ(fields.manufacturer, QString::fromUtf8(GetParam().make));
    EXPECT_EQ(fields.model, QString::fromUtf8(GetParam().model));
    EXPECT_EQ(fields.serial, QString::fromUtf8(GetParam().serial));
}

INSTANTIATE_TEST_SUITE_P(
    Ids, Ieee1284FieldsParse,
    ::testing::Values(FieldsCase{"MFG:HP;MDL:LaserJet Pro;CLS:PRINTER;SN:X1;", "HP", "LaserJet Pro", "X1"},
                      FieldsCase{"MANUFACTURER:Acme;MODEL:Jet 1;SERIALNUMBER:9", "Acme", "Jet 1", "9"},
                      FieldsCase{" mfg : Brother ; mdl:HL-2030;", "Brother", "HL-2030", ""},
                      FieldsCase{"no fields here;;:x;", "", "", ""}, FieldsCase{"", "", "", ""},
                      FieldsCase{"MDL:A;MDL:B;", "", "B", ""}));

TEST(WindowsNames, DriversAreNamedByTheirWindowsTwins)
{
    const std::pair<const char*, const char*> twins[] = {
        {"usblp", "usbprint"}, {"usb-storage", "USBSTOR"}, {"usbhid", "HidUsb"}, {"hub", "usbhub"},
        {"uvcvideo", "usbvideo"}, {"btusb", "BTHUSB"}, {"cdc_acm", "cdc_acm"}, {"", ""},
    };
    for (const auto& [driver, service] : twins)
        EXPECT_EQ(serviceForDriver(QString::fromUtf8(driver)), QString::fromUtf8(service)) << driver;
    EXPECT_EQ(classDescription("Printer"), "Printers");
    EXPECT_TRUE(classDescription("pci").isEmpty());
    EXPECT_EQ(interfaceDescription(0x07), "USB Printing Support");
}
