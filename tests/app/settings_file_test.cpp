// The settings file: reading integers and Booleans as the window expects, writing without
// losing what else the file holds, and where the file lives.
#include "app/settings_file.h"

#include <QtTest>

using namespace pt4;

class SettingsFileTest : public QObject {
    Q_OBJECT
private slots:
    void readsIntegersAndBooleans();
    void oddValuesGiveTheDefault();
    void writesIntoExistingSectionsAndKeepsTheRest();
    void missingFileReadsDefaultsAndIsCreatedWithItsFolder();
    void fileBesideTheProgramWhenThatFolderTakesIt();
    void fileInTheConfigurationFolderOtherwise();
};

static QString WriteText(const QTemporaryDir& dir, const QByteArray& text)
{
    const QString path = dir.filePath("PT4.INI");
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(text);
    return path;
}

void SettingsFileTest::readsIntegersAndBooleans()
{
    QTemporaryDir dir;
    const TIniFile ini(WriteText(
        dir, "[Vol]\r\nVol=42\r\n[bal]\r\n BAL = -7 \r\n[Option]\r\nFlat=0\r\nPop=5\r\nRock=0x10\r\n"));
    QCOMPARE(ini.ReadInteger("Vol", "Vol", 10), 42);
    QCOMPARE(ini.ReadInteger("Bal", "Bal", 0), -7); // names match without case, spaces trimmed
    QCOMPARE(ini.ReadBool("Option", "Flat", true), false);
    QCOMPARE(ini.ReadBool("Option", "Pop", false), true); // any integer but 0
    QCOMPARE(ini.ReadInteger("Option", "Rock", 0), 16);
    QCOMPARE(ini.ReadBool("Option", "Jazz", true), true); // missing: the default
    QCOMPARE(ini.ReadInteger("Vol", "Bal", 3), 3);        // key of another section
}

void SettingsFileTest::oddValuesGiveTheDefault()
{
    QTemporaryDir dir;
    const TIniFile ini(
        WriteText(dir, "[Vol]\nVol=ten\n[Bal]\nBal=\n[Option]\nFlat=1x\nPop=99999999999\nRock=yes\n"));
    QCOMPARE(ini.ReadInteger("Vol", "Vol", 10), 10);
    QCOMPARE(ini.ReadInteger("Bal", "Bal", 0), 0);
    QCOMPARE(ini.ReadBool("Option", "Flat", false), false);
    QCOMPARE(ini.ReadBool("Option", "Pop", false), false);
    QCOMPARE(ini.ReadBool("Option", "Rock", true), true);
}

void SettingsFileTest::writesIntoExistingSectionsAndKeepsTheRest()
{
    QTemporaryDir dir;
    const QString path = WriteText(dir, "; mine\n[Vol]\nVol=1\n\n[Other]\nKeep=me\n");
    TIniFile ini(path);
    ini.WriteInteger("vol", "VOL", 55);
    ini.WriteInteger("Vol", "Extra", 3);
    ini.WriteBool("Option", "Flat", true);
    ini.WriteBool("Option", "Pop", false);
    QVERIFY(ini.UpdateFile());
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(),
             QByteArray("; mine\n[Vol]\nVOL=55\nExtra=3\n\n[Other]\nKeep=me\n[Option]\nFlat=1\nPop=0\n"));
    const TIniFile again(path);
    QCOMPARE(again.ReadInteger("Vol", "Vol", 0), 55);
    QCOMPARE(again.ReadInteger("Other", "Keep", 7), 7);
}

void SettingsFileTest::missingFileReadsDefaultsAndIsCreatedWithItsFolder()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("deeper/plumtone4/PT4.INI");
    TIniFile ini(path);
    QCOMPARE(ini.ReadInteger("Vol", "Vol", 10), 10);
    ini.WriteInteger("Vol", "Vol", 10);
    QVERIFY(ini.UpdateFile());
    QVERIFY(QFile::exists(path));
}

void SettingsFileTest::fileBesideTheProgramWhenThatFolderTakesIt()
{
    QTemporaryDir program;
    QTemporaryDir config;
    QCOMPARE(ChooseSettingsFile(program.path(), config.path()), program.filePath("PT4.INI"));
    // The probe leaves no file behind.
    QVERIFY(!QFile::exists(program.filePath("PT4.INI")));
}

void SettingsFileTest::fileInTheConfigurationFolderOtherwise()
{
    QTemporaryDir config;
    // A program folder that cannot hold files: missing, or a file where a folder should be.
    QCOMPARE(ChooseSettingsFile(config.filePath("missing"), config.path()),
             config.filePath("plumtone4/PT4.INI"));
    QFile plain(config.filePath("plain"));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    QCOMPARE(ChooseSettingsFile(plain.fileName(), config.path()), config.filePath("plumtone4/PT4.INI"));
    // /proc takes no new files, not even from an administrator.
    QCOMPARE(ChooseSettingsFile("/proc", config.path()), config.filePath("plumtone4/PT4.INI"));
    // An installed copy never writes into the shared program folder, even as root.
    QCOMPARE(ChooseSettingsFile("/usr/bin/", config.path()), config.filePath("plumtone4/PT4.INI"));
}

QTEST_MAIN(SettingsFileTest)
#include "settings_file_test.moc"
