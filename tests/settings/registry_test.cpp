// The settings store: values come back exactly as written, a write that cannot be stored is told,
// and no file can make a read crash.

#include "platform/settings_backend.h"
#include "settings/registry.h"
#include "support/test_support.h"

#include <cerrno>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class StoreTest : public ::testing::Test
{
protected:
    StoreTest() { ::setenv("XDG_CONFIG_HOME", tree.path().constData(), 1); }

    QString read(const char *name)
    {
        registry.ReadRegValue(kSettingsRoot, SettingsKey(), QString::fromUtf8(name));
        return registry.RegValue;
    }
    int write(const char *name, const QString &text)
    {
        return registry.WriteRegValue(kSettingsRoot, SettingsKey(), QString::fromUtf8(name), text);
    }

    TempTree tree;
    std::unique_ptr<SettingsBackend> backend = makeSettingsBackend();
    Registry registry{*backend};
};

} // namespace

TEST_F(StoreTest, ValuesComeBackExactlyAndTheFileHoldsThemAsText)
{
    EXPECT_EQ(read("HTML"), QString()); // nothing stored yet, not even a file
    const QString tricky = QStringLiteral("\"*.mp3\", *.aac; [x] = é à");
    ASSERT_EQ(write("HTML", QStringLiteral("Oui")), 0);
    ASSERT_EQ(write("TitleHTML", QStringLiteral("Été à Paris")), 0);
    ASSERT_EQ(write("Pattern", tricky), 0);
    ASSERT_EQ(write("BaseUrl", QString()), 0);
    ASSERT_EQ(write("HTML", QStringLiteral("Non")), 0); // replaced, not repeated
    EXPECT_EQ(read("HTML"), QStringLiteral("Non"));
    EXPECT_EQ(read("TitleHTML"), QStringLiteral("Été à Paris"));
    EXPECT_EQ(read("Pattern"), tricky);
    EXPECT_EQ(read("BaseUrl"), QString());
    EXPECT_EQ(read("SourceDir"), QString());
    EXPECT_EQ(read("Pattern"), tricky); // two reads in a row: the second one's value only
    EXPECT_EQ(read("HTML"), QStringLiteral("Non"));
    EXPECT_EQ(tree.read("Korvane/Lystora.conf"),
              QByteArray("[v1.52.1016]\nHTML=Non\nTitleHTML=\xC3\x89t\xC3\xA9 \xC3\xA0 Paris\n"
                         "Pattern=\"*.mp3\", *.aac; [x] = \xC3\xA9 \xC3\xA0\nBaseUrl=\n"));
    EXPECT_EQ(registry.location(), QString::fromUtf8(tree.path("Korvane/Lystora.conf")));
}

TEST_F(StoreTest, HandEditedFilesAreReadAsMeantAndKeepTheirBytes)
{
    tree.file("Korvane/Lystora.conf",
              "\xEF\xBB\xBF# mine\r\n[other]\r\nPattern=no\r\n[V1.52.1016]\r\n"
              "pattern=*.mp3, *.aac\r\nLangue = 0 \r\nTitleHTML= lead\r\n"
              "FileName=caf\xE9.txt\r\n\r\n[last]\r\nx=1\r\n");
    EXPECT_EQ(read("Pattern"), QStringLiteral("*.mp3, *.aac"));
    EXPECT_EQ(read("Langue"), QStringLiteral("0"));
    EXPECT_EQ(read("TitleHTML"), QStringLiteral(" lead")); // as the program saved it
    ASSERT_EQ(write("Langue", QStringLiteral("1")), 0);
    ASSERT_EQ(write("FileName", read("FileName")), 0); // a Latin-1 byte comes back itself
    ASSERT_EQ(write("HTML", QStringLiteral("Oui")), 0);
    EXPECT_EQ(tree.read("Korvane/Lystora.conf"),
              QByteArray("\xEF\xBB\xBF# mine\r\n[other]\r\nPattern=no\r\n[V1.52.1016]\r\n"
                         "pattern=*.mp3, *.aac\r\nLangue=1\r\nTitleHTML= lead\r\n"
                         "FileName=caf\xE9.txt\r\nHTML=Oui\r\n\r\n[last]\r\nx=1\r\n"));
    EXPECT_EQ(registry.problem().kind, StoreProblem::None);

    // A NUL byte would end a file name early, naming another file: the value is left aside.
    tree.file("Korvane/Lystora.conf", QByteArray("[v1.52.1016]\nFileName=a\0b.txt\n", 31));
    EXPECT_EQ(read("FileName"), QString());
    EXPECT_EQ(registry.problem().kind, StoreProblem::NulInValue);
    EXPECT_EQ(registry.problem().name, QStringLiteral("FileName"));
    EXPECT_EQ(write("FileName", QStringLiteral("a") + QChar(0) + QStringLiteral("b")), EINVAL);
}

