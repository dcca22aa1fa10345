#include "sysutil/strictjson.h"

#include <set>
#include <string>
#include <vector>

namespace sysutil {

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

void appendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

// Reads the string whose opening quote is at text[i] and leaves i after its
// closing quote. With a key, its decoded UTF-8 bytes go there. False when
// the string does not end, an escape is broken, or (for keys) an escape
// names a lone surrogate or the bytes are not UTF-8.
class StringReader {
public:
    explicit StringReader(const QByteArray& text)
        : m_text(text)
    {
    }

    bool read(int& i, std::string* key)
    {
        const int size = m_text.size();
        for (++i; i < size;) {
            const auto c = static_cast<unsigned char>(m_text[i]);
            if (c == '"') {
                ++i;
                return true;
            }
            if (c < 0x20)
                return false;
            if (c == '\\') {
                if (!readEscape(i, key))
                    return false;
                continue;
            }
            if (c < 0x80) {
                if (key)
                    *key += char(c);
                ++i;
                continue;
            }
            if (!readUtf8(i, key))
                return false;
        }
        return false;
    }

private:
    bool readHex4(int at, char32_t& value) const
    {
        if (at + 4 > m_text.size())
            return false;
        value = 0;
        for (int k = 0; k < 4; ++k) {
            const int digit = hexValue(m_text[at + k]);
            if (digit < 0)
                return false;
            value = value * 16 + char32_t(digit);
        }
        return true;
    }

    bool readEscape(int& i, std::string* key)
    {
        if (i + 1 >= m_text.size())
            return false;
        const char e = m_text[i + 1];
        const char* const simple = "\"\\/bfnrt";
        const char* const meaning = "\"\\/\b\f\n\r\t";
        for (int k = 0; simple[k]; ++k) {
            if (e == simple[k]) {
                if (key)
                    *key += meaning[k];
                i += 2;
                return true;
            }
        }
        if (e != 'u')
            return false;
        char32_t unit = 0;
        if (!readHex4(i + 2, unit))
            return false;
        i += 6;
        if (unit < 0xD800 || unit > 0xDFFF) {
            if (key)
                appendUtf8(*key, unit);
            return true;
        }
        // Values may hold anything the parser takes; keys must compare exactly.
        if (!key)
            return true;
        char32_t low = 0;
        if (unit > 0xDBFF || i + 1 >= m_text.size() || m_text[i] != '\\' || m_text[i + 1] != 'u' ||
            !readHex4(i + 2, low) || low < 0xDC00 || low > 0xDFFF)
            return false;
        i += 6;
        appendUtf8(*key, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        return true;
    }

    // A byte sequence that is not UTF-8 is left to the parser inside a
    // value, and refused inside a key.
    bool readUtf8(int& i, std::string* key)
    {
        const int length = utf8Length(i);
        if (length == 0) {
            ++i;
            return key == nullptr;
        }
        if (key)
            key->append(m_text.constData() + i, std::size_t(length));
        i += length;
        return true;
    }

    // The length of the well-formed UTF-8 sequence of two or more bytes at
    // i, or 0.
    int utf8Length(int i) const
    {
        const auto lead = static_cast<unsigned char>(m_text[i]);
        int length = 0;
        char32_t c = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            c = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            c = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            c = lead & 0x07;
        } else {
            return 0;
        }
        if (i + length > m_text.size())
            return 0;
        for (int k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(m_text[i + k]);
            if ((next & 0xC0) != 0x80)
                return 0;
            c = (c << 6) | (next & 0x3F);
        }
        const bool overlong = (length == 3 && c < 0x800) || (length == 4 && c < 0x10000);
        if (overlong || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            return 0;
        return length;
    }

    const QByteArray& m_text;
};

struct Level {
    bool object = false;
    bool expectKey = false;
    std::set<std::string> keys;
};

} // namespace

bool hasUniqueKeys(const QByteArray& text)
{
    std::vector<Level> levels;
    StringReader strings(text);
    const int size = text.size();
    for (int i = 0; i < size;) {
        const char c = text[i];
        switch (c) {
        case '{':
        case '[':
            if (int(levels.size()) >= kMaxJsonDepth)
                return false;
            levels.push_back(Level{c == '{', c == '{', {}});
            ++i;
            break;
        case '}':
        case ']':
            if (levels.empty() || levels.back().object != (c == '}'))
                return false;
            levels.pop_back();
            ++i;
            break;
        case ',':
            if (!levels.empty() && levels.back().object)
                levels.back().expectKey = true;
            ++i;
            break;
        case '"': {
            const bool isKey = !levels.empty() && levels.back().expectKey;
            std::string key;
            if (!strings.read(i, isKey ? &key : nullptr))
                return false;
            if (isKey) {
                levels.back().expectKey = false;
                if (!levels.back().keys.insert(std::move(key)).second)
                    return false;
            }
            break;
        }
        default:
            ++i;
        }
    }
    return levels.empty();
}

QJsonDocument parseJson(const QByteArray& text, QJsonParseError* error)
{
    if (!hasUniqueKeys(text)) {
        if (error) {
            error->error = QJsonParseError::IllegalValue;
            error->offset = 0;
        }
        return QJsonDocument();
    }
    return QJsonDocument::fromJson(text, error);
}

} // namespace sysutil
