#pragma once
// Localisation: the Chinese translators for the program's few native texts,
// the application font, and the language and country codes the back end is
// told about.

#include <QObject>
#include <QString>
#include <QStringList>

namespace i18n {

class International : public QObject {
    Q_OBJECT
public:
    static International& instance();

    // Installs the translators found under the program folder and sets the
    // application font. Missing files are skipped.
    void setup();

    // The "Country" setting mapped to the back end's language code.
    QString languageCode() const;
    static QString languageCodeFor(int country);
    int countryId() const { return 44; }
    bool isInternational() const { return false; }

    // Display names of the supported languages, in menu order.
    static const QStringList& languageNames();
    // How many translators setup() installed.
    int installedTranslators() const { return m_installed; }

private:
    International() = default;
    int m_installed = 0;
};

}  // namespace i18n
