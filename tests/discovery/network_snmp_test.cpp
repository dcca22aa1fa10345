// The SNMP messages of the device-id query and the route table reading, on
// bytes and texts made up here.

#include "discovery/netscanroutes.h"
#include "discovery/netscansnmp.h"
#include "discovery/netscansweep.h"
#include "discovery/snmpmessage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace discovery;
using Bytes = std::vector<std::uint8_t>;

namespace {

Bytes fromHex(std::string hex)
{
    hex.erase(std::remove(hex.begin(), hex.end(), ' '), hex.end());
    Bytes out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

Bytes tlv(std::uint8_t tag, const Bytes& content)
{
    Bytes out{tag};
    if (content.size() < 0x80) {
        out.push_back(static_cast<std::uint8_t>(content.size()));
    } else {
        out.push_back(0x82);
        out.push_back(static_cast<std::uint8_t>(content.size() >> 8));
        out.push_back(static_cast<std::uint8_t>(content.size()));
    }
    out.insert(out.end(), content.begin(), content.end());
    return out;
}

Bytes cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

Bytes text(const std::string& value)
{
    return Bytes(value.begin(), value.end());
}

const Bytes kDeviceIdOidBytes = fromHex("2b0601040195 0b01020102010103 01");
const Bytes kSysDescrOidBytes = fromHex("2b06010201010100");

Bytes varbind(const Bytes& oid, std::uint8_t type, const Bytes& value)
{
    return tlv(0x30, cat({tlv(0x06, oid), tlv(type, value)}));
}

Bytes response(const Bytes& varbinds, const Bytes& requestId = fromHex("1234"), const std::string& community = "public",
               std::uint8_t errorStatus = 0, std::uint8_t pduTag = 0xa2)
{
    const Bytes pdu = cat({tlv(0x02, requestId), tlv(0x02, {errorStatus}), tlv(0x02, {0}), tlv(0x30, varbinds)});
    return tlv(0x30, cat({tlv(0x02, {0}), tlv(0x04, text(community)), tlv(pduTag, pdu)}));
}

TEST(SnmpMessage, getRequestIsTheExpectedBytes)
{
    const Bytes request = snmp::encodeGetRequest("public", 0x1234, {deviceIdOid()});
    const Bytes expected = fromHex("302e 020100 0406 7075626c6963 a021 02021234 020100 020100"
                                   " 3015 3013 060f 2b06010401950b01020102010103 01 0500");
    EXPECT_EQ(request, expected);
}

TEST(SnmpMessage, requestIdsKeepTheirSign)
{
    // 0x80 alone would read as negative: a zero byte goes in front.
    const Bytes request = snmp::encodeGetRequest("p", 0x80, {{1, 3}});
    EXPECT_EQ(request, fromHex("301b 020100 040170 a013 02020080 020100 020100 3007 3005 06012b 0500"));
    EXPECT_TRUE(snmp::encodeGetRequest("p", 1, {{3, 1}}).empty()) << "first part above 2";
    EXPECT_TRUE(snmp::encodeGetRequest("p", 1, {{1}}).empty()) << "one part";
}

TEST(SnmpMessage, responseIsDecoded)
{
    const Bytes datagram = response(cat({varbind(kSysDescrOidBytes, 0x04, text("box")),
                                         varbind(kDeviceIdOidBytes, 0x04, text("MFG:A;MDL:B;"))}));
    const auto decoded = snmp::decodeResponse(datagram.data(), datagram.size());
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->version, 0);
    EXPECT_EQ(decoded->community, "public");
    EXPECT_EQ(decoded->requestId, 0x1234);
    EXPECT_EQ(decoded->errorStatus, 0);
    ASSERT_EQ(decoded->varbinds.size(), 2u);
    EXPECT_EQ(snmp::oidText(decoded->varbinds[0].oid), "1.3.6.1.2.1.1.1.0");
    EXPECT_EQ(decoded->varbinds[0].value, "box");
    EXPECT_EQ(decoded->varbinds[1].oid, deviceIdOid());
    EXPECT_EQ(decoded->varbinds[1].type, snmp::kTagOctetString);
    EXPECT_EQ(decoded->varbinds[1].value, "MFG:A;MDL:B;");
}

TEST(SnmpMessage, longValuesUseLongLengths)
{
    const std::string id(3000, 'x');
    const Bytes datagram = response(varbind(kDeviceIdOidBytes, 0x04, text(id)));
    const auto decoded = snmp::decodeResponse(datagram.data(), datagram.size());
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->varbinds.at(0).value, id);
}

