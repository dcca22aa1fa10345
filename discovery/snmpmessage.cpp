#include "discovery/snmpmessage.h"

namespace discovery::snmp {

namespace {

void appendLength(std::vector<std::uint8_t>& out, std::size_t length)
{
    if (length < 0x80) {
        out.push_back(static_cast<std::uint8_t>(length));
        return;
    }
    std::uint8_t bytes[sizeof(std::size_t)];
    int count = 0;
    for (std::size_t rest = length; rest; rest >>= 8)
        bytes[count++] = static_cast<std::uint8_t>(rest);
    out.push_back(static_cast<std::uint8_t>(0x80 | count));
    while (count)
        out.push_back(bytes[--count]);
}

void appendTlv(std::vector<std::uint8_t>& out, std::uint8_t tag, const std::vector<std::uint8_t>& content)
{
    out.push_back(tag);
    appendLength(out, content.size());
    out.insert(out.end(), content.begin(), content.end());
}

std::vector<std::uint8_t> integerContent(std::int64_t value)
{
    // Big-endian two's complement, without the leading bytes that only
    // repeat the sign.
    std::vector<std::uint8_t> bytes;
    for (int shift = 56; shift >= 0; shift -= 8)
        bytes.push_back(static_cast<std::uint8_t>(static_cast<std::uint64_t>(value) >> shift));
    std::size_t start = 0;
    while (start + 1 < bytes.size()
           && ((bytes[start] == 0x00 && !(bytes[start + 1] & 0x80))
               || (bytes[start] == 0xff && (bytes[start + 1] & 0x80))))
        ++start;
    return {bytes.begin() + static_cast<std::ptrdiff_t>(start), bytes.end()};
}

void appendSubidentifier(std::vector<std::uint8_t>& out, std::uint64_t value)
{
    std::uint8_t groups[10];
    int count = 0;
    do {
        groups[count++] = static_cast<std::uint8_t>(value & 0x7f);
        value >>= 7;
    } while (value);
    while (count > 1)
        out.push_back(static_cast<std::uint8_t>(groups[--count] | 0x80));
    out.push_back(groups[0]);
}

std::optional<std::vector<std::uint8_t>> oidContent(const Oid& oid)
{
    if (oid.size() < 2 || oid.size() > kMaxOidParts || oid[0] > 2 || (oid[0] < 2 && oid[1] >= 40))
        return std::nullopt;
    std::vector<std::uint8_t> out;
    appendSubidentifier(out, std::uint64_t{oid[0]} * 40 + oid[1]);
    for (std::size_t i = 2; i < oid.size(); ++i)
        appendSubidentifier(out, oid[i]);
    return out;
}

// A cursor over bytes that never reads past its end.
class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

    bool atEnd() const { return m_position == m_size; }

    // The next tag-length-value: its tag, and a reader over its content.
    bool next(std::uint8_t& tag, Reader& content)
    {
        if (m_size - m_position < 2)
            return false;
        tag = m_data[m_position++];
        if ((tag & 0x1f) == 0x1f)
            return false;  // multi-byte tags never occur in SNMP
        std::size_t length = m_data[m_position++];
        if (length & 0x80) {
            const std::size_t count = length & 0x7f;
            if (count == 0 || count > 4 || m_size - m_position < count)
                return false;  // indefinite, or longer than any datagram
            length = 0;
            for (std::size_t i = 0; i < count; ++i)
                length = length << 8 | m_data[m_position++];
        }
        if (length > m_size - m_position)
            return false;
        content = Reader(m_data + m_position, length);
        m_position += length;
        return true;
    }

    bool expect(std::uint8_t wanted, Reader& content)
    {
        std::uint8_t tag = 0;
        return next(tag, content) && tag == wanted;
    }

    bool integer(std::int64_t& value)
    {
        Reader content(nullptr, 0);
        if (!expect(kTagInteger, content) || content.m_size == 0 || content.m_size > 8)
            return false;
        std::uint64_t bits = (content.m_data[0] & 0x80) ? ~std::uint64_t{0} : 0;
        for (std::size_t i = 0; i < content.m_size; ++i)
            bits = bits << 8 | content.m_data[i];
        value = static_cast<std::int64_t>(bits);
        return true;
    }

