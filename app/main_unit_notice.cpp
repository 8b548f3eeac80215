// Failures during play, as the window tells them: a notice in the song area while a list plays
// on, the standard exception display (a message box) for a file the user opened alone.
#include "app/main_unit.h"

#include "app/guarded_command.h"
#include "mp3plyr/input/display_text.h"
#include "mp3plyr/runtime/exception_display.h"

namespace pt4 {

namespace {

// Long enough to be read, short enough not to hide the next title for long.
constexpr int kNoticeMs = 5000;

} // namespace

void TForm1::CreateNotice()
{
    noticeTimer_.setSingleShot(true);
    noticeTimer_.setInterval(kNoticeMs);
    connect(&noticeTimer_, &QTimer::timeout, this, [this] {
        notice_.clear();
        RunGuarded([this] { MP3Player1ChangeStatus(); });
    });
}

void TForm1::ShowNotice(const TMP3PlayError& error)
{
    // One line: the text, then the cause in plain words where the error carries one.
    QString text = QString::fromStdString(VisibleText(error.Text));
    if (!error.Detail.empty())
        text += u' ' + QString::fromStdString(error.Detail);
    notice_ = text;
    SongLabel1->SetCaption(text);
    SongLabel2->SetCaption(text);
    noticeTimer_.start();
    emit NoticeShown(QString::fromStdString(error.Text));
}

void TForm1::TellPlayerError()
{
    const std::optional<TMP3PlayError> error = MP3Player1.LastError();
    if (!error || error->Error == told_)
        return;
    told_ = error->Error;
    // A notice while play goes on (a list, or a lost sound server being waited for); a box for a
    // file opened alone that stopped.
    if (Album.Selected() || MP3Player1.Status() != TMP3PlayerStatus::mpsStopped)
        ShowNotice(*error);
    else
        ShowException(error->Error);
}

} // namespace pt4
