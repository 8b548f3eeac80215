#include "app/open_dialog.h"

#include <QFileDialog>
#include <QFileInfo>

namespace pt4 {

namespace {

// "*.MP3*" becomes "*.[Mm][Pp]3*": the desktop's dialog matches names with case.
QString AnyCasePattern(const QString& pattern)
{
    QString result;
    for (QChar c : pattern) {
        if (c.isLetter() && c.toLower() != c.toUpper())
            result += u'[' + QString(c.toUpper()) + QString(c.toLower()) + u']';
        else
            result += c;
    }
    return result;
}

} // namespace

QString TOpenDialog::DesktopFilter(const QString& filter)
{
    const qsizetype bar = filter.indexOf(u'|');
    if (bar < 0)
        return filter;
    QStringList patterns;
    for (const QString& pattern : filter.mid(bar + 1).split(u';', Qt::SkipEmptyParts))
        patterns << AnyCasePattern(pattern.trimmed());
    return filter.left(bar) + QStringLiteral(" (") + patterns.join(u' ') + u')';
}

bool TOpenDialog::Execute(QWidget* parent)
{
    std::optional<QString> chosen;
    if (Chooser) {
        chosen = Chooser();
    } else {
        const QString startDir = FileName.isEmpty() ? QString() : QFileInfo(FileName).absolutePath();
        const QString name = QFileDialog::getOpenFileName(parent, QString(), startDir, DesktopFilter(Filter),
                                                          nullptr, QFileDialog::HideNameFilterDetails);
        if (!name.isEmpty())
            chosen = name;
    }
    if (!chosen)
        return false;
    FileName = *chosen;
    return true;
}

} // namespace pt4
