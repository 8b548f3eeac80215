// The window without a mouse: its keys, Tab through the controls, keys on a focused control, the
// wheel and short clicks, the states and values assistive tools read and set, and long titles.
#include "support/app_fixtures.h"

#include <QAccessible>
#include <QMenu>
#include <QPointer>
#include <QtTest>

#include <map>

using namespace pt4;
using namespace pt4::testing;

namespace {

// Keys as the user types them: to whatever holds the focus, which hands on what it ignores.
void Type(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QPointer<QWidget> focused = QApplication::focusWidget();
    QVERIFY(focused != nullptr);
    for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
        QKeyEvent event(type, key, modifiers, key == Qt::Key_Space ? QStringLiteral(" ") : QString());
        if (focused)
            QApplication::sendEvent(focused, &event);
    }
}

bool Playing(TForm1& f)
{
    return f.MP3Player1.Status() == TMP3PlayerStatus::mpsPlaying;
}

} // namespace

class KeyboardAccessTest : public QObject {
    Q_OBJECT
private slots:
    void windowKeysWheelAndShortClicksDriveThePlayer();
    void tabMarksEachControlAndItsKeysPressIt();
    void knobPagesAndEndsEscapeMenuAndQuitKeys();
    void assistiveToolsReadAndSetStatesAndValues();
    void longTitleIsCutAtACharacterWithTheWholeTitleAsTooltip();
};

