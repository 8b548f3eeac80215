#include "app/recent_items.h"

#include "app/settings_file.h"
#include "app/settings_text.h"

#include <array>

namespace pt4 {

namespace {

const QString kRecent = QStringLiteral("Recent");
const QString kStations = QStringLiteral("Stations");
const std::array<QString, 4> kKindNames = {QStringLiteral("file"), QStringLiteral("folder"),
                                           QStringLiteral("list"), QStringLiteral("station")};

QString Value(const QString& text)
{
    return SettingsValueOfBytes(text.toUtf8());
}

QString Text(const QString& value)
{
    return QString::fromUtf8(BytesOfSettingsValue(value));
}

} // namespace

bool IsStationAddress(const QString& location)
{
    return location.startsWith(QStringLiteral("http://"), Qt::CaseInsensitive) ||
           location.startsWith(QStringLiteral("https://"), Qt::CaseInsensitive);
}

void TRecentItems::Add(TRecentKind kind, const QString& location)
{
    if (location.isEmpty())
        return;
    const TRecentItem item{kind, location};
    items_.removeAll(item);
    items_.prepend(item);
    while (items_.size() > kLimit)
        items_.removeLast();
}

void TRecentItems::Clear()
{
    items_.clear();
}

void TRecentItems::Load(const TIniFile& ini)
{
    items_.clear();
    TypedStations.clear();
    for (int i = 1; i <= kLimit; ++i) {
        const QString location = Text(ini.ReadText(kRecent, QStringLiteral("Item%1").arg(i)));
        const auto kind = std::find(kKindNames.begin(), kKindNames.end(),
                                    ini.ReadText(kRecent, QStringLiteral("Kind%1").arg(i)));
        if (!location.isEmpty() && kind != kKindNames.end())
            items_.append({TRecentKind(kind - kKindNames.begin()), location});
        const QString station = Text(ini.ReadText(kStations, QStringLiteral("Station%1").arg(i)));
        if (IsStationAddress(station))
            TypedStations.append(station);
    }
}

void TRecentItems::Save(TIniFile& ini) const
{
    ini.EraseSection(kRecent);
    ini.EraseSection(kStations);
    for (qsizetype i = 0; i < items_.size(); ++i) {
        ini.WriteText(kRecent, QStringLiteral("Kind%1").arg(i + 1), kKindNames[size_t(items_[i].kind)]);
        ini.WriteText(kRecent, QStringLiteral("Item%1").arg(i + 1), Value(items_[i].location));
    }
    for (qsizetype i = 0; i < TypedStations.size(); ++i)
        ini.WriteText(kStations, QStringLiteral("Station%1").arg(i + 1), Value(TypedStations[i]));
}

} // namespace pt4
