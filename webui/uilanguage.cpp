#include "webui/uilanguage.h"

#include <array>

namespace webui {

namespace {

struct LanguageId {
    QLocale::Language language;
    QLocale::Country country;  // AnyCountry: the language's default id
    int id;
};

constexpr std::array<LanguageId, 34> kIds = {{
    {QLocale::Chinese, QLocale::China, 0x0804},
    {QLocale::Chinese, QLocale::Taiwan, 0x0404},
    {QLocale::Chinese, QLocale::HongKong, 0x0C04},
    {QLocale::Chinese, QLocale::Macau, 0x1404},
    {QLocale::Chinese, QLocale::Singapore, 0x1004},
    {QLocale::Chinese, QLocale::AnyCountry, 0x0804},
    {QLocale::English, QLocale::UnitedStates, 0x0409},
    {QLocale::English, QLocale::UnitedKingdom, 0x0809},
    {QLocale::English, QLocale::Australia, 0x0C09},
    {QLocale::English, QLocale::Canada, 0x1009},
    {QLocale::English, QLocale::AnyCountry, 0x0409},
    {QLocale::Japanese, QLocale::AnyCountry, 0x0411},
    {QLocale::Korean, QLocale::AnyCountry, 0x0412},
    {QLocale::German, QLocale::Austria, 0x0C07},
    {QLocale::German, QLocale::Switzerland, 0x0807},
    {QLocale::German, QLocale::AnyCountry, 0x0407},
    {QLocale::French, QLocale::Canada, 0x0C0C},
    {QLocale::French, QLocale::AnyCountry, 0x040C},
    {QLocale::Spanish, QLocale::Mexico, 0x080A},
    {QLocale::Spanish, QLocale::AnyCountry, 0x0C0A},
    {QLocale::Italian, QLocale::AnyCountry, 0x0410},
    {QLocale::Portuguese, QLocale::Brazil, 0x0416},
    {QLocale::Portuguese, QLocale::AnyCountry, 0x0816},
    {QLocale::Russian, QLocale::AnyCountry, 0x0419},
    {QLocale::Dutch, QLocale::AnyCountry, 0x0413},
    {QLocale::Polish, QLocale::AnyCountry, 0x0415},
    {QLocale::Turkish, QLocale::AnyCountry, 0x041F},
    {QLocale::Vietnamese, QLocale::AnyCountry, 0x042A},
    {QLocale::Thai, QLocale::AnyCountry, 0x041E},
    {QLocale::Indonesian, QLocale::AnyCountry, 0x0421},
    {QLocale::Arabic, QLocale::AnyCountry, 0x0401},
    {QLocale::Czech, QLocale::AnyCountry, 0x0405},
    {QLocale::Swedish, QLocale::AnyCountry, 0x041D},
    {QLocale::Ukrainian, QLocale::AnyCountry, 0x0422},
}};

constexpr int kEnglishUnitedStates = 0x0409;

}  // namespace

int languageIdFor(const QLocale& locale)
{
    int fallback = -1;
    for (const LanguageId& entry : kIds) {
        if (entry.language != locale.language())
            continue;
        if (entry.country == locale.country())
            return entry.id;
        if (entry.country == QLocale::AnyCountry)
            fallback = entry.id;
    }
    return fallback >= 0 ? fallback : kEnglishUnitedStates;
}

int userDefaultUILanguage()
{
    return languageIdFor(QLocale::system());
}

}  // namespace webui