void KeyboardAccessTest::windowKeysWheelAndShortClicksDriveThePlayer()
{
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    QVERIFY(QTest::qWaitForWindowActive(&f));
    QCOMPARE(QApplication::focusWidget(), &f); // not the first button: Space must reach the window
    const QString file = WriteSilentMp3(app.TempFile("a.mp3"), 240);
    f.OpenChosenFile(file);
    f.MP3Player1.SetWaveFileName(app.TempFile("out.wav").toStdString());
    int opened = 0, located = 0;
    f.OpenDialog1.Chooser = [&opened] { return ++opened, std::optional<QString>(); };
    f.LocationDialog1.Chooser = [&located, file] { return ++located, std::optional<QString>(file); };
    uint32_t before = 0;
    const struct {
        int key;
        Qt::KeyboardModifiers modifiers;
        std::function<bool()> holds;
    } steps[] = {
        {Qt::Key_Space, {}, [&] { return Playing(f); }},
        {Qt::Key_Space, {}, [&] { return f.MP3Player1.Status() == TMP3PlayerStatus::mpsPaused; }},
        {Qt::Key_Space, {}, [&] { return Playing(f); }},
        {Qt::Key_Right, {}, [&] { return f.MP3Player1.Position() >= before + 4000; }},
        {Qt::Key_Left, {}, [&] { return f.MP3Player1.Position() + 4000 <= before; }},
        {Qt::Key_Down, {}, [&] { return f.MP3Player1.Volume() == 5 && f.Label9->Caption() == "5"; }},
        {Qt::Key_Up, {}, [&] { return f.MP3Player1.Volume() == 10; }},
        {Qt::Key_MediaStop, {}, [&] { return f.MP3Player1.Status() == TMP3PlayerStatus::mpsStopped; }},
        {Qt::Key_O, Qt::ControlModifier, [&] { return opened == 1; }},
        {Qt::Key_L, Qt::ControlModifier, [&] { return located == 1 && Playing(f); }},
        {Qt::Key_MediaPause, {}, [&] { return f.MP3Player1.Status() == TMP3PlayerStatus::mpsPaused; }},
        // The one play key of most keyboards plays and pauses in turn.
        {Qt::Key_MediaPlay, {}, [&] { return Playing(f); }},
        {Qt::Key_MediaPlay, {}, [&] { return f.MP3Player1.Status() == TMP3PlayerStatus::mpsPaused; }},
    };
    for (const auto& step : steps) {
        before = f.MP3Player1.Position();
        Type(step.key, step.modifiers);
        QVERIFY2(step.holds(), qPrintable(QKeySequence(step.key | step.modifiers).toString()));
    }
    QWheelEvent notch(QPointF(5, 5), f.VolImage->mapToGlobal(QPointF(5, 5)), {}, QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(f.VolImage, &notch);
    QCOMPARE(f.MP3Player1.Volume(), 15u);
    Type(Qt::Key_Space); // resumes
    // The file plays into a WAVE file faster than real time, so the jump is counted, not timed.
    QSignalSpy jumps(&f, &TForm1::Jumped);
    Click(f.next1Image); // shorter than the held button's first jump: jumps once
    QCOMPARE(jumps.count(), 1);
    // The secondary button over a control opens the window's menu.
    QContextMenuEvent menuAsked(QContextMenuEvent::Mouse, QPoint(5, 5),
                                f.playImage->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(f.playImage, &menuAsked);
    QVERIFY(f.ContextMenu()->isVisible());
    f.ContextMenu()->actions().at(1)->trigger(); // open a location
    QCOMPARE(located, 2);
    // Its loudness choice reaches the player.
    QMenu* loudness = nullptr;
    for (QMenu* submenu : f.ContextMenu()->findChildren<QMenu*>())
        if (submenu->title() == QStringLiteral("音量の正規化"))
            loudness = submenu;
    QVERIFY(loudness);
    loudness->actions().at(2)->trigger();
    QCOMPARE(f.MP3Player1.ReplayGainMode(), TReplayGainMode::Album);
}

void KeyboardAccessTest::tabMarksEachControlAndItsKeysPressIt()
{
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    QVERIFY(QTest::qWaitForWindowActive(&f));
    f.OpenChosenFile(WriteSilentMp3(app.TempFile("a.mp3"), 60));
    f.MP3Player1.SetWaveFileName(app.TempFile("out.wav").toStdString());
    const QImage unmarked = f.stopImage->grab().toImage();
    // Tab order, and what a key does to some of the focused controls.
    const std::map<TSkinControl*, std::pair<int, std::function<bool()>>> keys = {
        {f.playImage, {Qt::Key_Space, [&] { return Playing(f); }}},
        {f.stopImage, {Qt::Key_Return, [&] { return !Playing(f); }}},
        {f.PopImage, {Qt::Key_Space, [&] { return f.PresetFlag(TPreset::Pop); }}},
        {f.VolImage, {Qt::Key_Left, [&] { return f.MP3Player1.Volume() == 5; }}},
        {f.BalanceImage, {Qt::Key_Right, [&] { return f.MP3Player1.VolBalance() == 10; }}},
        {f.AboutPanel, {Qt::Key_Space, [&] { return f.Image1->isVisible(); }}},
    };
    for (TSkinControl* control : std::initializer_list<TSkinControl*>{
             f.OpenImage, f.playImage, f.pauseImage, f.stopImage, f.back1Image, f.next1Image, f.back2Image,
             f.next2Image, f.FlatImage, f.PopImage, f.RockImage, f.JazzImage, f.ClassicImage, f.VocalImage,
             f.VolImage, f.BalanceImage, f.AboutPanel, f.AlbumPanel, f.RepeatPanel}) {
        Type(Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), control);
        QVERIFY(control->ShowsFocusMark());
        if (control == f.stopImage)
            QVERIFY(f.stopImage->grab().toImage() != unmarked);
        if (const auto key = keys.find(control); key != keys.end()) {
            Type(key->second.first);
            QVERIFY2(key->second.second(), qPrintable(control->toolTip() + control->accessibleName()));
        }
    }
    Click(f.playImage); // the mouse takes the focus back to the window and its mark away
    QCOMPARE(QApplication::focusWidget(), &f);
}

void KeyboardAccessTest::knobPagesAndEndsEscapeMenuAndQuitKeys()
{
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    QVERIFY(QTest::qWaitForWindowActive(&f));
    f.OpenChosenFile(WriteSilentMp3(app.TempFile("a.mp3"), 60));
    f.MP3Player1.SetWaveFileName(app.TempFile("out.wav").toStdString());
    const struct {
        TSkinControl* knob;
        int key;
        int value;
    } steps[] = {{f.VolImage, Qt::Key_PageUp, 20},        {f.VolImage, Qt::Key_PageDown, 10},
                 {f.VolImage, Qt::Key_End, 100},          {f.VolImage, Qt::Key_PageUp, 100},
                 {f.VolImage, Qt::Key_Home, 0},           {f.BalanceImage, Qt::Key_PageDown, -10},
                 {f.BalanceImage, Qt::Key_End, 100},      {f.BalanceImage, Qt::Key_Home, -100},
                 {f.BalanceImage, Qt::Key_PageDown, -100}};
    for (const auto& step : steps) {
        step.knob->setFocus(Qt::TabFocusReason);
        Type(step.key);
        const int value = step.knob == f.VolImage ? int(f.MP3Player1.Volume()) : f.MP3Player1.VolBalance();
        QCOMPARE(value, step.value);
        QCOMPARE(step.knob->Value(), step.value);
    }
    // Escape takes the mark away; Space is the window's again and plays.
    f.OpenImage->setFocus(Qt::TabFocusReason);
    Type(Qt::Key_Escape);
    QCOMPARE(QApplication::focusWidget(), &f);
    QVERIFY(!f.OpenImage->ShowsFocusMark());
    Type(Qt::Key_Space);
    QVERIFY(Playing(f));
    // Shift+F10 opens the menu beside the marked control; Ctrl+Q closes the window.
    f.pauseImage->setFocus(Qt::TabFocusReason);
    Type(Qt::Key_F10, Qt::ShiftModifier);
    QVERIFY(f.ContextMenu()->isVisible());
    QVERIFY(f.ContextMenu()->geometry().contains(f.pauseImage->mapToGlobal(f.pauseImage->rect().center())));
    f.ContextMenu()->close();
    Type(Qt::Key_Q, Qt::ControlModifier);
    QVERIFY(!f.isVisible());
}

void KeyboardAccessTest::assistiveToolsReadAndSetStatesAndValues()
{
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    QAccessibleInterface* rock = QAccessible::queryAccessibleInterface(f.RockImage);
    QVERIFY(rock->state().checkable && !rock->state().checked);
    rock->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QVERIFY(rock->state().checked && f.PresetFlag(TPreset::Rock));
    QVERIFY(!QAccessible::queryAccessibleInterface(f.FlatImage)->state().checked);
    QAccessibleValueInterface* balance =
        QAccessible::queryAccessibleInterface(f.BalanceImage)->valueInterface();
    balance->setCurrentValue(-40);
    QCOMPARE(balance->currentValue().toInt(), -40);
    QCOMPARE(f.MP3Player1.VolBalance(), -40);
}

void KeyboardAccessTest::longTitleIsCutAtACharacterWithTheWholeTitleAsTooltip()
{
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    const QString title = QString::fromUtf8("𠮷野家の牛丼が").repeated(12); // pairs of surrogates
    f.SongLabel1->SetCaption(title);
    const QString shown = f.SongLabel1->ShownText();
    QVERIFY2(shown.endsWith(u'…') && title.startsWith(shown.chopped(1)), qPrintable(shown));
    QVERIFY(!shown.chopped(1).back().isHighSurrogate());
    QVERIFY(QFontMetrics(f.SongLabel1->font()).horizontalAdvance(shown) <= f.SongLabel1->width());
    QCOMPARE(f.SongLabel1->toolTip(), title);
    QCOMPARE(QAccessible::queryAccessibleInterface(f.SongLabel1)->text(QAccessible::Name), title);
    f.SongLabel1->SetCaption(QStringLiteral("短い"));
    QCOMPARE(f.SongLabel1->ShownText(), QStringLiteral("短い"));
    QVERIFY(f.SongLabel1->toolTip().isEmpty());
}

QTEST_MAIN(KeyboardAccessTest)
#include "keyboard_access_test.moc"
