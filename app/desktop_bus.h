// The window on the session bus: the desktop's media controls (media keys, the panel's sound
// menu, paired phones) drive it through the common media-player interfaces, and a second start
// of the program hands its files to the window that runs. Every command goes through the same
// handlers as the window's buttons, so the window shows what the desktop did.
#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include <optional>

namespace pt4 {

class TForm1;

struct TMP3Picture;

// An attached picture as a file:// URL of a copy in the user's cache folder; empty when it is no
// PNG, JPEG or GIF or cannot be written.
QString PictureUrl(const TMP3Picture& picture);

inline constexpr char kBusName[] = "org.mpris.MediaPlayer2.plumtone4";
inline constexpr char kObjectPath[] = "/org/mpris/MediaPlayer2";

class TDesktopBus : public QObject {
    Q_OBJECT
public:
    explicit TDesktopBus(TForm1& form);
    ~TDesktopBus() override;

    // The session bus, when the session has one (nothing is started to get one).
    static std::optional<QDBusConnection> SessionBus();
    // When another start owns the name: hands it the files (absolute paths; none just raises its
    // window) and returns true.
    static bool HandOver(QDBusConnection& bus, const QStringList& files);

    // Publishes the window under the name; false when that failed (the window works on).
    bool Publish(QDBusConnection bus);

    TForm1& Form() { return form_; }
    // Properties of the player interface that announce their changes, as they are now.
    QVariantMap PlayerProperties();
    QVariantMap Metadata();
    QDBusObjectPath TrackId() const;
    // Runs a window command; what it throws goes to the standard exception display.
    template <class Command> void Run(Command&& command);
    // Announces the changed properties of the player interface.
    void Refresh();
    void AnnounceSeek();

private:
    void Announce(const QString& interfaceName, const QVariantMap& changed);

    TForm1& form_;
    std::optional<QDBusConnection> bus_;
    QVariantMap announced_;
    // The file whose metadata is cached, and the cache.
    std::string metadataFile_;
    QVariantMap metadata_;
    quint32 trackNumber_ = 0;
};

// org.mpris.MediaPlayer2
class TDesktopRoot : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ CanQuit)
    Q_PROPERTY(bool CanRaise READ CanRaise)
    Q_PROPERTY(bool HasTrackList READ HasTrackList)
    Q_PROPERTY(QString Identity READ Identity)
    Q_PROPERTY(QString DesktopEntry READ DesktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ SupportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ SupportedMimeTypes)
public:
    explicit TDesktopRoot(TDesktopBus& bus);
    bool CanQuit() const { return true; }
    bool CanRaise() const { return true; }
    bool HasTrackList() const { return false; }
    QString Identity() const { return QStringLiteral("Plumtone4"); }
    QString DesktopEntry() const { return QStringLiteral("plumtone4"); }
    QStringList SupportedUriSchemes() const
    {
        return {QStringLiteral("file"), QStringLiteral("http"), QStringLiteral("https")};
    }
    QStringList SupportedMimeTypes() const;

public slots:
    void Raise();
    void Quit();

private:
    TDesktopBus& bus_;
};

// org.mpris.MediaPlayer2.Player
class TDesktopPlayer : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ PlaybackStatus)
    Q_PROPERTY(double Rate READ Rate WRITE SetRate)
    Q_PROPERTY(double MinimumRate READ Rate)
    Q_PROPERTY(double MaximumRate READ Rate)
    Q_PROPERTY(QVariantMap Metadata READ Metadata)
    Q_PROPERTY(double Volume READ Volume WRITE SetVolume)
    Q_PROPERTY(qlonglong Position READ Position)
    Q_PROPERTY(bool CanGoNext READ CanGoNext)
    Q_PROPERTY(bool CanGoPrevious READ CanGoPrevious)
    Q_PROPERTY(bool CanPlay READ CanPlay)
    Q_PROPERTY(bool CanPause READ CanPause)
    Q_PROPERTY(bool CanSeek READ CanSeek)
    Q_PROPERTY(bool CanControl READ CanControl)
public:
    explicit TDesktopPlayer(TDesktopBus& bus);
    QString PlaybackStatus() const;
    double Rate() const { return 1.0; }
    void SetRate(double) {}
    QVariantMap Metadata() { return bus_.Metadata(); }
    double Volume() const;
    void SetVolume(double volume);
    qlonglong Position() const;
    bool CanGoNext() const;
    bool CanGoPrevious() const;
    bool CanPlay() const;
    bool CanPause() const;
    bool CanSeek() const;
    bool CanControl() const { return true; }

public slots:
    void Next();
    void Previous();
    void Pause();
    void PlayPause();
    void Stop();
    void Play();
    void Seek(qlonglong offset);
    void SetPosition(const QDBusObjectPath& trackId, qlonglong position);
    void OpenUri(const QString& uri);

signals:
    void Seeked(qlonglong position);

private:
    TDesktopBus& bus_;
};

// The program's own interface: files handed over by a second start.
class TDesktopFiles : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "plumtone4.Files")
public:
    explicit TDesktopFiles(TDesktopBus& bus);

public slots:
    // One file opens and plays; several play in turn in this order. The window comes up.
    void Open(const QStringList& files);

private:
    TDesktopBus& bus_;
};

} // namespace pt4