TEST(SnmpMessage, everyCutShortResponseIsRefused)
{
    const Bytes datagram = response(varbind(kDeviceIdOidBytes, 0x04, text("MFG:A;")));
    for (std::size_t size = 0; size < datagram.size(); ++size)
        EXPECT_FALSE(snmp::decodeResponse(datagram.data(), size).has_value()) << size;
}

struct BadResponse {
    const char* name;
    Bytes bytes;
};

void PrintTo(const BadResponse& c, std::ostream* os)
{
    *os << c.name;
}

class SnmpBadResponse : public testing::TestWithParam<BadResponse> {};

TEST_P(SnmpBadResponse, isRefused)
{
    const Bytes& bytes = GetParam().bytes;
    EXPECT_FALSE(snmp::decodeResponse(bytes.data(), bytes.size()).has_value());
}

Bytes manyVarbinds(std::size_t count)
{
    Bytes list;
    for (std::size_t i = 0; i < count; ++i)
        list = cat({list, varbind(kSysDescrOidBytes, 0x05, {})});
    return list;
}

const BadResponse kBadResponses[] = {
    {"trailingByte", cat({response(varbind(kDeviceIdOidBytes, 0x04, text("x"))), {0}})},
    {"getRequestNotResponse", response(varbind(kDeviceIdOidBytes, 0x05, {}), fromHex("01"), "public", 0, 0xa0)},
    {"indefiniteLength", fromHex("3080 020100 0000")},
    {"lengthPastTheEnd", fromHex("3005 020100")},
    {"fiveByteLength", fromHex("30850000000003 020100")},
    {"nineByteInteger", response({}, fromHex("010203040506070809"))},
    {"emptyInteger", response({}, {})},
    {"multiByteTag", fromHex("3f0100")},
    {"oidWithLeadingZeroGroup", response(varbind(fromHex("2b8001"), 0x05, {}))},
    {"oidUnfinished", response(varbind(fromHex("2b86"), 0x05, {}))},
    {"oidPartTooLarge", response(varbind(fromHex("2b9080808000"), 0x05, {}))},
    {"oidTooLong", response(varbind(cat({{0x2b}, Bytes(snmp::kMaxOidParts, 0x01)}), 0x05, {}))},
    {"tooManyVarbinds", response(manyVarbinds(snmp::kMaxVarbinds + 1))},
    {"varbindWithoutValue", response(tlv(0x30, tlv(0x06, kDeviceIdOidBytes)))},
    {"varbindWithTwoValues", response(tlv(0x30, cat({tlv(0x06, kDeviceIdOidBytes), tlv(0x05, {}), tlv(0x05, {})})))},
};

INSTANTIATE_TEST_SUITE_P(Cases, SnmpBadResponse, testing::ValuesIn(kBadResponses),
                         [](const testing::TestParamInfo<BadResponse>& param) { return std::string(param.param.name); });

TEST(SnmpMessage, mostVarbindsAllowedAreRead)
{
    const Bytes datagram = response(manyVarbinds(snmp::kMaxVarbinds));
    const auto decoded = snmp::decodeResponse(datagram.data(), datagram.size());
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->varbinds.size(), snmp::kMaxVarbinds);
}

// What the scan makes of a response to its query (request id 0x1234).
struct DeviceIdCase {
    const char* name;
    Bytes datagram;
    bool isTheResponse;
    DeviceIdAnswer::End end;
    std::string deviceId;
};

void PrintTo(const DeviceIdCase& c, std::ostream* os)
{
    *os << c.name;
}

class SnmpDeviceIdResponse : public testing::TestWithParam<DeviceIdCase> {};

TEST_P(SnmpDeviceIdResponse, givesTheDeviceIdOnlyFromItsOwnOid)
{
    const DeviceIdCase& c = GetParam();
    const auto answer = readDeviceIdResponse(c.datagram.data(), c.datagram.size(), 0x1234, "public");
    ASSERT_EQ(answer.has_value(), c.isTheResponse);
    if (!answer)
        return;
    EXPECT_EQ(answer->end, c.end);
    EXPECT_EQ(answer->answered, c.end == DeviceIdAnswer::End::Answered);
    EXPECT_EQ(answer->deviceId, c.deviceId);
}

