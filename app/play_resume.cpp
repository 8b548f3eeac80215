#include "app/play_resume.h"

#include "app/main_unit.h"
#include "app/settings_file.h"
#include "app/settings_text.h"

#include <QFile>

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
    ini.EraseSection(kSection);
    TMP3Player& player = form.MP3Player1;
    const std::string file = player.FileName();
    if (!(player.Capabilities() & mpcClose) || player.Connecting() || file.empty() || IsStation(file))
        return;
    const TAlbumSequence& album = form.Album;
    const int32_t entry = album.Entry(album.TrackIndex());
    const bool listed = album.Selected() && album.TrackCount() > 0 && entry >= 0 &&
                        size_t(entry) < album.List().size() && album.List()[size_t(entry)] == file;
    if (listed) {
        ini.WriteText(kSection, QStringLiteral("Kind"), QStringLiteral("list"));
        ini.WriteInteger(kSection, QStringLiteral("Count"), int32_t(album.List().size()));
        for (size_t i = 0; i < album.List().size(); ++i)
            ini.WriteText(kSection, QStringLiteral("Entry%1").arg(i), Value(album.List()[i]));
        ini.WriteInteger(kSection, QStringLiteral("Track"), entry);
    } else {
        ini.WriteText(kSection, QStringLiteral("Kind"), QStringLiteral("file"));
        ini.WriteText(kSection, QStringLiteral("File"), Value(file));
    }
    const bool started = player.Status() != TMP3PlayerStatus::mpsStopped;
    ini.WriteInteger(kSection, QStringLiteral("Position"), started ? int32_t(player.Position()) : 0);
}

bool ResumeLastPlay(TForm1& form, const TIniFile& ini)
{
    const QString kind = ini.ReadText(kSection, QStringLiteral("Kind"));
    if (kind == QStringLiteral("file")) {
        const std::string file = Bytes(ini.ReadText(kSection, QStringLiteral("File")));
        // A file gone since is no error worth a message at start.
        if (file.empty() || !QFile::exists(QFile::decodeName(QByteArray::fromStdString(file))))
            return false;
        form.OpenChosenFile(QFile::decodeName(QByteArray::fromStdString(file)));
    } else if (kind == QStringLiteral("list")) {
        const int32_t count = ini.ReadInteger(kSection, QStringLiteral("Count"), 0);
        std::vector<std::string> entries;
        for (int32_t i = 0; i < count; ++i)
            entries.push_back(Bytes(ini.ReadText(kSection, QStringLiteral("Entry%1").arg(i))));
        if (!form.Album.ConfirmAt(std::move(entries), ini.ReadInteger(kSection, QStringLiteral("Track"), 0)))
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
        const int32_t position = ini.ReadInteger(kSection, QStringLiteral("Position"), 0);
        if (position > 0 && (player.Capabilities() & mpcSeek))
            player.Seek(position);
    }
    form.ShowPlayerState();
    form.MP3Player1ChangePosition();
    return true;
}

} // namespace pt4
