#include "app/location_dialog.h"

#include <QFileInfo>
#include <QInputDialog>
#include <QUrl>

namespace pt4 {

bool TLocationDialog::Execute(QWidget* parent)
{
    std::optional<QString> typed;
    if (Chooser) {
        typed = Chooser();
    } else {
        bool accepted = false;
        const QString text = QInputDialog::getText(parent, QStringLiteral("場所を開く"),
                                                   QStringLiteral("再生する URL またはファイルの場所:"),
                                                   QLineEdit::Normal, QString(), &accepted);
        if (accepted)
            typed = text;
    }
    if (!typed)
        return false;
    const QString location = PlayerLocation(*typed);
    if (location.isEmpty())
        return false;
    Location = location;
    return true;
}

QString TLocationDialog::PlayerLocation(const QString& typed)
{
    const QString text = typed.trimmed();
    if (text.isEmpty())
        return QString();
    if (text.startsWith(QStringLiteral("http://"), Qt::CaseInsensitive) ||
        text.startsWith(QStringLiteral("https://"), Qt::CaseInsensitive))
        return text;
    if (text.startsWith(QStringLiteral("file:"), Qt::CaseInsensitive))
        return QUrl(text).toLocalFile();
    return QFileInfo(text).absoluteFilePath();
}

} // namespace pt4
