// What was opened last (files, folders, lists, stations), newest first, and the stations typed
// in the location dialog; both kept in PT4.INI.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace pt4 {

class TIniFile;

enum class TRecentKind { File, Folder, List, Station };

struct TRecentItem {
    TRecentKind kind;
    QString location;
    bool operator==(const TRecentItem&) const = default;
};

class TRecentItems {
public:
    static constexpr int kLimit = 10;

    // To the front; an item already listed moves there; the oldest beyond the limit go.
    void Add(TRecentKind kind, const QString& location);
    void Clear();

    const QList<TRecentItem>& Items() const { return items_; }
    // The stations typed in the location dialog, newest first.
    QStringList TypedStations;

    // Sections [Recent] (Kind1/Item1 ...) and [Stations] (Station1 ...).
    void Load(const TIniFile& ini);
    void Save(TIniFile& ini) const;

private:
    QList<TRecentItem> items_;
};

// Whether a location is a station's address (http:// or https://).
bool IsStationAddress(const QString& location);

} // namespace pt4
