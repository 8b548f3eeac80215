#include "app/play_resume.h"

#include "app/main_unit.h"
#include "app/settings_file.h"
#include "app/settings_text.h"

#include <QFile>

#include <algorithm>

namespace pt4 {

namespace {

const QString kSection = QStringLiteral("Resume");

bool IsStation(const std::string& location)
{
    const QString text = QString::fromStdString(location);
    return text.startsWith(QStringLiteral("http://"), Qt::CaseInsensitive) ||
           text.startsWith(QStringLiteral("https://"), Qt::CaseInsensitive);
}

QString Value(const std::string& bytes)
{
    return SettingsValueOfBytes(QByteArray::fromStdString(bytes));
}

std::string Bytes(const QString& value)
{
    return BytesOfSettingsValue(value).toStdString();
}

// The volume is off while the file starts and pauses: nothing of its beginning is heard.
class TMuted {
public:
    explicit TMuted(TMP3Player& player) : player_(player), volume_(player.Volume()) { player_.SetVolume(0); }
    ~TMuted() { player_.SetVolume(volume_); }

private:
    TMP3Player& player_;
    uint32_t volume_;
};

} // namespace

void SaveResumePoint(TForm1& form, TIniFile& ini)
{
    TMP3Player& player = form.MP3Player1;
    const std::string file = player.FileName();
    if (!(player.Capabilities() & mpcClose) || player.Connecting() || file.empty() || IsStation(file)) {
        ini.EraseSection(kSection);
        return;
    }
    // A list of thousands of entries is written as one section, in one pass.
    QList<std::pair<QString, QString>> keys;
    const TAlbumSequence& album = form.Album;
    const int32_t entry = album.Entry(album.TrackIndex());
    const bool listed = album.Selected() && album.TrackCount() > 0 && entry >= 0 &&
                        size_t(entry) < album.List().size() && album.List()[size_t(entry)] == file;
    if (listed) {
        keys.append({QStringLiteral("Kind"), QStringLiteral("list")});
        keys.append({QStringLiteral("Count"), QString::number(album.List().size())});
        for (size_t i = 0; i < album.List().size(); ++i)
            keys.append({QStringLiteral("Entry%1").arg(i), Value(album.List()[i])});
        keys.append({QStringLiteral("Track"), QString::number(entry)});
    } else {
        keys.append({QStringLiteral("Kind"), QStringLiteral("file")});
        keys.append({QStringLiteral("File"), Value(file)});
    }
    const bool started = player.Status() != TMP3PlayerStatus::mpsStopped;
    keys.append({QStringLiteral("Position"), QString::number(started ? player.Position() : 0)});
    ini.WriteSection(kSection, keys);
}

bool ResumeLastPlay(TForm1& form, const TIniFile& ini)
{
    const QHash<QString, QString> keys = ini.ReadSection(kSection);
    const auto number = [&keys](const char* key) { return keys.value(QLatin1String(key)).toInt(); };
    const QString kind = keys.value(QStringLiteral("kind"));
    if (kind == QStringLiteral("file")) {
        const std::string file = Bytes(keys.value(QStringLiteral("file")));
        // A file gone since is no error worth a message at start.
        if (file.empty() || !QFile::exists(QFile::decodeName(QByteArray::fromStdString(file))))
            return false;
        form.OpenChosenFile(QFile::decodeName(QByteArray::fromStdString(file)));
    } else if (kind == QStringLiteral("list")) {
        std::vector<std::string> entries;
        const int32_t count = std::min(number("count"), int32_t(keys.size())); // not past what is there
        for (int32_t i = 0; i < count; ++i)
            entries.push_back(Bytes(keys.value(QStringLiteral("entry%1").arg(i))));
        if (!form.Album.ConfirmAt(std::move(entries), number("track")))
            return false;
    } else {
        return false;
    }
    TMP3Player& player = form.MP3Player1;
    if (!(player.Capabilities() & mpcPlay))
        return false;
    {
        const TMuted muted(player);
        form.Album.PlayPressed();
        player.Play();
        player.Pause();
        const int32_t position = number("position");
        if (position > 0 && (player.Capabilities() & mpcSeek))
            player.Seek(position);
    }
    form.ShowPlayerState();
    form.MP3Player1ChangePosition();
    return true;
}

} // namespace pt4
