// The 文字コード menu: the song and artist shown read anew in the encoding chosen, and the choice
// kept in PT4.INI for the next start.
#include "support/app_fixtures.h"

#include "app/settings_file.h"
#include "mp3plyr/input/text_encoding.h"

#include <QMenu>
#include <QtTest>

using namespace pt4;
using namespace pt4::testing;

namespace {

// ﾗｼﾞｵ in code page 932 (also valid UTF-8, which it must not be taken for), 東京の雨 in EUC-JP.
const QByteArray kRadioSjis("\xD7\xBC\xDE\xB5");
const QByteArray kTokyoRainEuc("\xC5\xEC\xB5\xFE\xA4\xCE\xB1\xAB");

QMenu* EncodingMenu(TForm1& f)
{
    for (QMenu* menu : f.ContextMenu()->findChildren<QMenu*>())
        if (menu->title() == QStringLiteral("文字コード"))
            return menu;
    return nullptr;
}

QAction* Entry(QMenu* menu, const QString& text)
{
    for (QAction* action : menu->actions())
        if (action->text() == text)
            return action;
    return nullptr;
}

QString Shown(const QByteArray& raw, TTextEncoding encoding)
{
    return QString::fromStdString(ConvertToUtf8(raw.toStdString(), encoding));
}

} // namespace

class TextEncodingMenuTest : public QObject {
    Q_OBJECT
private slots:
    void choiceReadsTheShownTextAnew();
    void choiceIsKeptForTheNextStart();
};

void TextEncodingMenuTest::choiceReadsTheShownTextAnew()
{
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    f.OpenChosenFile(WriteSilentMp3(app.TempFile("radio.mp3"), 3, kRadioSjis, kTokyoRainEuc));
    QVERIFY(WaitUntil([&] { return !f.SongLabel1->Caption().isEmpty(); }));
    QCOMPARE(f.SongLabel1->Caption(), QStringLiteral("ﾗｼﾞｵ"));
    QCOMPARE(f.ArtistLabel1->Caption(), QStringLiteral("東京の雨"));

    QMenu* menu = EncodingMenu(f);
    QVERIFY(menu);
    const struct {
        QString entry;
        QString title;
        QString artist;
    } choices[] = {
        {QStringLiteral("Latin-1"), QStringLiteral("×¼Þµ"), QStringLiteral("Åìµþ¤Î±«")},
        {QStringLiteral("EUC-JP"), Shown(kRadioSjis, TTextEncoding::EucJp), QStringLiteral("東京の雨")},
        {QStringLiteral("Shift-JIS"), QStringLiteral("ﾗｼﾞｵ"), Shown(kTokyoRainEuc, TTextEncoding::ShiftJis)},
        {QStringLiteral("自動"), QStringLiteral("ﾗｼﾞｵ"), QStringLiteral("東京の雨")},
    };
    for (const auto& choice : choices) {
        QAction* entry = Entry(menu, choice.entry);
        QVERIFY2(entry, qPrintable(choice.entry));
        entry->trigger();
        QCOMPARE(f.SongLabel1->Caption(), choice.title);
        QCOMPARE(f.SongLabel2->Caption(), choice.title);
        QCOMPARE(f.ArtistLabel1->Caption(), choice.artist);
        // The menu marks the choice in force when it opens.
        emit menu->aboutToShow();
        QVERIFY(entry->isChecked());
    }
}

void TextEncodingMenuTest::choiceIsKeptForTheNextStart()
{
    QByteArray written;
    {
        TWindowsUnderTest app("[Vol]\nVol=10\n");
        Entry(EncodingMenu(app.Form1()), QStringLiteral("EUC-JP"))->trigger();
        written = app.Exit();
    }
    QVERIFY2(written.contains("[Text]\nEncoding=2\n"), written.constData());

    TWindowsUnderTest again(written);
    TForm1& f = again.Form1();
    QCOMPARE(TextEncodingChoice(), TTextEncodingChoice::EucJp);
    QMenu* menu = EncodingMenu(f);
    emit menu->aboutToShow();
    QVERIFY(Entry(menu, QStringLiteral("EUC-JP"))->isChecked());
    // Back to 自動: the key stays, now 0, and a start without it reads automatically again.
    Entry(menu, QStringLiteral("自動"))->trigger();
    QVERIFY(again.Exit().contains("[Text]\nEncoding=0\n"));
    TWindowsUnderTest fresh;
    QCOMPARE(TextEncodingChoice(), TTextEncodingChoice::Auto);
}

QTEST_MAIN(TextEncodingMenuTest)
#include "text_encoding_menu_test.moc"
