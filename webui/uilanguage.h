#pragma once
// The user's interface language as a Windows language id (LANGID), which is
// what the pages compare against.

#include <QLocale>

namespace webui {

int languageIdFor(const QLocale& locale);
// From the user's locale (LANGUAGE, LC_ALL, LC_MESSAGES, LANG as Qt reads them).
int userDefaultUILanguage();

}  // namespace webui
