// A desktop notification when the song changes while the window is not the active one: title,
// artist and the file's cover, through org.freedesktop.Notifications on the session bus. Each
// new song replaces the notification of the one before, so they do not pile up.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <cstdint>
#include <optional>

namespace pt4 {

class TForm1;

class TSongNotifier : public QObject {
    Q_OBJECT
public:
    // Without a session bus it stays quiet.
    TSongNotifier(TForm1& form, std::optional<QDBusConnection> bus);

    bool Enabled = true;

    // The notification's id the server gave the last one; 0 before the first answer.
    uint32_t LastId() const { return lastId_; }

    // The player's status changed: a new song playing is announced.
    void PlayerChanged();

private:
    void Send(const QString& title, const QString& artist, const QString& image);

    TForm1& form_;
    std::optional<QDBusConnection> bus_;
    QString shown_; // the song last seen playing: file and title
    uint32_t lastId_ = 0;
};

} // namespace pt4
