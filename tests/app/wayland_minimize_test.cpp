// Under a Wayland compositor, which never reports a minimised window: the window's own request to
// minimise (its title bar's button) brings the times into the title, and bringing the window back
// (the desktop's Raise, a second start) restores it. Run by tests/app/e2e/weston.sh.
#include "support/app_fixtures.h"

#include <QWindow>
#include <QtTest>

using namespace pt4;
using namespace pt4::testing;

class WaylandMinimizeTest : public QObject {
    Q_OBJECT
private slots:
    void minimiseAndBringBack();
};

void WaylandMinimizeTest::minimiseAndBringBack()
{
    if (!QGuiApplication::platformName().startsWith(QStringLiteral("wayland")))
        QSKIP("needs a Wayland compositor: tests/app/e2e/weston.sh runs it under one");
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    f.OpenChosenFile(WriteSilentMp3(app.TempFile("a.mp3"), 60));
    f.PlayOrPause(); // on the sound server: it plays on while minimised
    f.windowHandle()->setWindowStates(Qt::WindowMinimized);
    QVERIFY(WaitUntil([&] { return f.windowTitle().startsWith(QStringLiteral("Plumtone4 00:")); }));
    f.BringBack();
    QVERIFY(WaitUntil([&] { return f.windowTitle() == QStringLiteral("Plumtone4"); }));
    QVERIFY(!f.AnimateForm1->Minimized() && f.isVisible());
}

QTEST_MAIN(WaylandMinimizeTest)
#include "wayland_minimize_test.moc"