TEST_F(StoreTest, OnlyAnOrdinaryFileOfSensibleSizeIsReadAndASaveReplacesAnyOther)
{
    tree.dir("Korvane");
    const QByteArray file = tree.path("Korvane/Lystora.conf");
    const auto isRegular = [&] {
        struct stat st {};
        return ::lstat(file.constData(), &st) == 0 && S_ISREG(st.st_mode);
    };
    ASSERT_EQ(::mkfifo(file.constData(), 0600), 0); // would block a reader for ever
    EXPECT_EQ(read("HTML"), QString());
    EXPECT_EQ(registry.problem().kind, StoreProblem::NotAFile);
    ASSERT_EQ(write("HTML", QStringLiteral("Oui")), 0); // never written through
    EXPECT_TRUE(isRegular());
    EXPECT_EQ(read("HTML"), QStringLiteral("Oui"));

    ::unlink(file.constData());
    ASSERT_EQ(::symlink("/dev/zero", file.constData()), 0); // would be read until memory ends
    auto fresh = makeSettingsBackend();
    Registry other(*fresh);
    other.ReadRegValue(kSettingsRoot, SettingsKey(), QStringLiteral("HTML"));
    EXPECT_EQ(other.RegValue, QString());
    EXPECT_EQ(other.problem().kind, StoreProblem::NotAFile);
    ASSERT_EQ(write("HTML", QStringLiteral("Non")), 0);
    EXPECT_TRUE(isRegular());

    tree.file("Korvane/Lystora.conf",
              "[v1.52.1016]\nHTML=Oui\n" + QByteArray(kLargestStoreKiB * 1024, '#'));
    auto large = makeSettingsBackend();
    Registry third(*large);
    third.ReadRegValue(kSettingsRoot, SettingsKey(), QStringLiteral("HTML"));
    EXPECT_EQ(third.RegValue, QString());
    EXPECT_EQ(third.problem().kind, StoreProblem::TooLarge);
}

TEST_F(StoreTest, GarbageReadsAsEmptyValuesAndCanBeWrittenOver)
{
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i)
        garbage += char((i * 7919) % 256);
    tree.file("Korvane/Lystora.conf", garbage);
    EXPECT_EQ(read("HTML"), QString());
    ASSERT_EQ(write("HTML", QStringLiteral("Oui")), 0);
    EXPECT_EQ(read("HTML"), QStringLiteral("Oui"));
}

TEST_F(StoreTest, WritesThatCannotBeStoredAreReportedAndLeaveTheFileWhole)
{
    ASSERT_EQ(write("HTML", QStringLiteral("Oui")), 0);
    EXPECT_EQ(write("TitleHTML", QStringLiteral("two\nlines")), EINVAL);
    EXPECT_EQ(registry.WriteRegValue(7, SettingsKey(), QStringLiteral("HTML"), QStringLiteral("x")),
              EINVAL);
    EXPECT_EQ(read("HTML"), QStringLiteral("Oui"));
    EXPECT_EQ(tree.entries("Korvane"), QStringList({"Lystora.conf"})); // no temporary file left

    TempTree other;
    other.file("config", "a regular file where the configuration folder should be");
    ::setenv("XDG_CONFIG_HOME", other.path("config").constData(), 1);
    EXPECT_EQ(write("HTML", QStringLiteral("Oui")), ENOTDIR);
    EXPECT_EQ(read("HTML"), QString());

    other.dir("home/Korvane/Lystora.conf"); // a directory where the file should be
    ::setenv("XDG_CONFIG_HOME", other.path("home").constData(), 1);
    EXPECT_EQ(write("HTML", QStringLiteral("Oui")), EISDIR);
    EXPECT_EQ(read("HTML"), QString());
}
