// The folder dialog's file list: the files of one folder whose names match a mask, each with a
// file glyph, in the order a file manager shows them.
#pragma once

#include <QFileIconProvider>
#include <QListWidget>

namespace pt4 {

class TFileListBox : public QListWidget {
    Q_OBJECT
public:
    explicit TFileListBox(QWidget* parent = nullptr);

    // A wildcard pattern ("*" any run, "?" one character) matched without regard to case.
    QString Mask() const { return mask_; }
    void SetMask(const QString& mask);
    // The folder listed; empty lists nothing.
    QString Directory() const { return directory_; }
    void SetDirectory(const QString& directory);
    // A folder becomes the directory; anything else empties the list.
    void ApplyFilePath(const QString& path);
    // Reads the folder again.
    void Update();

    int ItemHeight() const { return itemHeight_; }
    void SetItemHeight(int height);

    // The names listed as shown, and the same as full paths. A name that is not UTF-8 is shown
    // with the system's decoding; its path keeps its bytes (see PathBytes), and FilePathBytes
    // gives them as the system takes them.
    QStringList FileNames() const;
    QStringList FilePaths() const;
    QList<QByteArray> FilePathBytes() const;

    static bool MatchesMask(const QString& name, const QString& mask);

private:
    // A mask made ready once for matching many names.
    class TMask {
    public:
        explicit TMask(const QString& mask);
        bool Matches(const QString& name) const;

    private:
        QString pattern_;
    };

    QString mask_ = QStringLiteral("*.*");
    QString directory_;
    int itemHeight_ = 16;
    QFileIconProvider icons_;
};

} // namespace pt4
