// TXT records and IPP answers as hostile hosts may send them, and the report
// a merged printer gets.

#include "discovery/dnssdtxt.h"
#include "discovery/ippattributes.h"
#include "discovery/netprintermerge.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cups/ipp.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

using namespace discovery;

namespace {

TEST(DnssdTxt, readsThePrinterKeysOfARealRecord)
{
    const DnssdTxt txt = parseTxtStrings({"txtvers=1", "qtotal=1", "rp=ipp/print", "ty=Brother MFC-L3770CDW series",
                                          "product=(MFC-L3770CDW series)", "usb_MFG=Brother",
                                          "usb_MDL=MFC-L3770CDW series", "pdl=application/octet-stream,image/urf",
                                          "UUID=E3248000-80CE-11DB-8000-30055C773BCF",
                                          "adminurl=http://printer.local/", "Color=T", "Duplex=F", "URF=W8,CP1"});
    EXPECT_EQ(txt.ty, "Brother MFC-L3770CDW series");
    EXPECT_EQ(txt.product, "(MFC-L3770CDW series)");
    EXPECT_EQ(txt.usbMfg, "Brother");
    EXPECT_EQ(txt.usbMdl, "MFC-L3770CDW series");
    EXPECT_EQ(txt.pdl, "application/octet-stream,image/urf");
    EXPECT_EQ(txt.uuid, "e3248000-80ce-11db-8000-30055c773bcf");
    EXPECT_EQ(txt.rp, "ipp/print");
    EXPECT_EQ(txt.adminUrl, "http://printer.local/");
    EXPECT_EQ(txt.urf, "W8,CP1");
    EXPECT_TRUE(txt.color);
    EXPECT_FALSE(txt.duplex);
}

TEST(DnssdTxt, keepsTheFirstOfRepeatedKeysAndIgnoresCaseOfKeys)
{
    const DnssdTxt txt = parseTxtStrings({"USB_mfg=First", "usb_MFG=Second", "=orphan", "Color", "duplex=t"});
    EXPECT_EQ(txt.usbMfg, "First");
    EXPECT_FALSE(txt.color);
    EXPECT_TRUE(txt.duplex);
}

struct Rejected {
    const char* name;
    const char* entry;
};

void PrintTo(const Rejected& rejected, std::ostream* os)
{
    *os << rejected.name;
}

class DnssdTxtRejects : public ::testing::TestWithParam<Rejected> {};

TEST_P(DnssdTxtRejects, unsafeValuesAreDropped)
{
    const DnssdTxt txt = parseTxtStrings({GetParam().entry});
    EXPECT_EQ(txt.rp, "");
    EXPECT_EQ(txt.adminUrl, "");
    EXPECT_EQ(txt.uuid, "");
}

INSTANTIATE_TEST_SUITE_P(Table, DnssdTxtRejects,
                         ::testing::Values(Rejected{"pathClimbsOut", "rp=../../etc/passwd"},
                                           Rejected{"pathIsAbsolute", "rp=/absolute"},
                                           Rejected{"pathHasAQuery", "rp=ipp/print?x=1"},
                                           Rejected{"pathHasASpace", "rp=a b"},
                                           Rejected{"linkIsScript", "adminurl=javascript:alert(1)"},
                                           Rejected{"linkHasAQuote", "adminurl=http://x/\"onmouseover=1"},
                                           Rejected{"linkIsAFile", "adminurl=file:///etc/passwd"},
                                           Rejected{"uuidIsWords", "UUID=not a uuid"},
                                           Rejected{"uuidLacksADash", "UUID=e3248000x80ce-11db-8000-30055c773bcf"},
                                           Rejected{"uuidIsTooLong", "UUID=e3248000-80ce-11db-8000-30055c773bcf0"}),
                         [](const ::testing::TestParamInfo<Rejected>& param) { return std::string(param.param.name); });

TEST(DnssdTxt, anyBytesAreKeptAndBounded)
{
    std::string hostile = "usb_MDL=";
    hostile += std::string("\xff\xfe\0\x01<b>", 7);
    hostile += std::string(400, 'A');
    const DnssdTxt txt = parseTxtStrings({hostile});
    EXPECT_EQ(txt.usbMdl.size(), kTxtValueLimit - 8);
    EXPECT_EQ(txt.usbMdl.substr(0, 7), std::string("\xff\xfe\0\x01<b>", 7));
}

TEST(DnssdTxt, wireFormStopsAtATruncatedString)
{
    const std::uint8_t wire[] = {5, 't', 'y', '=', 'A', 'B', 9, 'u', 's', 'b', '_', 'M', 'F', 'G'};
    const DnssdTxt txt = parseTxtRecord(wire, sizeof wire);
    EXPECT_EQ(txt.ty, "AB");
    EXPECT_EQ(txt.usbMfg, "");
    EXPECT_EQ(parseTxtRecord(nullptr, 0).ty, "");
}

TEST(DnssdTxt, driverlessFormats)
{
    EXPECT_TRUE(listsDriverlessFormat("application/octet-stream, image/pwg-raster"));
    EXPECT_TRUE(listsDriverlessFormat("APPLICATION/PDF"));
    EXPECT_FALSE(listsDriverlessFormat("application/vnd.hp-PCL,image/urf"));
    EXPECT_FALSE(listsDriverlessFormat(""));
}

// An IPP answer as a printer sends it, written with libcups.
std::string responseBytes(ipp_t* response)
{
    struct Sink {
        std::string bytes;
    } sink;
    auto write = [](void* context, ipp_uchar_t* buffer, size_t bytes) -> ssize_t {
        static_cast<Sink*>(context)->bytes.append(reinterpret_cast<const char*>(buffer), bytes);
        return static_cast<ssize_t>(bytes);
    };
    ippWriteIO(&sink, write, 1, nullptr, response);
    return sink.bytes;
}

TEST(IppAttributes, readsWhatTheSearchAsksFor)
{
    ipp_t* response = ippNew();
    ippSetStatusCode(response, IPP_STATUS_OK);
    ippSetRequestId(response, 1);
    ippAddString(response, IPP_TAG_OPERATION, IPP_TAG_CHARSET, "attributes-charset", nullptr, "utf-8");
    ippAddString(response, IPP_TAG_PRINTER, IPP_TAG_TEXT, "printer-make-and-model", nullptr, "Canon G7000 series");
    ippAddString(response, IPP_TAG_PRINTER, IPP_TAG_TEXT, "printer-device-id", nullptr,
                 "MFG:Canon;MDL:G7000 series;CMD:PDF,PWG;");
    ippAddString(response, IPP_TAG_PRINTER, IPP_TAG_URI, "printer-uuid", nullptr,
                 "urn:uuid:D35F2AE5-3A46-3882-4D08-56E7B5D7CE96");
    ippAddString(response, IPP_TAG_PRINTER, IPP_TAG_URI, "printer-more-info", nullptr, "javascript:alert(1)");
    const char* formats[] = {"application/octet-stream", "image/pwg-raster"};
    ippAddStrings(response, IPP_TAG_PRINTER, IPP_TAG_MIMETYPE, "document-format-supported", 2, nullptr, formats);
    ippAddInteger(response, IPP_TAG_PRINTER, IPP_TAG_INTEGER, "ipp-features-supported", 7);
    const std::string bytes = responseBytes(response);
    ippDelete(response);

    const auto attributes = parseIppResponse(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    ASSERT_TRUE(attributes);
    EXPECT_EQ(attributes->makeAndModel, "Canon G7000 series");
    EXPECT_EQ(attributes->deviceId, "MFG:Canon;MDL:G7000 series;CMD:PDF,PWG;");
    EXPECT_EQ(attributes->uuid, "d35f2ae5-3a46-3882-4d08-56e7b5d7ce96");
    EXPECT_EQ(attributes->moreInfo, "");
    EXPECT_EQ(attributes->formats, (std::vector<std::string>{"application/octet-stream", "image/pwg-raster"}));
    EXPECT_FALSE(attributes->ippEverywhere) << "an integer is no keyword";
    EXPECT_TRUE(attributes->driverless());
}

TEST(IppAttributes, aFailedOrCutAnswerGivesNothing)
{
    ipp_t* response = ippNew();
    ippSetStatusCode(response, IPP_STATUS_ERROR_NOT_FOUND);
    ippSetRequestId(response, 1);
    const std::string refused = responseBytes(response);
    ippDelete(response);
    EXPECT_FALSE(parseIppResponse(reinterpret_cast<const std::uint8_t*>(refused.data()), refused.size()));
    EXPECT_FALSE(parseIppResponse(reinterpret_cast<const std::uint8_t*>(refused.data()), 5));
    EXPECT_FALSE(parseIppResponse(nullptr, 0));
}

QJsonObject detailsOf(const NetPrinterInfo& info)
{
    return QJsonDocument::fromJson(QByteArray::fromStdString(info.details)).object();
}

TEST(PrinterReport, aDnssdPrinterTakesItsNamesFromTheIppDeviceId)
{
    PrinterCandidate c;
    c.address = "10.0.0.5";
    c.fromDnssd = true;
    c.dnssdName = "Office";
    c.serviceTypes = {"_ipp._tcp"};
    c.txt.usbMfg = "TxtMaker";
    c.txt.usbMdl = "TxtModel";
    c.ipp.address = c.address;
    c.ipp.port = 8631;
    c.ippKnown = true;
    c.attributes = PrinterAttributes{};
    c.attributes->deviceId = "MFG:Acme;MDL:Jet 100;";
    c.attributes->makeAndModel = "Acme Jet 100";
    c.attributes->ippEverywhere = true;
    c.uuid = "d35f2ae5-3a46-3882-4d08-56e7b5d7ce96";
    const NetPrinterInfo info = reportFor(c);
    EXPECT_EQ(info.ip, "10.0.0.5");
    EXPECT_EQ(info.mfg, "Acme");
    EXPECT_EQ(info.mdl, "Jet 100");
    EXPECT_EQ(detailsOf(info),
              QJsonObject({{"uri", "ipp://10.0.0.5:8631/ipp/print"},
                           {"port", 8631},
                           {"driverless", true},
                           {"uuid", "d35f2ae5-3a46-3882-4d08-56e7b5d7ce96"},
                           {"dnssdName", "Office"},
                           {"makeAndModel", "Acme Jet 100"},
                           {"services", QJsonArray{"_ipp._tcp"}},
                           {"source", QJsonArray{"dnssd", "ipp"}}}));
}

TEST(PrinterReport, fallsBackToTxtThenToMakeAndModel)
{
    PrinterCandidate c;
    c.address = "10.0.0.6";
    c.fromDnssd = true;
    c.txt.usbMfg = "Xerox";
    c.txt.usbMdl = "VersaLink C400";
    c.txt.ty = "Xerox VersaLink C400 PS";
    EXPECT_EQ(reportFor(c).mfg, "Xerox");
    EXPECT_EQ(reportFor(c).mdl, "VersaLink C400");
    c.txt.usbMfg.clear();
    c.txt.usbMdl.clear();
    EXPECT_EQ(reportFor(c).mfg, "Xerox");
    EXPECT_EQ(reportFor(c).mdl, "VersaLink C400 PS");
}

TEST(PrinterReport, anSnmpPrinterKeepsItsOwnNames)
{
    PrinterCandidate c;
    c.address = "10.0.0.7";
    c.snmp = NetPrinterInfo{"10.0.0.7", "MFG:HP;MDL:LaserJet;", "HP", "LaserJet", ""};
    c.ipp.address = c.address;
    c.ippKnown = true;
    const NetPrinterInfo info = reportFor(c);
    EXPECT_EQ(info.mfg, "HP");
    EXPECT_EQ(info.mdl, "LaserJet");
    EXPECT_EQ(info.deviceId, "MFG:HP;MDL:LaserJet;");
    EXPECT_EQ(detailsOf(info), QJsonObject({{"port", 631}, {"driverless", false}, {"source", QJsonArray{"snmp"}}}));
}

}  // namespace
