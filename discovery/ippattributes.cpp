#include "discovery/ippattributes.h"

#include "discovery/dnssdtxt.h"

#include <cstring>
#include <memory>
#include <string_view>

namespace discovery {

const char* const kRequestedPrinterAttributes[] = {
    "printer-make-and-model", "printer-device-id",         "printer-uuid",
    "printer-more-info",      "document-format-supported", "ipp-features-supported",
};
const int kRequestedPrinterAttributeCount = int(std::size(kRequestedPrinterAttributes));

namespace {

bool isTextTag(ipp_tag_t tag)
{
    switch (tag) {
    case IPP_TAG_TEXT:
    case IPP_TAG_NAME:
    case IPP_TAG_TEXTLANG:
    case IPP_TAG_NAMELANG:
    case IPP_TAG_KEYWORD:
    case IPP_TAG_URI:
    case IPP_TAG_MIMETYPE:
        return true;
    default:
        return false;
    }
}

std::string firstText(ipp_t* response, const char* name)
{
    ipp_attribute_t* attr = ippFindAttribute(response, name, IPP_TAG_ZERO);
    if (!attr || !isTextTag(ippGetValueTag(attr)) || ippGetCount(attr) < 1)
        return {};
    const char* value = ippGetString(attr, 0, nullptr);
    if (!value)
        return {};
    return std::string(value, strnlen(value, kIppTextLimit));
}

bool isWebUrl(const std::string& url)
{
    if (url.rfind("http://", 0) != 0 && url.rfind("https://", 0) != 0)
        return false;
    for (char c : url) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u >= 0x7f || c == '"' || c == '<' || c == '>' || c == '\\')
            return false;
    }
    return true;
}

struct MemoryReader {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t position;
};

ssize_t readFromMemory(void* context, ipp_uchar_t* buffer, size_t bytes)
{
    auto* reader = static_cast<MemoryReader*>(context);
    const std::size_t left = reader->size - reader->position;
    const std::size_t count = bytes < left ? bytes : left;
    if (count)
        std::memcpy(buffer, reader->data + reader->position, count);
    reader->position += count;
    return static_cast<ssize_t>(count);
}

struct IppDeleter {
    void operator()(ipp_t* ipp) const { ippDelete(ipp); }
};

}  // namespace

bool PrinterAttributes::driverless() const
{
    if (ippEverywhere)
        return true;
    for (const std::string& format : formats) {
        if (listsDriverlessFormat(format))
            return true;
    }
    return false;
}

std::optional<PrinterAttributes> printerAttributesFrom(ipp_t* response)
{
    if (!response || ippGetStatusCode(response) > IPP_STATUS_OK_EVENTS_COMPLETE)
        return std::nullopt;
    PrinterAttributes attributes;
    attributes.makeAndModel = firstText(response, "printer-make-and-model");
    attributes.deviceId = firstText(response, "printer-device-id");
    attributes.uuid = canonicalUuid(firstText(response, "printer-uuid"));
    attributes.moreInfo = firstText(response, "printer-more-info");
    if (!isWebUrl(attributes.moreInfo))
        attributes.moreInfo.clear();
    if (ipp_attribute_t* formats = ippFindAttribute(response, "document-format-supported", IPP_TAG_ZERO);
        formats && isTextTag(ippGetValueTag(formats))) {
        const int count = ippGetCount(formats);
        for (int i = 0; i < count && attributes.formats.size() < kIppFormatLimit; ++i) {
            if (const char* value = ippGetString(formats, i, nullptr))
                attributes.formats.emplace_back(value, strnlen(value, 127));
        }
    }
    if (ipp_attribute_t* features = ippFindAttribute(response, "ipp-features-supported", IPP_TAG_ZERO);
        features && isTextTag(ippGetValueTag(features))) {
        const int count = ippGetCount(features);
        for (int i = 0; i < count && i < int(kIppFormatLimit); ++i) {
            const char* value = ippGetString(features, i, nullptr);
            if (value && std::strcmp(value, "ipp-everywhere") == 0)
                attributes.ippEverywhere = true;
        }
    }
    return attributes;
}

ipp_t* readIppMessage(const std::uint8_t* data, std::size_t size)
{
    if (!data)
        return nullptr;
    MemoryReader reader{data, size, 0};
    std::unique_ptr<ipp_t, IppDeleter> message(ippNew());
    if (!message)
        return nullptr;
    ipp_state_t state = IPP_STATE_IDLE;
    do {
        state = ippReadIO(&reader, readFromMemory, 1, nullptr, message.get());
    } while (state != IPP_STATE_DATA && state != IPP_STATE_ERROR && reader.position < reader.size);
    if (state != IPP_STATE_DATA)
        return nullptr;
    return message.release();
}

std::optional<PrinterAttributes> parseIppResponse(const std::uint8_t* data, std::size_t size)
{
    const std::unique_ptr<ipp_t, IppDeleter> response(readIppMessage(data, size));
    if (!response)
        return std::nullopt;
    return printerAttributesFrom(response.get());
}

}  // namespace discovery
