#include "app/desktop_bus.h"
#include "app/guarded_command.h"

#include "app/main_unit.h"
#include "mp3plyr/errors.h"
#include "mp3plyr/input/display_text.h"
#include "mp3plyr/input/file_info.h"
#include "mp3plyr/input/location.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>

#include <algorithm>
#include <cmath>

namespace pt4 {

namespace {

constexpr char kPlayerInterface[] = "org.mpris.MediaPlayer2.Player";
constexpr char kFilesInterface[] = "plumtone4.Files";

QString Text(const std::string& raw)
{
    return QString::fromStdString(VisibleText(DisplayText(raw)));
}

// "png", "jpg" or "gif" from the picture's first bytes (the MIME type a tag gives is not always
// right); empty for anything else.
QString PictureExtension(const QByteArray& bytes)
{
    if (bytes.startsWith("\x89PNG"))
        return QStringLiteral("png");
    if (bytes.startsWith("\xFF\xD8\xFF"))
        return QStringLiteral("jpg");
    if (bytes.startsWith("GIF8"))
        return QStringLiteral("gif");
    return {};
}

} // namespace

// The picture as a file of the user's cache folder, named by its contents, so that each picture
// is written once however often its file plays.
QString PictureUrl(const TMP3Picture& picture)
{
    const QByteArray bytes(reinterpret_cast<const char*>(picture.Data.data()),
                           qsizetype(picture.Data.size()));
    const QString extension = PictureExtension(bytes);
    if (extension.isEmpty())
        return {};
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                           QStringLiteral("/plumtone4/art");
    const QString path =
        folder + u'/' +
        QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex()) + u'.' +
        extension;
    if (!QFileInfo::exists(path)) {
        QDir().mkpath(folder);
        QFile file(path + QStringLiteral(".part"));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
            file.remove();
            return {};
        }
        file.close();
        if (!file.rename(path)) {
            file.remove();
            return {};
        }
    }
    return QUrl::fromLocalFile(path).toString();
}

namespace {

// The album and the picture of a local file's tags; neither for a stream or a file that cannot
// be read.
void AddAlbumAndPicture(const std::string& fileName, QVariantMap& metadata)
{
    try {
        const TFileInfo file(fileName);
        const QString album = Text(file.Info.GetAlbum());
        if (!album.isEmpty())
            metadata.insert(QStringLiteral("xesam:album"), album);
        const QString art = PictureUrl(file.Info.Picture());
        if (!art.isEmpty())
            metadata.insert(QStringLiteral("mpris:artUrl"), art);
    } catch (const EMP3Error&) {
        // Gone or unreadable since it was opened, or not a file at all (a stream's address).
    }
}

} // namespace

TDesktopBus::TDesktopBus(TForm1& form) : QObject(&form), form_(form)
{
    new TDesktopRoot(*this);
    new TDesktopPlayer(*this);
    new TDesktopFiles(*this);
}

TDesktopBus::~TDesktopBus()
{
    if (bus_) {
        bus_->unregisterService(QString::fromLatin1(kBusName));
        bus_->unregisterObject(QString::fromLatin1(kObjectPath));
    }
}

std::optional<QDBusConnection> TDesktopBus::SessionBus()
{
    // Without an address in the environment or the session's socket, asking for the bus could
    // start a bus daemon on the program's behalf.
    const QByteArray address = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (address.isEmpty() &&
        (runtime.isEmpty() || !QFileInfo::exists(QString::fromLocal8Bit(runtime) + "/bus")))
        return std::nullopt;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return std::nullopt;
    return bus;
}

bool TDesktopBus::HandOver(QDBusConnection& bus, const QStringList& files)
{
    QDBusConnectionInterface* names = bus.interface();
    if (!names || !names->isServiceRegistered(QString::fromLatin1(kBusName)))
        return false;
    QDBusMessage call =
        QDBusMessage::createMethodCall(QString::fromLatin1(kBusName), QString::fromLatin1(kObjectPath),
                                       QString::fromLatin1(kFilesInterface), QStringLiteral("Open"));
    call << files;
    const QDBusMessage reply = bus.call(call, QDBus::Block, 5000);
    return reply.type() == QDBusMessage::ReplyMessage;
}

bool TDesktopBus::Publish(QDBusConnection bus)
{
    if (!bus.registerObject(QString::fromLatin1(kObjectPath), this, QDBusConnection::ExportAdaptors))
        return false;
    if (!bus.registerService(QString::fromLatin1(kBusName))) {
        bus.unregisterObject(QString::fromLatin1(kObjectPath));
        return false;
    }
    bus_ = bus;
    announced_ = PlayerProperties();
    connect(&form_, &TForm1::PlayerStatusChanged, this, &TDesktopBus::Refresh);
    connect(&form_, &TForm1::AlbumChanged, this, &TDesktopBus::Refresh);
    connect(&form_, &TForm1::Jumped, this, &TDesktopBus::AnnounceSeek);
    connect(&form_, &TForm1::VolumeChanged, this, &TDesktopBus::Refresh);
    return true;
}

