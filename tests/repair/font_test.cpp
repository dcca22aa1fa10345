// Installing the OCR font for the user and finding it by its full name, in a
// home and fontconfig setup of the test's own.

#include "repair/ocrfont.h"
#include "repair/repairapi.h"
#include "support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QProcess>
#include <QTemporaryDir>
#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>

using testsupport::ScopedEnv;

namespace {

const char* kDejaVu = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";

// A DejaVu font renamed with fontTools; made once per full name and kept in
// the test output folder.
QString standInFont(const QString& fullName)
{
    const QString path = testsupport::outputDir() + "/repair-standin-" + QString(fullName).remove(' ') + ".ttf";
    if (QFileInfo(path).size() > 0)
        return path;
    const QString script = testsupport::sourceDir() + "/tests/repair/make_standin_font.py";
    QProcess python;
    python.setProcessChannelMode(QProcess::ForwardedChannels);
    python.start("/usr/bin/python3", {script, kDejaVu, path + ".part", fullName});
    if (!python.waitForFinished(60000) || python.exitCode() != 0)
        return {};
    QFile::remove(path);
    return QFile::rename(path + ".part", path) ? path : QString();
}

class RepairFont : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        const QString home = m_dir.filePath("home");
        QDir().mkpath(home);
        const QString config = m_dir.filePath("fonts.conf");
        // Only DejaVu and the user's own fonts: nothing on the build machine
        // can make the font appear installed.
        ASSERT_TRUE(testsupport::writeFile(config, QStringLiteral(
            "<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM \"fonts.dtd\">\n<fontconfig>\n"
            "  <dir>/usr/share/fonts/truetype/dejavu</dir>\n"
            "  <dir prefix=\"xdg\">fonts</dir>\n"
            "  <cachedir prefix=\"xdg\">fontconfig</cachedir>\n"
            "</fontconfig>\n").toUtf8()));
        m_env.emplace_back(std::make_unique<ScopedEnv>("HOME", home.toUtf8()));
        m_env.emplace_back(std::make_unique<ScopedEnv>("XDG_DATA_HOME", (home + "/.local/share").toUtf8()));
        m_env.emplace_back(std::make_unique<ScopedEnv>("XDG_CACHE_HOME", (home + "/.cache").toUtf8()));
        m_env.emplace_back(std::make_unique<ScopedEnv>("XDG_CONFIG_HOME", (home + "/.config").toUtf8()));
        m_env.emplace_back(std::make_unique<ScopedEnv>("FONTCONFIG_FILE", config.toUtf8()));
        m_env.emplace_back(std::make_unique<ScopedEnv>("KORVANE_PROGRAM_DIR", m_dir.filePath("program").toUtf8()));
        QDir().mkpath(m_dir.filePath("program"));
    }

    // Fonts added to this process outlive the test's folders; drop them so
    // the next test starts with none.
    void TearDown() override
    {
        FcConfigAppFontClear(FcConfigGetCurrent());
        QFontDatabase::removeAllApplicationFonts();
    }

    QString programFont() const { return m_dir.filePath("program/OCRAExtended.ttf"); }
    QString installedFont() const { return m_dir.filePath("home/.local/share/fonts/OCRAExtended.ttf"); }

    QTemporaryDir m_dir;
    std::vector<std::unique_ptr<ScopedEnv>> m_env;
};

}  // namespace

TEST_F(RepairFont, InstalledFontIsFoundInThisProcessAndOthers)
{
    const QString font = standInFont("OCR A Extended");
    ASSERT_FALSE(font.isEmpty()) << "fontTools could not make the stand-in font";
    ASSERT_TRUE(QFile::copy(font, programFont()));
    EXPECT_FALSE(repair::checkOcrFont());

    EXPECT_EQ(repair::installOcrFont(), 0u);
    EXPECT_TRUE(QFileInfo(installedFont()).isFile());
    EXPECT_TRUE(repair::checkOcrFont());
    EXPECT_TRUE(QFontDatabase().families().contains("OCR A Extended"));

    // Another program, with the same fontconfig setup, sees it too.
    QProcess list;
    list.start("fc-list", {":", "fullname"});
    ASSERT_TRUE(list.waitForFinished(60000));
    EXPECT_TRUE(list.readAllStandardOutput().contains("OCR A Extended"));
}

TEST_F(RepairFont, InstallingTwiceKeepsOneCopy)
{
    const QString font = standInFont("OCR A Extended");
    ASSERT_FALSE(font.isEmpty());
    ASSERT_TRUE(QFile::copy(font, programFont()));
    EXPECT_EQ(repair::installOcrFont(), 0u);
    EXPECT_EQ(repair::installOcrFont(), 0u);
    EXPECT_EQ(QDir(QFileInfo(installedFont()).path()).entryList({"*.ttf"}).size(), 1);
    EXPECT_TRUE(repair::checkOcrFont());
}

TEST_F(RepairFont, AMissingFontFileIsFileNotFound)
{
    EXPECT_EQ(repair::installOcrFont(), win32::kFileNotFound);
    EXPECT_FALSE(QFileInfo::exists(installedFont()));
    EXPECT_FALSE(repair::checkOcrFont());
}

TEST_F(RepairFont, AFileThatIsNoFontIsRefused)
{
    ASSERT_TRUE(testsupport::writeFile(programFont(), QByteArray(4096, '\x5a')));
    EXPECT_EQ(repair::installOcrFont(), win32::kBadFormat);
    EXPECT_FALSE(QFileInfo::exists(installedFont()));
}

TEST_F(RepairFont, OnlyTheExactFullNameCounts)
{
    const QString font = standInFont("OCR A Extended Bold");
    ASSERT_FALSE(font.isEmpty());
    const QString fonts = m_dir.filePath("home/.local/share/fonts");
    QDir().mkpath(fonts);
    ASSERT_TRUE(QFile::copy(font, fonts + "/near-miss.ttf"));
    EXPECT_FALSE(repair::checkOcrFont());
}
