// The recently opened items and the typed stations: kept in PT4.INI with any name, newest
// first and at most ten, listed in the window's menu and opened from it; the location dialog
// offering the stations typed before.
#include "app/comforts.h"
#include "app/settings_file.h"
#include "app/settings_text.h"
#include "support/album_driver.h"

#include <QComboBox>
#include <QCompleter>
#include <QInputDialog>
#include <QtTest>

using namespace pt4;
using namespace pt4::testing;

class RecentItemsTest : public QObject {
    Q_OBJECT
private slots:
    void namesKeepTheirBytesInTheSettingsFile_data();
    void namesKeepTheirBytesInTheSettingsFile();
    void menuListsTheLastTenAndOpensThem();
    void locationDialogOffersTypedStations();
};

void RecentItemsTest::namesKeepTheirBytesInTheSettingsFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("written"); // as it stands in the file
    QTest::newRow("Japanese") << QByteArray("/音楽/夏.mp3") << QStringLiteral("/音楽/夏.mp3");
    QTest::newRow("percent") << QByteArray("/a/100%.mp3") << QStringLiteral("/a/100%25.mp3");
    QTest::newRow("spaces at the ends") << QByteArray(" a b ") << QStringLiteral("%20a b%20");
    QTest::newRow("line break") << QByteArray("a\nb=c") << QStringLiteral("a%0Ab=c");
    QTest::newRow("Shift-JIS bytes") << QByteArray("/\x89\xB9\x8A\x79.mp3")
                                     << QStringLiteral("/%89%B9%8Ay.mp3");
}

void RecentItemsTest::namesKeepTheirBytesInTheSettingsFile()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, written);
    QTemporaryDir dir;
    const QString path = dir.filePath("PT4.INI");
    {
        TIniFile ini(path);
        ini.WriteText("Recent", "Item1", SettingsValueOfBytes(bytes));
        QVERIFY(ini.UpdateFile());
    }
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(file.readAll()), "[Recent]\nItem1=" + written + "\n");
    QCOMPARE(BytesOfSettingsValue(TIniFile(path).ReadText("Recent", "Item1")), bytes);
}

void RecentItemsTest::menuListsTheLastTenAndOpensThem()
{
    QByteArray written;
    QTemporaryDir dir;
    QStringList files;
    for (int i = 0; i < 12; ++i)
        files << WriteSilentMp3(dir.filePath(QString("%1 & co.mp3").arg(i)), 3);
    const QString folder = MakeAlbum(dir.filePath("folder"), {{"x.mp3", 3}, {"y.mp3", 3}});
    {
        TWindowsUnderTest app;
        TForm1& f = app.Form1();
        for (const QString& file : files)
            f.OpenChosenFile(file);
        f.OpenChosenFile(files[5]); // opened again: to the front
        f.Comforts().NoteDropped({QUrl::fromLocalFile(folder), QUrl::fromLocalFile(files[0])});
        written = app.Exit();
    }
    // Newest first: the folder, file 5, then 11 ... 4 without 5: ten in all.
    QVERIFY2(written.contains("[Recent]\nKind1=folder\nItem1=" + folder.toUtf8() + "\nKind2=file\n"),
             written.constData());
    QVERIFY(written.contains("Item10=" + files[3].toUtf8() + "\n"));
    QVERIFY(!written.contains("Item11="));

    TWindowsUnderTest app(written);
    TForm1& f = app.Form1();
    f.MP3Player1.SetWaveFileName(app.TempFile("out.wav").toStdString());
    QMenu* recent = nullptr;
    for (QAction* action : f.ContextMenu()->actions())
        if (action->menu() && action->menu()->title() == QStringLiteral("最近開いたもの"))
            recent = action->menu();
    QVERIFY(recent);
    emit recent->aboutToShow();
    QStringList texts;
    for (QAction* action : recent->actions())
        if (!action->isSeparator())
            texts << action->text();
    QCOMPARE(texts.size(), 11); // ten and the entry that clears them
    QCOMPARE(texts[0], QStringLiteral("&1 folder (フォルダ)"));
    QCOMPARE(texts[1], QStringLiteral("&2 5 && co.mp3 (ファイル)"));
    QCOMPARE(texts[9], QStringLiteral("&0 3 && co.mp3 (ファイル)"));
    QCOMPARE(texts[10], QStringLiteral("履歴を消去"));

    // A file plays at once; the folder plays as an album.
    recent->actions()[1]->trigger();
    QVERIFY(WaitUntil([&] { return f.MP3Player1.FileName() == files[5].toStdString(); }, 5000));
    QCOMPARE(f.MP3Player1.Status(), TMP3PlayerStatus::mpsPlaying);
    emit recent->aboutToShow();
    recent->actions()[1]->trigger(); // the folder, second now
    QVERIFY(WaitUntil([&] { return f.Album.TrackCount() == 2; }, 5000));
    QCOMPARE(TEndPlayLog::Name(f.Album.List()[0]), QStringLiteral("x.mp3"));
    QVERIFY(f.Album.Selected());

    emit recent->aboutToShow();
    recent->actions().last()->trigger();
    emit recent->aboutToShow();
    QCOMPARE(recent->actions().size(), 1);
    QVERIFY(!recent->actions()[0]->isEnabled());
    QVERIFY(!app.Exit().contains("[Recent]"));
}

void RecentItemsTest::locationDialogOffersTypedStations()
{
    QByteArray written;
    {
        TWindowsUnderTest app;
        TLocationDialog& dialog = app.Form1().LocationDialog1;
        QString typed;
        dialog.Chooser = [&typed] { return std::optional<QString>(typed); };
        for (int i = 0; i < 12; ++i) {
            typed = QString("http://radio%1.example/live").arg(i);
            QVERIFY(dialog.Execute(nullptr));
        }
        typed = "/music/a.mp3"; // a file is no station
        QVERIFY(dialog.Execute(nullptr));
        typed = "  https://radio4.example/live ";
        QVERIFY(dialog.Execute(nullptr));
        QCOMPARE(dialog.History.size(), 10);
        QCOMPARE(dialog.History[0], QStringLiteral("https://radio4.example/live"));
        QCOMPARE(dialog.History[1], QStringLiteral("http://radio11.example/live"));
        written = app.Exit();
    }
    QVERIFY(written.contains("[Stations]\nStation1=https://radio4.example/live\nStation2=http://radio11"));
    TWindowsUnderTest app(written);
    const QStringList history = app.Form1().LocationDialog1.History;
    QCOMPARE(history.size(), 10);
    QCOMPARE(history.last(), QStringLiteral("http://radio3.example/live"));

    // The dialog lists them in its editable field, which starts empty.
    TLocationDialog& dialog = app.Form1().LocationDialog1;
    WhenModalShown([](QWidget* modal) {
        auto* input = qobject_cast<QInputDialog*>(modal);
        if (!input)
            qFatal("no input dialog");
        if (input->comboBoxItems().size() != 10 || !input->textValue().isEmpty() ||
            !input->isComboBoxEditable())
            qFatal("the typed stations are not offered");
        // A new address that begins like an old one is not completed to the old one.
        auto* field = input->findChild<QComboBox*>();
        if (!field ||
            (field->completer() && field->completer()->completionMode() != QCompleter::PopupCompletion))
            qFatal("the field fills in old addresses");
        input->setTextValue(input->comboBoxItems()[2]);
        input->accept();
    });
    QVERIFY(dialog.Execute(&app.Form1()));
    QCOMPARE(dialog.Location, history[2]);
    QCOMPARE(dialog.History[0], history[2]);
}

QTEST_MAIN(RecentItemsTest)
#include "recent_items_test.moc"
