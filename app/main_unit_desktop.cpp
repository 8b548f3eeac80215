// What the desktop hands to the window: locations to open and play, lists to play in turn, files
// and folders dropped on it, the volume.
#include "app/main_unit.h"

#include "app/file_list_box.h"
#include "components/natural_order.h"
#include "mp3plyr/input/icy_metadata.h"
#include "mp3plyr/input/playlist_file.h"
#include "mp3plyr/runtime/exception_display.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>

namespace pt4 {

namespace {

// The folder's files the album dialog would list, in the same order.
QStringList FolderFiles(const QString& folder)
{
    QStringList names;
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Readable))
        if (TFileListBox::MatchesMask(name, QStringLiteral("*.mp3*")))
            names << name;
    std::sort(names.begin(), names.end(), NaturalLess);
    QStringList paths;
    for (const QString& name : names)
        paths << QDir(folder).filePath(name);
    return paths;
}

} // namespace

void TForm1::OpenLocation(const QString& location)
{
    // A playlist plays whole; a file path, or an http:// or https:// stream, the player opens.
    if (HasPlaylistExtension(location.toStdString())) {
        OpenPlaylist({location}, true);
        return;
    }
    OpenChosenFile(location);
    Play();
}

void TForm1::OpenLocations(const QStringList& locations)
{
    QStringList files;
    bool album = locations.size() > 1;
    for (const QString& location : locations) {
        const QFileInfo item(location);
        if (item.isDir()) {
            files << FolderFiles(item.absoluteFilePath());
            album = true;
        } else {
            files << location;
        }
    }
    if (album)
        PlayFiles(files);
    else if (!files.isEmpty())
        OpenLocation(files.front());
}

void TForm1::BringBack()
{
    // Minimised where the platform does not tell (Wayland): a window shown anew is a new window
    // to the compositor, which puts it in front, not minimised.
    if (AnimateForm1->Minimized() && !isMinimized()) {
        hide();
        show();
    }
    showNormal();
    raise();
    activateWindow();
}

std::optional<TForm1::TDropPlan> TForm1::PlanDrop(const QList<QUrl>& urls)
{
    TDropPlan plan;
    // One dropped web link: a station or an MP3 served over HTTP, played as a stream.
    const auto isWebLink = [](const QUrl& url) {
        return url.scheme() == QStringLiteral("http") || url.scheme() == QStringLiteral("https");
    };
    if (urls.size() == 1 && isWebLink(urls.front())) {
        plan.files << urls.front().toString();
        return plan;
    }
    for (const QUrl& url : urls) {
        if (!url.isLocalFile())
            return std::nullopt;
        const QFileInfo item(url.toLocalFile());
        if (item.isDir()) {
            plan.files << FolderFiles(item.absoluteFilePath());
            plan.album = true;
        } else if (item.isFile()) {
            plan.files << item.absoluteFilePath();
        } else {
            return std::nullopt;
        }
    }
    if (plan.files.isEmpty())
        return std::nullopt;
    plan.album = plan.album || plan.files.size() > 1;
    return plan;
}

void TForm1::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls() && PlanDrop(event->mimeData()->urls()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void TForm1::dragMoveEvent(QDragMoveEvent* event)
{
    if (event->mimeData()->hasUrls() && PlanDrop(event->mimeData()->urls()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void TForm1::dropEvent(QDropEvent* event)
{
    const std::optional<TDropPlan> plan =
        event->mimeData()->hasUrls() ? PlanDrop(event->mimeData()->urls()) : std::nullopt;
    if (!plan) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    comforts_->NoteDropped(event->mimeData()->urls());
    // Once the drop is over: a message box must not hold up the dragging program.
    QMetaObject::invokeMethod(
        this,
        [this, plan = *plan] {
            try {
                if (plan.album)
                    PlayFiles(plan.files);
                else
                    OpenLocation(plan.files.front());
            } catch (...) {
                ShowException(std::current_exception());
            }
        },
        Qt::QueuedConnection);
}

} // namespace pt4
