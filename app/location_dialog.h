// The dialog that asks for a location to play: an http:// or https:// stream or a file path.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QWidget;

namespace pt4 {

class TLocationDialog {
public:
    // The location as the player opens it: a URL as typed, a file path made absolute
    // (file:// URLs become paths).
    QString Location;

    // Stations typed before, newest first, offered in the dialog's list; a station given joins
    // them (at most kHistoryLimit).
    QStringList History;
    static constexpr int kHistoryLimit = 10;

    // Stands in for the desktop's dialog when set (tests): returns the typed text or nothing.
    std::function<std::optional<QString>()> Chooser;

    // Shows the dialog; true and Location set when the user gave a location.
    bool Execute(QWidget* parent);

    // What the player is given for a typed text; empty when there is nothing to open.
    static QString PlayerLocation(const QString& typed);
};

} // namespace pt4
