// What assistive technologies (screen readers over AT-SPI) see of the skin: the window as a
// frame, buttons, toggles and knobs with their names, states and actions, the labels as text,
// the play state as a status, and nothing of the drawn shadows.
#pragma once

#include <QString>
#include <QWidget>

namespace pt4 {

// Once per process, before the first window is shown.
void InstallSkinAccessibility();

// Leaves a widget out of what assistive technologies see: a shadow that repeats another label's
// text, or pictures that another object tells in words.
void HideFromScreenReaders(QWidget* widget);

// The play state in words over the indicator pictures that show it: it draws nothing and lets
// the mouse through, and assistive technologies read it as a status whose changes they are told.
class TSkinStatus : public QWidget {
    Q_OBJECT
public:
    TSkinStatus(QWidget* parent, const QRect& place);

    const QString& Text() const { return text_; }
    void SetText(const QString& text);

private:
    QString text_;
};

} // namespace pt4
