// Minimise and restore: the component's checks and the desktop sounds it plays.
#include "components/animate_form.h"
#include "components/desktop_sound.h"
#include "components/main_form.h"

#include "support/app_fixtures.h"

#include <QtTest>

using namespace pt4;
using namespace pt4::testing;

class AnimateFormTest : public QObject {
    Q_OBJECT
private slots:
    void init() { SetApplicationMainForm(nullptr); }
    void cleanup()
    {
        SetApplicationMainForm(nullptr);
        SetDesktopSoundPlayer({});
    }
    void ownerMustBeAForm();
    void onlyTheFirstWindowMayHoldIt();
    void minimiseAndRestorePlayTheirSoundsOnce();
    void mainWindowOfTheProgramHasOne();
};

void AnimateFormTest::ownerMustBeAForm()
{
    QWidget form;
    auto* child = new QWidget(&form);
    QObject plain;
    for (QObject* owner : {static_cast<QObject*>(child), &plain, static_cast<QObject*>(nullptr)}) {
        try {
            TAnimateForm animate(owner);
            QFAIL("no exception");
        } catch (const EAnimateFormError& error) {
            QCOMPARE(QString::fromLatin1(error.what()), QStringLiteral("Owner must be a form"));
        }
    }
}

void AnimateFormTest::onlyTheFirstWindowMayHoldIt()
{
    QWidget first;
    TAnimateForm onFirst(&first);
    SetApplicationMainForm(&first);
    QWidget second;
    try {
        TAnimateForm onSecond(&second);
        QFAIL("no exception");
    } catch (const EAnimateFormError& error) {
        QCOMPARE(QString::fromLatin1(error.what()),
                 QStringLiteral("AnimateForm muse be placed in a main form"));
    }
}

void AnimateFormTest::minimiseAndRestorePlayTheirSoundsOnce()
{
    QStringList played;
    SetDesktopSoundPlayer([&played](const std::string& id) { played << QString::fromStdString(id); });
    QWidget form;
    TAnimateForm animate(&form);
    int minimizeEvents = 0;
    animate.OnMinimize = [&] { ++minimizeEvents; };
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    form.showMinimized();
    QVERIFY(WaitUntil([&] { return form.isMinimized(); }));
    QCOMPARE(played, QStringList{QStringLiteral("window-minimized")});
    QCOMPARE(minimizeEvents, 1);

    form.showNormal();
    QVERIFY(WaitUntil([&] { return !form.isMinimized(); }));
    QCOMPARE(played, (QStringList{QStringLiteral("window-minimized"), QStringLiteral("window-unminimized")}));
    QCOMPARE(minimizeEvents, 1);
}

void AnimateFormTest::mainWindowOfTheProgramHasOne()
{
    QStringList played;
    SetDesktopSoundPlayer([&played](const std::string& id) { played << QString::fromStdString(id); });
    TWindowsUnderTest app;
    QVERIFY(app.Form1().AnimateForm1);
    QCOMPARE(ApplicationMainForm(), &app.Form1());
    app.Form1().showMinimized();
    QVERIFY(WaitUntil([&] { return !played.isEmpty(); }));
    QCOMPARE(played, QStringList{QStringLiteral("window-minimized")});
}

QTEST_MAIN(AnimateFormTest)
#include "animate_form_test.moc"
