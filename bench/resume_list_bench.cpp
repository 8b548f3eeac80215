// How long the window's exit and start spend on a long list kept for resuming: the list written
// to PT4.INI as one section and read back, for lists of 1000 to 20000 entries.
//   build/bin/resume_list_bench
#include "app/settings_file.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>

int main()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("PT4.INI");
    for (int entries : {1000, 5000, 20000}) {
        QElapsedTimer clock;
        clock.start();
        pt4::TIniFile ini(path);
        QList<std::pair<QString, QString>> keys;
        for (int i = 0; i < entries; ++i)
            keys.append({QStringLiteral("Entry%1").arg(i),
                         QStringLiteral("/home/user/音楽/アルバム %1/%2 曲.mp3").arg(i / 12).arg(i)});
        ini.WriteSection(QStringLiteral("Resume"), keys);
        if (!ini.UpdateFile())
            return 1;
        const qint64 writeMs = clock.restart();
        const pt4::TIniFile back(path);
        const qsizetype read = back.ReadSection(QStringLiteral("Resume")).size();
        std::printf("%6d entries: written in %4lld ms, read in %4lld ms\n", entries, (long long)writeMs,
                    (long long)clock.elapsed());
        if (read != entries)
            return 1;
    }
    return 0;
}