    bool octetString(std::string& value)
    {
        Reader content(nullptr, 0);
        if (!expect(kTagOctetString, content))
            return false;
        value = content.rest();
        return true;
    }

    std::string rest() const
    {
        return m_size ? std::string(reinterpret_cast<const char*>(m_data + m_position), m_size - m_position)
                      : std::string();
    }

    // The content of an OBJECT IDENTIFIER.
    bool oidParts(Oid& oid) const
    {
        oid.clear();
        std::uint64_t value = 0;
        bool inside = false;
        for (std::size_t i = m_position; i < m_size; ++i) {
            const std::uint8_t byte = m_data[i];
            if (!inside && byte == 0x80)
                return false;  // a sub-identifier with a leading zero group
            value = value << 7 | (byte & 0x7f);
            if (value > 0xffffffffull + 80)
                return false;
            inside = byte & 0x80;
            if (inside)
                continue;
            if (oid.empty()) {
                const std::uint64_t first = value < 40 ? 0 : value < 80 ? 1 : 2;
                oid.push_back(static_cast<std::uint32_t>(first));
                value -= first * 40;
            }
            if (value > 0xffffffffull)
                return false;
            if (oid.size() >= kMaxOidParts)
                return false;
            oid.push_back(static_cast<std::uint32_t>(value));
            value = 0;
        }
        return !inside && !oid.empty();
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_position = 0;
};

}  // namespace

std::vector<std::uint8_t> encodeGetRequest(std::string_view community, std::int32_t requestId,
                                           const std::vector<Oid>& oids)
{
    std::vector<std::uint8_t> varbinds;
    for (const Oid& oid : oids) {
        const auto encoded = oidContent(oid);
        if (!encoded)
            return {};
        std::vector<std::uint8_t> varbind;
        appendTlv(varbind, kTagOid, *encoded);
        appendTlv(varbind, kTagNull, {});
        appendTlv(varbinds, kTagSequence, varbind);
    }
    std::vector<std::uint8_t> pdu;
    appendTlv(pdu, kTagInteger, integerContent(requestId));
    appendTlv(pdu, kTagInteger, integerContent(0));  // error-status
    appendTlv(pdu, kTagInteger, integerContent(0));  // error-index
    appendTlv(pdu, kTagSequence, varbinds);

    std::vector<std::uint8_t> message;
    appendTlv(message, kTagInteger, integerContent(kVersion1));
    appendTlv(message, kTagOctetString, {community.begin(), community.end()});
    appendTlv(message, kTagGetRequest, pdu);

    std::vector<std::uint8_t> out;
    appendTlv(out, kTagSequence, message);
    return out;
}

std::optional<Response> decodeResponse(const std::uint8_t* data, std::size_t size)
{
    if (!data)
        return std::nullopt;
    Reader whole(data, size);
    Reader message(nullptr, 0);
    if (!whole.expect(kTagSequence, message) || !whole.atEnd())
        return std::nullopt;

    Response response;
    Reader pdu(nullptr, 0);
    if (!message.integer(response.version) || !message.octetString(response.community)
        || !message.expect(kTagGetResponse, pdu) || !message.atEnd())
        return std::nullopt;

    Reader list(nullptr, 0);
    if (!pdu.integer(response.requestId) || !pdu.integer(response.errorStatus) || !pdu.integer(response.errorIndex)
        || !pdu.expect(kTagSequence, list) || !pdu.atEnd())
        return std::nullopt;

    while (!list.atEnd()) {
        if (response.varbinds.size() >= kMaxVarbinds)
            return std::nullopt;
        Reader pair(nullptr, 0);
        Reader name(nullptr, 0);
        Reader value(nullptr, 0);
        Varbind varbind;
        if (!list.expect(kTagSequence, pair) || !pair.expect(kTagOid, name) || !name.oidParts(varbind.oid)
            || !pair.next(varbind.type, value) || !pair.atEnd())
            return std::nullopt;
        varbind.value = value.rest();
        response.varbinds.push_back(std::move(varbind));
    }
    return response;
}

std::string oidText(const Oid& oid)
{
    std::string text;
    for (const std::uint32_t part : oid) {
        if (!text.empty())
            text += '.';
        text += std::to_string(part);
    }
    return text;
}

}  // namespace discovery::snmp
