// The file-open dialog of the Open button.
#pragma once

#include <QString>

#include <functional>
#include <optional>

class QWidget;

namespace pt4 {

class TOpenDialog {
public:
    // Windows-style filter: description, a bar, then the patterns (matched without regard to case).
    QString Filter;
    QString FileName;

    // Stands in for the desktop's dialog when set (tests): returns the chosen file or nothing.
    std::function<std::optional<QString>()> Chooser;

    // Shows the dialog; true and FileName set when the user chose a file.
    bool Execute(QWidget* parent);

    // The filter in the form the desktop's dialog reads: "description (patterns)".
    static QString DesktopFilter(const QString& filter);
};

} // namespace pt4
