// The window's skinned controls: pictures, labels, panels, bevel lines and bars that draw
// exactly inside the rectangles the layout gives them.
#pragma once

#include <QColor>
#include <QPixmap>
#include <QString>
#include <QWidget>

namespace pt4 {

// A picture of the program's art (":/art/NAME.png"), decoded once and then shared. Its format is
// named rather than guessed, so that no image plugin is loaded for it. On a dense screen (a
// device pixel ratio above 1) it comes from NAME@2x.png or NAME@3x.png, drawn at the same size.
QPixmap ArtPicture(const QString& resource);

// What a skin control is to the keyboard and to assistive technologies. Pictures and panels
// that act take keyboard focus (Tab) and show a focus mark while the keyboard put it there.
enum class TSkinRole { Picture, Button, Toggle, Knob };

// The common part of pictures and panels: mouse signals for the primary button only, keyboard
// presses, knob steps, and the state assistive technologies read.
class TSkinControl : public QWidget {
    Q_OBJECT
public:
    TSkinControl(QWidget* parent, int left, int top, int width, int height);

    TSkinRole Role() const { return role_; }
    void SetRole(TSkinRole role);
    // Toggles: on or off.
    bool Checked() const { return checked_; }
    void SetChecked(bool checked);
    // Knobs: the value they stand for and its range.
    int Value() const { return value_; }
    int Minimum() const { return minimum_; }
    int Maximum() const { return maximum_; }
    void SetValue(int value, int minimum, int maximum);

    // A whole primary-button click in the middle of the control (keyboard, assistive tools).
    void Press();
    // The focus mark is drawn while the keyboard (not the mouse) put the focus here.
    bool ShowsFocusMark() const { return hasFocus() && keyboardFocus_; }

signals:
    void MouseDown(Qt::MouseButton button, QPoint pos);
    void MouseUp(Qt::MouseButton button, QPoint pos);
    void MouseMove(QPoint pos);
    // A primary-button release over the control after a press on it.
    void Click();
    // Knobs: move by this many steps (arrow keys, the wheel, assistive tools).
    void Step(int steps);
    // Knobs: an assistive tool asks for this value.
    void ValueWanted(int value);

protected:
    void PaintFocusMark(QPainter& painter) const;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QPoint Middle() const { return rect().center(); }

    TSkinRole role_ = TSkinRole::Picture;
    bool checked_ = false;
    int value_ = 0, minimum_ = 0, maximum_ = 0;
    bool keyboardFocus_ = false;
    int heldKey_ = 0;        // the key that pressed the control, until it is released
    int wheelRemainder_ = 0; // eighths of a degree not yet a whole step
};

// A button acts only when the press ends over it; a release elsewhere just lets it go.
inline bool ReleasedOver(const QWidget* control, QPoint pos)
{
    return control->rect().contains(pos);
}

// A picture; as a button, toggle or knob it reports the primary button's presses and releases.
class TSkinImage : public TSkinControl {
    Q_OBJECT
public:
    TSkinImage(QWidget* parent, int left, int top, int width, int height);

    const QPixmap& Picture() const { return picture_; }
    void SetPicture(const QPixmap& picture);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap picture_;
};

// A one-line label, read by assistive technologies as static text. Text sits at the top with its baseline 10
// pixels down, so a 12-pixel font fills a 12-pixel row. An opaque label fills its rectangle with Color first.
class TSkinLabel : public QWidget {
    Q_OBJECT
public:
    // autoSize: the width follows the text and the height is one row (12 pixels).
    TSkinLabel(QWidget* parent, int left, int top, const QString& text, QColor fontColor, bool transparent,
               bool autoSize = true);

    QString Caption() const { return caption_; }
    void SetCaption(const QString& text);
    QColor FontColor() const { return fontColor_; }
    void SetFontColor(QColor color);
    void SetColor(QColor color); // the fill of an opaque label
    // An auto-sized label whose text would run past `right` moves left just enough to end
    // there, and goes back to its own left edge when the text is short again.
    void SetRightLimit(int right);
    // What is drawn: a fixed-size label too narrow for its text ends with "…" after the last
    // whole character that fits, and its tooltip then holds the whole text.
    const QString& ShownText() const { return shown_; }

signals:
    void Click();

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void FitToText();
    void ElideToWidth();

    QString caption_;
    QString shown_;
    bool elidedTip_ = false; // the tooltip is the whole text of a cut label
    QColor fontColor_;
    QColor color_ = Qt::black;
    bool transparent_;
    bool autoSize_;
    int homeLeft_;
    int rightLimit_ = -1;
    bool fitWhenShown_ = false;
};

enum class TBevelCut { bvNone, bvLowered, bvRaised };

// A flat panel with an optional caption and one-pixel bevels.
class TSkinPanel : public TSkinControl {
    Q_OBJECT
public:
    TSkinPanel(QWidget* parent, int left, int top, int width, int height, QColor color);

    TBevelCut BevelOuter() const { return bevelOuter_; }
    void SetBevelOuter(TBevelCut cut);
    void SetBevelInner(TBevelCut cut);
    QString Caption() const { return caption_; }
    void SetCaption(const QString& caption);
    QColor FontColor() const { return fontColor_; }
    void SetFontColor(QColor color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor color_;
    QColor fontColor_ = Qt::white;
    QString caption_;
    TBevelCut bevelOuter_ = TBevelCut::bvRaised;
    TBevelCut bevelInner_ = TBevelCut::bvNone;
};

// A two-pixel engraved separator line.
class TSkinBevel : public QWidget {
    Q_OBJECT
public:
    TSkinBevel(QWidget* parent, int left, int top, int width, int height);

protected:
    void paintEvent(QPaintEvent* event) override;
};

// A filled rectangle (the knob tracks).
class TSkinShape : public QWidget {
    Q_OBJECT
public:
    TSkinShape(QWidget* parent, int left, int top, int width, int height, QColor color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor color_;
};

} // namespace pt4
