// Every way to give the window a command reaches the same command as the skin's control: a key,
// a menu entry and the desktop bus leave the window, the player and the album exactly as a click
// on the button or panel does, in the states where the control acts and in those where it does
// nothing.
#include "support/album_driver.h"

#include "app/desktop_bus.h"

#include <QtTest>

#include <variant>

using namespace pt4;
using namespace pt4::testing;

namespace {

enum class TStart { NoFile, Stopped, Playing, Paused, AlbumFirstTrack };

struct TKeyRoute {
    QKeyCombination keys;
};
struct TMenuRoute {
    const char* entry;
};
using TBusRoute = void (TDesktopPlayer::*)();
using TRoute = std::variant<TKeyRoute, TMenuRoute, TBusRoute>;

using TControl = std::variant<TSkinImage * TForm1::*, TSkinPanel * TForm1::*>;

struct TCase {
    const char* name;
    TStart start;
    TControl control; // the skin's control whose click the routes must match
    bool acts;        // whether that click changes anything in this state
    std::vector<TRoute> routes;
};

// What a command can change, as the window, the player and the album show it.
struct TEffect {
    TMP3PlayerStatus status;
    QString file;
    int32_t track;
    bool repeat;
    bool blinkPlay, blinkPause, blinkPhase, blinking;
    std::array<int, 3> indicators; // picture store numbers
    bool aboutShown;
    int filesAsked;
    int jumps; // the player was told to jump (its position runs on meanwhile: it writes a WAVE file)

    bool operator==(const TEffect&) const = default;
};

QString Describe(const TEffect& e)
{
    return QStringLiteral("status %1 file %2 track %3 repeat %4 blink %5%6%7%8 indicators %9,%10,%11 "
                          "about %12 asked %13 jumps %14")
        .arg(int(e.status))
        .arg(e.file)
        .arg(e.track)
        .arg(e.repeat)
        .arg(e.blinkPlay)
        .arg(e.blinkPause)
        .arg(e.blinkPhase)
        .arg(e.blinking)
        .arg(e.indicators[0])
        .arg(e.indicators[1])
        .arg(e.indicators[2])
        .arg(e.aboutShown)
        .arg(e.filesAsked)
        .arg(e.jumps);
}

// One window brought to a starting state, with a file dialog that counts its questions.
class TScene {
public:
    explicit TScene(TStart start) : f_(app_.Form1())
    {
        chosen_ = WriteSilentMp3(app_.TempFile("chosen.mp3"), 30);
        f_.OpenDialog1.Chooser = [this] {
            ++filesAsked_;
            return std::optional<QString>(chosen_);
        };
        if (start == TStart::NoFile)
            return;
        if (start == TStart::AlbumFirstTrack) {
            const QString dir =
                MakeAlbum(app_.TempFile("album"), {{"a.mp3", 240}, {"b.mp3", 240}, {"c.mp3", 240}});
            f_.MP3Player1.SetWaveFileName(app_.TempFile("out.wav").toStdString());
            f_.PlayFiles({dir + "/a.mp3", dir + "/b.mp3", dir + "/c.mp3"});
            return;
        }
        f_.OpenChosenFile(WriteSilentMp3(app_.TempFile("a.mp3"), 240));
        f_.MP3Player1.SetWaveFileName(app_.TempFile("out.wav").toStdString());
        if (start == TStart::Playing || start == TStart::Paused)
            Click(f_.playImage);
        if (start == TStart::Paused)
            Click(f_.pauseImage);
    }

    TForm1& Form() { return f_; }

    TEffect Effect()
    {
        std::array<int, 3> shown{};
        const std::array<TSkinImage*, 3> indicators = {f_.Status1Image, f_.Status2Image, f_.Status3Image};
        for (size_t i = 0; i < indicators.size(); ++i)
            for (int number = 29; number <= 34; ++number)
                if (SamePicture(indicators[i]->Picture(), app_.Form2().Image(number)))
                    shown[i] = number;
        return {f_.MP3Player1.Status(),
                QFileInfo(QString::fromStdString(f_.MP3Player1.FileName())).fileName(),
                f_.Album.TrackIndex(),
                f_.Album.Repeat(),
                f_.BlinkPlay(),
                f_.BlinkPause(),
                f_.BlinkPhase(),
                f_.MMTimer2.Running(),
                shown,
                f_.Image1->isVisible(),
                filesAsked_,
                int(jumps_.count())};
    }

    void Take(const TRoute& route)
    {
        if (const auto* key = std::get_if<TKeyRoute>(&route)) {
            // As the window system delivers it: press and release to the window.
            for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
                QKeyEvent event(type, key->keys.key(), key->keys.keyboardModifiers(),
                                key->keys.key() == Qt::Key_Space ? QStringLiteral(" ") : QString());
                QApplication::sendEvent(&f_, &event);
            }
        } else if (const auto* menu = std::get_if<TMenuRoute>(&route)) {
            QMenu* context = f_.ContextMenu();
            context->popup(f_.mapToGlobal(QPoint(10, 10)));
            QVERIFY(WaitUntil([context] { return context->isVisible(); }, 5000));
            QVERIFY(ClickMenuEntry(context, QString::fromUtf8(menu->entry)));
            context->close();
        } else {
            auto* bus = new TDesktopBus(f_);
            auto* player = bus->findChild<TDesktopPlayer*>();
            QVERIFY(player);
            (player->*std::get<TBusRoute>(route))();
        }
    }

private:
    TWindowsUnderTest app_;
    TForm1& f_;
    QSignalSpy jumps_{&f_, &TForm1::Jumped};
    QString chosen_;
    int filesAsked_ = 0;
};