template <class Command> void TDesktopBus::Run(Command&& command)
{
    RunGuarded(std::forward<Command>(command));
}

QDBusObjectPath TDesktopBus::TrackId() const
{
    if (metadataFile_.empty())
        return QDBusObjectPath(QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack"));
    return QDBusObjectPath(QStringLiteral("/org/mpris/MediaPlayer2/plumtone4/track/%1").arg(trackNumber_));
}

QVariantMap TDesktopBus::Metadata()
{
    TMP3Player& player = form_.MP3Player1;
    const bool open = (player.Capabilities() & mpcClose) != 0;
    const std::string file = open ? player.FileName() : std::string();
    if (file != metadataFile_) {
        metadataFile_ = file;
        metadata_.clear();
        if (!file.empty()) {
            ++trackNumber_;
            metadata_.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(TrackId()));
            metadata_.insert(QStringLiteral("mpris:length"), qlonglong(player.Length()) * 1000);
            metadata_.insert(QStringLiteral("xesam:title"), Text(form_.Album.ShownTitle()));
            const QString artist = Text(player.Artist());
            if (!artist.isEmpty())
                metadata_.insert(QStringLiteral("xesam:artist"), QStringList{artist});
            // A station's address is shown without its password.
            metadata_.insert(
                QStringLiteral("xesam:url"),
                IsUrl(file) ? QString::fromStdString(ShownLocation(file))
                            : QUrl::fromLocalFile(QFileInfo(QString::fromStdString(file)).absoluteFilePath())
                                  .toString());
            AddAlbumAndPicture(file, metadata_);
        }
    }
    if (metadata_.isEmpty())
        return {{QStringLiteral("mpris:trackid"), QVariant::fromValue(TrackId())}};
    return metadata_;
}

QVariantMap TDesktopBus::PlayerProperties()
{
    auto* player = findChild<TDesktopPlayer*>();
    return {
        {QStringLiteral("PlaybackStatus"), player->PlaybackStatus()},
        {QStringLiteral("Metadata"), Metadata()},
        {QStringLiteral("Volume"), player->Volume()},
        {QStringLiteral("CanGoNext"), player->CanGoNext()},
        {QStringLiteral("CanGoPrevious"), player->CanGoPrevious()},
        {QStringLiteral("CanPlay"), player->CanPlay()},
        {QStringLiteral("CanPause"), player->CanPause()},
        {QStringLiteral("CanSeek"), player->CanSeek()},
    };
}

void TDesktopBus::Refresh()
{
    if (!bus_)
        return;
    const QVariantMap now = PlayerProperties();
    QVariantMap changed;
    for (auto it = now.begin(); it != now.end(); ++it)
        if (announced_.value(it.key()) != it.value())
            changed.insert(it.key(), it.value());
    announced_ = now;
    if (!changed.isEmpty())
        Announce(QString::fromLatin1(kPlayerInterface), changed);
}

void TDesktopBus::Announce(const QString& interfaceName, const QVariantMap& changed)
{
    QDBusMessage signal = QDBusMessage::createSignal(QString::fromLatin1(kObjectPath),
                                                     QStringLiteral("org.freedesktop.DBus.Properties"),
                                                     QStringLiteral("PropertiesChanged"));
    signal << interfaceName << changed << QStringList();
    bus_->send(signal);
}

void TDesktopBus::AnnounceSeek()
{
    emit findChild<TDesktopPlayer*>()->Seeked(qlonglong(form_.MP3Player1.Position()) * 1000);
}

// --- org.mpris.MediaPlayer2 -------------------------------------------------------------------

TDesktopRoot::TDesktopRoot(TDesktopBus& bus) : QDBusAbstractAdaptor(&bus), bus_(bus) {}

QStringList TDesktopRoot::SupportedMimeTypes() const
{
    return {QStringLiteral("audio/mpeg"),    QStringLiteral("audio/x-mp3"),
            QStringLiteral("audio/mp3"),     QStringLiteral("audio/x-mpegurl"),
            QStringLiteral("audio/mpegurl"), QStringLiteral("application/vnd.apple.mpegurl"),
            QStringLiteral("audio/x-scpls")};
}

void TDesktopRoot::Raise()
{
    bus_.Form().BringBack();
}

void TDesktopRoot::Quit()
{
    // Like closing the window: the settings are written on the way out.
    QMetaObject::invokeMethod(qApp, &QApplication::quit, Qt::QueuedConnection);
}

