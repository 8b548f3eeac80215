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

    // The names listed, and the same as full paths.
    QStringList FileNames() const;
    QStringList FilePaths() const;

    static bool MatchesMask(const QString& name, const QString& mask);

private:
    QString mask_ = QStringLiteral("*.*");
    QString directory_;
    int itemHeight_ = 16;
    QFileIconProvider icons_;
};

} // namespace pt4