QString RouteName(const TRoute& route)
{
    if (const auto* key = std::get_if<TKeyRoute>(&route))
        return QStringLiteral("key ") + QKeySequence(key->keys).toString();
    if (const auto* menu = std::get_if<TMenuRoute>(&route))
        return QStringLiteral("menu ") + QString::fromUtf8(menu->entry);
    return QStringLiteral("desktop bus");
}

TKeyRoute Key(QKeyCombination keys)
{
    return {keys};
}

} // namespace

class CommandRoutesTest : public QObject {
    Q_OBJECT
private slots:
    void everyRouteHasTheEffectOfTheSkinControl();
};

void CommandRoutesTest::everyRouteHasTheEffectOfTheSkinControl()
{
    using F = TForm1;
    using P = TDesktopPlayer;
    const TRoute space = Key(Qt::Key_Space);
    const TRoute mediaPlay = Key(Qt::Key_MediaPlay);
    const TRoute busPlay = TBusRoute(&P::Play);
    const TRoute busPlayPause = TBusRoute(&P::PlayPause);
    const std::vector<TCase> cases = {
        {"play",
         TStart::Stopped,
         &F::playImage,
         true,
         {space, mediaPlay, Key(Qt::Key_MediaTogglePlayPause), busPlay, busPlayPause}},
        {"play with nothing open",
         TStart::NoFile,
         &F::playImage,
         false,
         {space, mediaPlay, busPlay, busPlayPause}},
        {"pause",
         TStart::Playing,
         &F::pauseImage,
         true,
         {space, mediaPlay, Key(Qt::Key_MediaPause), TBusRoute(&P::Pause), busPlayPause}},
        {"resume", TStart::Paused, &F::pauseImage, true, {space, mediaPlay, busPlay, busPlayPause}},
        {"pause while stopped",
         TStart::Stopped,
         &F::pauseImage,
         false,
         {Key(Qt::Key_MediaPause), TBusRoute(&P::Pause)}},
        {"stop", TStart::Playing, &F::stopImage, true, {Key(Qt::Key_MediaStop), TBusRoute(&P::Stop)}},
        {"stop while paused",
         TStart::Paused,
         &F::stopImage,
         true,
         {Key(Qt::Key_MediaStop), TBusRoute(&P::Stop)}},
        {"open",
         TStart::NoFile,
         &F::OpenImage,
         true,
         {Key(Qt::ControlModifier | Qt::Key_O), TMenuRoute{"ファイルを開く"}}},
        {"fast-forward", TStart::Playing, &F::next1Image, true, {Key(Qt::Key_Right)}},
        {"rewind", TStart::Playing, &F::back1Image, true, {Key(Qt::Key_Left)}},
        {"fast-forward while paused", TStart::Paused, &F::next1Image, false, {Key(Qt::Key_Right)}},
        {"next track",
         TStart::AlbumFirstTrack,
         &F::next2Image,
         true,
         {Key(Qt::ControlModifier | Qt::Key_Right), Key(Qt::Key_MediaNext), TBusRoute(&P::Next)}},
        {"previous track on the first",
         TStart::AlbumFirstTrack,
         &F::back2Image,
         false,
         {Key(Qt::ControlModifier | Qt::Key_Left), Key(Qt::Key_MediaPrevious), TBusRoute(&P::Previous)}},
        {"repeat", TStart::Playing, &F::RepeatPanel, true, {TMenuRoute{"リピート"}}},
        {"repeat while stopped", TStart::Stopped, &F::RepeatPanel, false, {TMenuRoute{"リピート"}}},
        {"about", TStart::NoFile, &F::AboutPanel, true, {TMenuRoute{"バージョン情報"}}},
    };
    for (const TCase& c : cases) {
        TEffect clicked{};
        {
            TScene scene(c.start);
            const TEffect before = scene.Effect();
            std::visit([&scene](auto member) { Click(scene.Form().*member); }, c.control);
            clicked = scene.Effect();
            QVERIFY2((clicked != before) == c.acts, qPrintable(QStringLiteral("%1: the click %2: %3")
                                                                   .arg(c.name)
                                                                   .arg(c.acts ? "did nothing" : "acted")
                                                                   .arg(Describe(clicked))));
        }
        for (const TRoute& route : c.routes) {
            TScene scene(c.start);
            scene.Take(route);
            const TEffect taken = scene.Effect();
            QVERIFY2(taken == clicked,
                     qPrintable(QStringLiteral("%1 by %2:\n  %3\n  the click: %4")
                                    .arg(c.name, RouteName(route), Describe(taken), Describe(clicked))));
        }
    }
}

QTEST_MAIN(CommandRoutesTest)
#include "command_routes_test.moc"
