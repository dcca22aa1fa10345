#include "sysinfo/edid.h"

namespace sysinfo {

namespace {

constexpr unsigned char kHeader[8] = { 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00 };
constexpr int kManufacturerOffset = 8;
constexpr int kProductOffset = 10;
constexpr int kFirstDescriptor = 54;
constexpr int kDescriptorBytes = 18;
constexpr int kDescriptorCount = 4;
constexpr int kDescriptorTextOffset = 5;
constexpr int kDescriptorTextBytes = 13;
constexpr unsigned char kTagSerial = 0xFF;
constexpr unsigned char kTagName = 0xFC;

QString descriptorText(const unsigned char* text)
{
    // Up to 13 characters, ended by a line feed and padded with spaces; only
    // printable ASCII is meaningful here.
    QString result;
    for (int i = 0; i < kDescriptorTextBytes && text[i] != 0x0A; ++i)
        result.append(text[i] >= 0x20 && text[i] < 0x7F ? QChar(text[i]) : QChar(' '));
    return result.trimmed();
}

} // namespace

EdidFacts parseEdid(const QByteArray& block)
{
    EdidFacts facts;
    if (block.size() < edid::kBlockBytes)
        return facts;
    const auto* b = reinterpret_cast<const unsigned char*>(block.constData());
    for (int i = 0; i < 8; ++i) {
        if (b[i] != kHeader[i])
            return facts;
    }
    facts.valid = true;
    unsigned sum = 0;
    for (int i = 0; i < edid::kBlockBytes; ++i)
        sum += b[i];
    facts.checksumOk = (sum & 0xFF) == 0;

    // Three letters of five bits each, 1 = 'A', big-endian.
    const unsigned id = (unsigned(b[kManufacturerOffset]) << 8) | b[kManufacturerOffset + 1];
    QString letters;
    for (int shift : { 10, 5, 0 }) {
        const unsigned v = (id >> shift) & 0x1F;
        if (v < 1 || v > 26) {
            letters.clear();
            break;
        }
        letters.append(QChar('A' + int(v) - 1));
    }
    facts.manufacturerId = letters;
    facts.productCode = unsigned(b[kProductOffset]) | (unsigned(b[kProductOffset + 1]) << 8);

    for (int n = 0; n < kDescriptorCount; ++n) {
        const unsigned char* d = b + kFirstDescriptor + n * kDescriptorBytes;
        // Display descriptors start with a zero pixel clock.
        if (d[0] != 0 || d[1] != 0 || d[2] != 0)
            continue;
        if (d[3] == kTagName && facts.monitorName.isEmpty())
            facts.monitorName = descriptorText(d + kDescriptorTextOffset);
        else if (d[3] == kTagSerial && facts.serialText.isEmpty())
            facts.serialText = descriptorText(d + kDescriptorTextOffset);
    }
    return facts;
}

} // namespace sysinfo
