#include "discovery/dnssdtxt.h"

#include <algorithm>
#include <cctype>

namespace discovery {

namespace {

bool sameKey(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::string bounded(std::string_view value)
{
    return std::string(value.substr(0, kTxtValueLimit));
}

// A resource path that cannot climb out of the printer's root or carry a
// query: letters, digits and "/_.-", no "..", no leading "/".
std::string safeResourcePath(std::string_view rp)
{
    if (rp.empty() || rp.size() > 128 || rp.front() == '/' || rp.find("..") != std::string_view::npos)
        return {};
    for (char c : rp) {
        const auto u = static_cast<unsigned char>(c);
        if (!std::isalnum(u) && c != '/' && c != '_' && c != '.' && c != '-')
            return {};
    }
    return std::string(rp);
}

std::string webUrl(std::string_view url)
{
    if (url.size() > kTxtValueLimit)
        return {};
    const bool web = url.rfind("http://", 0) == 0 || url.rfind("https://", 0) == 0;
    if (!web)
        return {};
    for (char c : url) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u >= 0x7f || c == '"' || c == '<' || c == '>' || c == '\\')
            return {};
    }
    return std::string(url);
}

bool isTrue(std::string_view value)
{
    return value == "T" || value == "t";
}

}  // namespace

std::string canonicalUuid(std::string_view text)
{
    constexpr std::string_view kUrn = "urn:uuid:";
    if (text.size() >= kUrn.size() && sameKey(text.substr(0, kUrn.size()), kUrn))
        text.remove_prefix(kUrn.size());
    if (text.size() != 36)
        return {};
    std::string out;
    out.reserve(36);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? c != '-' : !std::isxdigit(c))
            return {};
        out.push_back(static_cast<char>(std::tolower(c)));
    }
    return out;
}

bool listsDriverlessFormat(std::string_view pdl)
{
    std::size_t position = 0;
    while (position <= pdl.size()) {
        std::size_t end = pdl.find(',', position);
        if (end == std::string_view::npos)
            end = pdl.size();
        std::string_view type = pdl.substr(position, end - position);
        while (!type.empty() && type.front() == ' ')
            type.remove_prefix(1);
        while (!type.empty() && type.back() == ' ')
            type.remove_suffix(1);
        if (sameKey(type, "image/pwg-raster") || sameKey(type, "application/pdf"))
            return true;
        position = end + 1;
    }
    return false;
}

DnssdTxt parseTxtStrings(const std::vector<std::string>& strings)
{
    DnssdTxt txt;
    struct Key {
        std::string_view name;
        bool seen;
    };
    Key keys[] = {{"ty", false},   {"product", false}, {"usb_MFG", false}, {"usb_MDL", false},
                  {"pdl", false},  {"UUID", false},    {"rp", false},      {"adminurl", false},
                  {"URF", false},  {"Color", false},   {"Duplex", false}};
    std::size_t count = 0;
    for (const std::string& entry : strings) {
        if (++count > kTxtStringLimit)
            break;
        const std::string_view text(entry.data(), std::min(entry.size(), kTxtValueLimit));
        const std::size_t equals = text.find('=');
        const std::string_view key = text.substr(0, equals);
        if (key.empty())
            continue;
        const std::string_view value = equals == std::string_view::npos ? std::string_view() : text.substr(equals + 1);
        for (std::size_t k = 0; k < std::size(keys); ++k) {
            if (keys[k].seen || !sameKey(key, keys[k].name))
                continue;
            keys[k].seen = true;
            switch (k) {
            case 0: txt.ty = bounded(value); break;
            case 1: txt.product = bounded(value); break;
            case 2: txt.usbMfg = bounded(value); break;
            case 3: txt.usbMdl = bounded(value); break;
            case 4: txt.pdl = bounded(value); break;
            case 5: txt.uuid = canonicalUuid(value); break;
            case 6: txt.rp = safeResourcePath(value); break;
            case 7: txt.adminUrl = webUrl(value); break;
            case 8: txt.urf = bounded(value); break;
            case 9: txt.color = isTrue(value); break;
            case 10: txt.duplex = isTrue(value); break;
            }
            break;
        }
    }
    return txt;
}

DnssdTxt parseTxtRecord(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> strings;
    std::size_t position = 0;
    while (data && position < size && strings.size() < kTxtStringLimit) {
        const std::size_t length = data[position++];
        if (length > size - position)
            break;
        strings.emplace_back(reinterpret_cast<const char*>(data + position), length);
        position += length;
    }
    return parseTxtStrings(strings);
}

}  // namespace discovery