// --- org.mpris.MediaPlayer2.Player ------------------------------------------------------------

TDesktopPlayer::TDesktopPlayer(TDesktopBus& bus) : QDBusAbstractAdaptor(&bus), bus_(bus)
{
    setAutoRelaySignals(false);
}

QString TDesktopPlayer::PlaybackStatus() const
{
    switch (bus_.Form().MP3Player1.Status()) {
    case TMP3PlayerStatus::mpsPlaying: return QStringLiteral("Playing");
    case TMP3PlayerStatus::mpsPaused: return QStringLiteral("Paused");
    case TMP3PlayerStatus::mpsStopped: break;
    }
    return QStringLiteral("Stopped");
}

double TDesktopPlayer::Volume() const
{
    return bus_.Form().MP3Player1.Volume() / 100.0;
}

void TDesktopPlayer::SetVolume(double volume)
{
    if (!std::isfinite(volume))
        return;
    // The window announces the new volume.
    bus_.Run([&] { bus_.Form().SetVolumeFromDesktop(int(std::lround(std::clamp(volume, 0.0, 1.0) * 100))); });
}

qlonglong TDesktopPlayer::Position() const
{
    return qlonglong(bus_.Form().MP3Player1.Position()) * 1000;
}

bool TDesktopPlayer::CanGoNext() const
{
    return bus_.Form().Album.CanGoNext();
}

bool TDesktopPlayer::CanGoPrevious() const
{
    return bus_.Form().Album.CanGoPrevious();
}

bool TDesktopPlayer::CanPlay() const
{
    // There is a current file: Play or PlayPause has something to act on (while it plays too).
    return (bus_.Form().MP3Player1.Capabilities() & mpcClose) != 0;
}

bool TDesktopPlayer::CanPause() const
{
    return bus_.Form().MP3Player1.Status() != TMP3PlayerStatus::mpsStopped;
}

bool TDesktopPlayer::CanSeek() const
{
    return (bus_.Form().MP3Player1.Capabilities() & mpcSeek) != 0;
}

void TDesktopPlayer::Next()
{
    bus_.Run([this] { bus_.Form().NextTrack(); });
}

void TDesktopPlayer::Previous()
{
    bus_.Run([this] { bus_.Form().PreviousTrack(); });
}

void TDesktopPlayer::Pause()
{
    bus_.Run([this] { bus_.Form().Pause(); });
}

void TDesktopPlayer::PlayPause()
{
    bus_.Run([this] { bus_.Form().PlayOrPause(); });
}

void TDesktopPlayer::Stop()
{
    bus_.Run([this] { bus_.Form().Stop(); });
}

void TDesktopPlayer::Play()
{
    bus_.Run([this] { bus_.Form().PlayOrResume(); });
}

void TDesktopPlayer::Seek(qlonglong offset)
{
    TForm1& form = bus_.Form();
    if (!CanSeek())
        return;
    const qlonglong target = qlonglong(form.MP3Player1.Position()) + offset / 1000;
    if (target >= qlonglong(form.MP3Player1.Length()) && form.MP3Player1.Length() > 0) {
        Next(); // past the end: as the next track
        return;
    }
    bus_.Run([&] { form.SeekTo(int32_t(std::max<qlonglong>(0, target))); });
}

void TDesktopPlayer::SetPosition(const QDBusObjectPath& trackId, qlonglong position)
{
    TForm1& form = bus_.Form();
    if (!CanSeek() || trackId != bus_.TrackId() || position < 0 ||
        position > qlonglong(form.MP3Player1.Length()) * 1000)
        return;
    bus_.Run([&] { form.SeekTo(int32_t(position / 1000)); });
}

void TDesktopPlayer::OpenUri(const QString& uri)
{
    const QUrl url(uri);
    const QString location = url.isLocalFile() ? url.toLocalFile() : uri;
    // After the reply, so that an error shown in a message box does not hold the caller.
    QMetaObject::invokeMethod(
        &bus_.Form(), [this, location] { bus_.Run([&] { bus_.Form().OpenLocations({location}); }); },
        Qt::QueuedConnection);
}

// --- plumtone4.Files --------------------------------------------------------------------------

TDesktopFiles::TDesktopFiles(TDesktopBus& bus) : QDBusAbstractAdaptor(&bus), bus_(bus) {}

void TDesktopFiles::Open(const QStringList& files)
{
    TForm1& form = bus_.Form();
    form.BringBack();
    // After the reply: the caller exits at once, whatever the files do here.
    QMetaObject::invokeMethod(
        &form, [this, files] { bus_.Run([&] { bus_.Form().OpenLocations(files); }); }, Qt::QueuedConnection);
}

} // namespace pt4
