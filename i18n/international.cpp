#include "i18n/international.h"

#include "sysutil/paths.h"

#include <QApplication>
#include <QFont>
#include <QSettings>
#include <QTranslator>

namespace i18n {

International& International::instance()
{
    static International* object = new International;  // lives until exit
    return *object;
}

const QStringList& International::languageNames()
{
    static const QStringList names = {QStringLiteral("English"), QStringLiteral("中文"), QStringLiteral("日本語"),
                                      QStringLiteral("한국인"), QStringLiteral("繁體")};
    return names;
}

void International::setup()
{
    const QString programDir = sysutil::programDir();
    struct Kind {
        const char* folder;
        const char* prefix;
    };
    // Loaded in this order: program texts, Qt's own, then the platform theme.
    static const Kind kinds[] = {{"languages", "lang_"}, {"translations", "qt_"}, {"plattheme", "plattheme_"}};
    for (const Kind& kind : kinds) {
        const QString path = QStringLiteral("%1/%2/%3zh_CN.qm")
                                 .arg(programDir, QLatin1String(kind.folder), QLatin1String(kind.prefix));
        auto* translator = new QTranslator(this);
        if (translator->load(path, QString(), QString(), QString())) {
            QCoreApplication::installTranslator(translator);
            ++m_installed;
        } else {
            delete translator;
        }
    }
    if (qobject_cast<QApplication*>(QCoreApplication::instance())) {
        QFont font;
        font.setPointSize(13);
        font.setFamily(QStringLiteral("Microsoft YaHei"));
        QApplication::setFont(font);
    }
}

QString International::languageCodeFor(int country)
{
    switch (country) {
    case 44: return QStringLiteral("zh_cn");
    case 108: return QStringLiteral("jp-ja");
    case 208: return QStringLiteral("zh_tw");
    default: return QStringLiteral("en");
    }
}

QString International::languageCode() const
{
    bool ok = false;
    const int country = QSettings().value(QStringLiteral("Country"), 0).toInt(&ok);
    return languageCodeFor(ok ? country : 0);
}

}  // namespace i18n
