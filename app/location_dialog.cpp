#include "app/location_dialog.h"

#include <QComboBox>
#include <QCompleter>
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
        QInputDialog dialog(parent);
        dialog.setWindowTitle(QStringLiteral("場所を開く"));
        dialog.setLabelText(QStringLiteral("再生する URL またはファイルの場所:"));
        if (!History.isEmpty()) {
            // An editable list: the stations typed before are a choice away, the field starts empty.
            dialog.setComboBoxItems(History);
            dialog.setComboBoxEditable(true);
            // Matches are listed below the field, not filled into it: a new address that begins
            // like an old one is typed as it is.
            if (auto* field = dialog.findChild<QComboBox*>(); field && field->completer())
                field->completer()->setCompletionMode(QCompleter::PopupCompletion);
        }
        dialog.setTextValue(QString());
        if (dialog.exec() == QDialog::Accepted)
            typed = dialog.textValue();
    }
    if (!typed)
        return false;
    const QString location = PlayerLocation(*typed);
    if (location.isEmpty())
        return false;
    Location = location;
    if (location.startsWith(QStringLiteral("http://"), Qt::CaseInsensitive) ||
        location.startsWith(QStringLiteral("https://"), Qt::CaseInsensitive)) {
        History.removeAll(location);
        History.prepend(location);
        while (History.size() > kHistoryLimit)
            History.removeLast();
    }
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
