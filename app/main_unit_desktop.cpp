// What the desktop hands to the window: locations to open and play, and files dropped on it.
#include "app/main_unit.h"

#include "app/file_list_box.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

namespace pt4
{

void TForm1::OpenLocation(const QString& location)
{
    OpenChosenFile(location);
    playImageMouseUp(Qt::LeftButton, QPoint());
}
} // namespace pt4
