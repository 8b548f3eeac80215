#include "app/song_notification.h"

#include "app/desktop_bus.h"
#include "app/main_unit.h"
#include "mp3plyr/errors.h"
#include "mp3plyr/input/display_text.h"
#include "mp3plyr/input/file_info.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QUrl>

namespace pt4 {

namespace {

QString Text(const std::string& raw)
{
    return QString::fromStdString(VisibleText(DisplayText(raw)));
}

// The cover of a local file as a path in the cache folder; empty for a stream, a file without
// one, or a file that cannot be read now.
QString CoverPath(const std::string& fileName)
{
    try {
        const TFileInfo file(fileName);
        return QUrl(PictureUrl(file.Info.Picture())).toLocalFile();
    } catch (const EMP3Error&) {
        return {};
    }
}

} // namespace

TSongNotifier::TSongNotifier(TForm1& form, std::optional<QDBusConnection> bus)
    : QObject(nullptr), form_(form), bus_(std::move(bus))
{
}

void TSongNotifier::PlayerChanged()
{
    TMP3Player& player = form_.MP3Player1;
    if (player.Status() != TMP3PlayerStatus::mpsPlaying || player.Connecting())
        return;
    const QString title = Text(form_.Album.ShownTitle());
    const std::string file = player.FileName();
    const QString song = QString::fromStdString(file) + u'\n' + title;
    if (song == shown_)
        return;
    shown_ = song;
    // The user looking at the window sees the change there.
    if (!Enabled || !bus_ || form_.isActiveWindow() || title.isEmpty())
        return;
    Send(title, Text(player.Artist()), CoverPath(file));
}

void TSongNotifier::Send(const QString& title, const QString& artist, const QString& image)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    QVariantMap hints{{QStringLiteral("desktop-entry"), QStringLiteral("plumtone4")},
                      {QStringLiteral("category"), QStringLiteral("x-plumtone4.song")},
                      {QStringLiteral("transient"), true}};
    if (!image.isEmpty())
        hints.insert(QStringLiteral("image-path"), image);
    call << QStringLiteral("Plumtone4") << lastId_ << QStringLiteral("plumtone4") << title
         << artist.toHtmlEscaped() << QStringList() << hints << int32_t(-1);
    // Not waited for: a slow or missing notification server must not hold up the window.
    auto* watcher = new QDBusPendingCallWatcher(bus_->asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* done) {
        const QDBusPendingReply<uint32_t> reply = *done;
        if (reply.isValid())
            lastId_ = reply.value();
        done->deleteLater();
    });
}

} // namespace pt4
