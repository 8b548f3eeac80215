// The picture store: the 34 skin pictures the main window copies into its buttons and
// indicators. A window that is never shown.
#pragma once

#include <QPixmap>
#include <QWidget>

#include <array>

namespace pt4 {

inline constexpr int kStoredPictures = 34;

class TForm2 : public QWidget {
    Q_OBJECT
public:
    explicit TForm2(QWidget* parent = nullptr);

    // Image1 ... Image34.
    const QPixmap& Image(int number) const;

    // The resource each picture is rendered to, by number (1 ... 34).
    static QString PictureResource(int number);

private:
    std::array<QPixmap, kStoredPictures> pictures_;
};

} // namespace pt4
