// Manufacturer and model as the page shows them, from the device ids printers
// really send.

#include "discovery/deviceid.h"
#include "discovery/netprinterinfo.h"

#include <QVariant>
#include <gtest/gtest.h>

using discovery::parseDeviceId;

namespace {

struct DeviceIdCase {
    const char* name;
    std::string text;
    std::string manufacturer;
    std::string model;
};

void PrintTo(const DeviceIdCase& c, std::ostream* os)
{
    *os << c.name;
}

class NetworkDeviceId : public testing::TestWithParam<DeviceIdCase> {};

TEST_P(NetworkDeviceId, givesManufacturerAndModel)
{
    const DeviceIdCase& c = GetParam();
    const auto fields = parseDeviceId(c.text);
    EXPECT_EQ(fields.manufacturer, c.manufacturer);
    EXPECT_EQ(fields.model, c.model);
}

const DeviceIdCase kCases[] = {
    // The rules, one at a time.
    {"shortPairs", "MFG:ACME;MDL:Laser 100;CLS:PRINTER;", "ACME", "Laser 100"},
    {"longPairs", "MANUFACTURER:ACME;MODEL:Laser 100;", "ACME", "Laser 100"},
    {"lastPairWithoutSemicolonIsIgnored", "MFG:ACME;MDL:Laser 100", "ACME", ""},
    {"spaceAfterSemicolonBelongsToTheKey", "ACME; MDL:X;", "", ""},
    {"lowerCaseKeySetsNothing", "mfg:acme;", "", ""},
    {"segmentWithoutColon", "ACME;MDL:X;", "", "X"},
    {"emptySegments", ";;MFG:A;;", "A", ""},
    {"emptyText", "", "", ""},
    {"laterPairWins", "MDL:A;MDL:B;", "", "B"},
    {"longKeyThenShortKey", "MANUFACTURER:A;MFG:B;MODEL:C;MDL:D;", "B", "D"},
    {"valueKeepsItsColons", "MFG:A:B;MDL:x:y:z;", "A:B", "x:y:z"},
    {"valueIsNotTrimmed", "MFG: ACME ;MDL:;", " ACME ", ""},
    {"emptyKey", ":ACME;MFG:;", "", ""},
    {"keyWithTrailingSpace", "MFG :ACME;MDL:X;", "", "X"},
    // Real printers.
    {"hpLaserJet",
     "MFG:Hewlett-Packard;CMD:PJL,PML,POSTSCRIPT,PCLXL,PCL;MDL:HP Color LaserJet CP2025dn;CLS:PRINTER;"
     "DES:Hewlett-Packard Color LaserJet CP2025dn;MEM:MEM=55MB;COMMENT:RES=600x8;",
     "Hewlett-Packard", "HP Color LaserJet CP2025dn"},
    {"hpOfficeJetWithLedm",
     "MFG:HP;MDL:Officejet Pro 8600;CMD:PCL3GUI,PCL3,PJL,Automatic,JPEG,PCLM,AppleRaster,PWGRaster,DW-PCL,802.11,"
     "DESKJET,DYN;CLS:PRINTER;DES:CM749A;CID:HPIJVIPAV1;LEDMDIS:USB#FF#CC#00,USB#07#01#02,USB#FF#04#01;SN:CN1234567X;"
     "S:038080C484001021002c1f0005ac2c180007;Z:05000009000009000009000009,12000,17000000000000,181;",
     "HP", "Officejet Pro 8600"},
    {"brother",
     "MFG:Brother;CMD:PJL,PCL,PCLXL,URF;MDL:HL-L2350DW series;CLS:PRINTER;CID:Brother Laser Type1;"
     "URF:W8,CP1,IS4-1,MT1-3-4-5-8,OB10,PQ4,RS300-600,V1.3,DM1;",
     "Brother", "HL-L2350DW series"},
    {"epsonWithManyFields",
     "MFG:EPSON;CMD:ESCPL2,BDC,D4,D4PX,ESCPR7,END4,GENEP,URF;MDL:ET-2750 Series;CLS:PRINTER;DES:EPSON ET-2750 Series;"
     "CID:EpsonRGB;FID:FXN,DPA,WFA,ETN,AFN,DAN,WRA;RID:20;DDS:022500;ELG:1263;",
     "EPSON", "ET-2750 Series"},
    {"canon", "MFG:Canon;CMD:URF,CPCA;SOJ:TXT01;MDL:MF240 Series;CLS:PRINTER;DES:Canon MF240 Series;", "Canon",
     "MF240 Series"},
    {"lexmarkLongKeys",
     "MANUFACTURER:Lexmark International;COMMAND SET:PCL 6 Emulation,PostScript Level 3 Emulation,PJL;"
     "MODEL:Lexmark MS410dn;CLS:PRINTER;",
     "Lexmark International", "Lexmark MS410dn"},
    {"xeroxModelFirst", "MDL:WorkCentre 6515;MFG:Xerox;CMD:PCL6,PostScript,PJL;CLS:PRINTER;", "Xerox",
     "WorkCentre 6515"},
    {"ricohMissingFinalSemicolon", "MFG:RICOH;CMD:PJL,RPCS,PCLXL,PCL;MDL:SP C261DNw", "RICOH", ""},
    {"kyoceraLowerCaseKeys", "mfg:KYOCERA;mdl:ECOSYS P2040dn;cmd:PCLXL,PostScript;", "", ""},
    {"samsungMixedCaseKeys", "Mfg:Samsung;MDL:M2070 Series;CMD:SPL,FWV,PIC,BDN,EXT;CLS:PRINTER;", "", "M2070 Series"},
    {"zebraSpacesAfterSemicolons", "MFG:Zebra Technologies; CMD:ZPL; MDL:ZTC GK420d; CLS:PRINTER;",
     "Zebra Technologies", ""},
    {"bytesThatAreNotUtf8", "MFG:\xc4\xe3\xba\xc3;MDL:\xff\xfe;", "\xc4\xe3\xba\xc3", "\xff\xfe"},
};

INSTANTIATE_TEST_SUITE_P(Cases, NetworkDeviceId, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<DeviceIdCase>& param) { return std::string(param.param.name); });

TEST(NetworkDeviceIdBytes, embeddedZeroByteIsJustAByte)
{
    const std::string text("MFG:A\0B;MDL:C;", 14);
    const auto fields = parseDeviceId(text);
    EXPECT_EQ(fields.manufacturer, std::string("A\0B", 3));
    EXPECT_EQ(fields.model, "C");
}

TEST(NetworkPrinterInfo, travelsInAVariantUnderItsName)
{
    const int id = qRegisterMetaType<NetPrinterInfo>("NetPrinterInfo");
    EXPECT_EQ(QMetaType::type("NetPrinterInfo"), id);
    const NetPrinterInfo info{"10.203.7.20", "MFG:A;MDL:B;", "A", "B"};
    const QVariant variant = QVariant::fromValue(info);
    const auto back = variant.value<NetPrinterInfo>();
    EXPECT_EQ(back.ip, info.ip);
    EXPECT_EQ(back.deviceId, info.deviceId);
    EXPECT_EQ(back.mfg, "A");
    EXPECT_EQ(back.mdl, "B");
}

}  // namespace
