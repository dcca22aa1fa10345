#include "repair/ocrfont.h"

#include "repair/toolrunner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <cerrno>
#include <cstdio>
#include <fontconfig/fontconfig.h>
#include <memory>

namespace repair {

const char* const kOcrFontFullName = "OCR A Extended";
const char* const kOcrFontFileName = "OCRAExtended.ttf";

namespace {

struct PatternDeleter {
    void operator()(FcPattern* p) const { FcPatternDestroy(p); }
};
struct ObjectSetDeleter {
    void operator()(FcObjectSet* s) const { FcObjectSetDestroy(s); }
};
struct FontSetDeleter {
    void operator()(FcFontSet* s) const { FcFontSetDestroy(s); }
};
struct ConfigDeleter {
    void operator()(FcConfig* c) const { FcConfigDestroy(c); }
};

bool listsOcrFont(FcConfig* config)
{
    if (!config)
        return false;
    std::unique_ptr<FcPattern, PatternDeleter> pattern(FcPatternCreate());
    std::unique_ptr<FcObjectSet, ObjectSetDeleter> objects(FcObjectSetBuild(FC_FULLNAME, nullptr));
    if (!pattern || !objects)
        return false;
    std::unique_ptr<FcFontSet, FontSetDeleter> fonts(FcFontList(config, pattern.get(), objects.get()));
    if (!fonts)
        return false;
    // A font carries its full name in several languages; any one that is
    // exactly the name counts, as it does for the desktop's font lists.
    for (int i = 0; i < fonts->nfont; ++i) {
        FcChar8* fullName = nullptr;
        for (int n = 0; FcPatternGetString(fonts->fonts[i], FC_FULLNAME, n, &fullName) == FcResultMatch; ++n) {
            if (qstrcmp(reinterpret_cast<const char*>(fullName), kOcrFontFullName) == 0)
                return true;
        }
    }
    return false;
}

}  // namespace

QString userFontDir()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/fonts");
}

bool ocrFontInstalled()
{
    // A fresh configuration sees fonts installed since the process started;
    // the current one also holds the fonts this process added itself.
    std::unique_ptr<FcConfig, ConfigDeleter> fresh(FcInitLoadConfigAndFonts());
    if (listsOcrFont(fresh.get()))
        return true;
    return listsOcrFont(FcConfigGetCurrent());
}

win32::ErrorCode installFontFile(const QString& sourcePath)
{
    const QFileInfo source(sourcePath);
    if (!source.isFile())
        return win32::kFileNotFound;
    const QByteArray sourceName = QFile::encodeName(source.absoluteFilePath());
    int faces = 0;
    FcPattern* query = FcFreeTypeQuery(reinterpret_cast<const FcChar8*>(sourceName.constData()), 0, nullptr, &faces);
    if (!query)
        return win32::kBadFormat;
    FcPatternDestroy(query);

    const QString folder = userFontDir();
    if (!QDir().mkpath(folder))
        return win32::kAccessDenied;
    const QString target = folder + QLatin1Char('/') + QLatin1String(kOcrFontFileName);
    if (QFileInfo(target) != source) {
        QFile::remove(target);
        if (!QFile::copy(source.absoluteFilePath(), target)) {
            std::fprintf(stderr, "installOcrFont: cannot copy %s to %s\n", sourceName.constData(),
                         QFile::encodeName(target).constData());
            return QFileInfo(folder).isWritable() ? win32::kGenFailure : win32::kAccessDenied;
        }
    }
    const QByteArray targetName = QFile::encodeName(target);
    FcConfigAppFontAddFile(FcConfigGetCurrent(), reinterpret_cast<const FcChar8*>(targetName.constData()));
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        QFontDatabase::addApplicationFont(target);
    // Other programs see the font once the cache is rebuilt, which takes a few
    // seconds on a machine with many fonts: not worth holding the page for.
    const QString fcCache = findTool("KORVANE_FC_CACHE", QStringLiteral("fc-cache"));
    if (!fcCache.isEmpty())
        QProcess::startDetached(fcCache, {folder});
    return win32::kSuccess;
}

}  // namespace repair
