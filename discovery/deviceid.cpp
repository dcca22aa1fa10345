#include "discovery/deviceid.h"

namespace discovery {

namespace {

constexpr std::string_view kManufacturerKeys[] = {"MANUFACTURER", "MFG"};
constexpr std::string_view kModelKeys[] = {"MODEL", "MDL"};

bool isOneOf(std::string_view key, const std::string_view (&keys)[2])
{
    return key == keys[0] || key == keys[1];
}

}  // namespace

DeviceIdFields parseDeviceId(std::string_view text)
{
    DeviceIdFields fields;
    std::size_t position = 0;
    for (;;) {
        const std::size_t end = text.find(';', position);
        if (end == std::string_view::npos)
            break;
        const std::string_view segment = text.substr(position, end - position);
        position = end + 1;

        const std::size_t colon = segment.find(':');
        if (colon == std::string_view::npos)
            continue;
        const std::string_view key = segment.substr(0, colon);
        const std::string_view value = segment.substr(colon + 1);
        if (isOneOf(key, kManufacturerKeys))
            fields.manufacturer.assign(value);
        else if (isOneOf(key, kModelKeys))
            fields.model.assign(value);
    }
    return fields;
}

}  // namespace discovery