const DeviceIdCase kDeviceIdCases[] = {
    {"deviceId", response(varbind(kDeviceIdOidBytes, 0x04, text("MFG:A;MDL:B;"))), true,
     DeviceIdAnswer::End::Answered, "MFG:A;MDL:B;"},
    {"cutAtZeroByte", response(varbind(kDeviceIdOidBytes, 0x04, cat({text("MFG:A;"), {0}, text("junk")}))), true,
     DeviceIdAnswer::End::Answered, "MFG:A;"},
    {"emptyDeviceId", response(varbind(kDeviceIdOidBytes, 0x04, {})), true, DeviceIdAnswer::End::Answered, ""},
    {"sysDescrInstead", response(varbind(kSysDescrOidBytes, 0x04, text("Linux box"))), true,
     DeviceIdAnswer::End::NoDeviceId, ""},
    {"sysDescrBeforeTheDeviceId",
     response(cat({varbind(kSysDescrOidBytes, 0x04, text("Linux box")), varbind(kDeviceIdOidBytes, 0x04, text("MFG:C;"))})),
     true, DeviceIdAnswer::End::Answered, "MFG:C;"},
    {"longerOidWithTheSamePrefix", response(varbind(cat({kDeviceIdOidBytes, {1}}), 0x04, text("MFG:D;"))), true,
     DeviceIdAnswer::End::NoDeviceId, ""},
    {"integerValue", response(varbind(kDeviceIdOidBytes, 0x02, {5})), true, DeviceIdAnswer::End::NoDeviceId, ""},
    {"noSuchName", response(varbind(kDeviceIdOidBytes, 0x05, {}), fromHex("1234"), "public", 2), true,
     DeviceIdAnswer::End::NoDeviceId, ""},
    {"otherRequestId", response(varbind(kDeviceIdOidBytes, 0x04, text("MFG:A;")), fromHex("1235")), false,
     DeviceIdAnswer::End::Silent, ""},
    {"otherCommunity", response(varbind(kDeviceIdOidBytes, 0x04, text("MFG:A;")), fromHex("1234"), "private"), false,
     DeviceIdAnswer::End::Silent, ""},
    {"notSnmp", text("hello"), false, DeviceIdAnswer::End::Silent, ""},
};

INSTANTIATE_TEST_SUITE_P(Cases, SnmpDeviceIdResponse, testing::ValuesIn(kDeviceIdCases),
                         [](const testing::TestParamInfo<DeviceIdCase>& param) { return std::string(param.param.name); });

TEST(NetworkRoutes, gatewayRoutesAreTold)
{
    const std::string table =
        "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
        "scan0\t0020CB0A\tFE2FCB0A\t0003\t0\t0\t0\t00F0FFFF\t0\t0\t0\n"
        "scan0\tFE2FCB0A\t00000000\t0001\t0\t0\t0\tFFFFFFFF\t0\t0\t0\n"
        "eth1\t0007CB0A\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n"
        "eth2\t0008CB0A\t0108CB0A\t0002\t0\t0\t0\t00FFFFFF\t0\t0\t0\n"  // not up
        "broken line\n";
    const auto routes = parseRouteTable(table);
    ASSERT_EQ(routes.size(), 3u);
    EXPECT_EQ(ipv4Text(routes[0].destination), "10.203.32.0");
    EXPECT_EQ(ipv4Text(routes[0].mask), "255.255.240.0");
    EXPECT_TRUE(routes[0].throughGateway);
    EXPECT_FALSE(routes[1].throughGateway);

    EXPECT_TRUE(reachedThroughGateway(routes, *parseIpv4("10.203.40.7")));
    EXPECT_FALSE(reachedThroughGateway(routes, *parseIpv4("10.203.47.254"))) << "the more specific on-link route";
    EXPECT_FALSE(reachedThroughGateway(routes, *parseIpv4("10.203.7.9")));
    EXPECT_FALSE(reachedThroughGateway(routes, *parseIpv4("10.203.8.9"))) << "a route that is down";
    EXPECT_FALSE(reachedThroughGateway(routes, *parseIpv4("192.168.1.1"))) << "no route";
}

}  // namespace
