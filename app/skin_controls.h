// The window's skinned controls: pictures, labels, panels, bevel lines and bars that draw
// exactly inside the rectangles the layout gives them.
#pragma once

#include <QColor>
#include <QPixmap>
#include <QString>
#include <QWidget>

namespace pt4 {

// A picture of the program's art (":/art/NAME.png"), decoded once and then shared. Its format is
// named rather than guessed, so that no image plugin is loaded for it.
QPixmap ArtPicture(const QString& resource);

// A picture. As a button it reports presses, releases and moves of any mouse button; Click is
// a left-button release over the picture after a press on it.
class TSkinImage : public QWidget {
    Q_OBJECT
public:
    TSkinImage(QWidget* parent, int left, int top, int width, int height);

    const QPixmap& Picture() const { return picture_; }
    void SetPicture(const QPixmap& picture);

signals:
    void MouseDown(Qt::MouseButton button, QPoint pos);
    void MouseUp(Qt::MouseButton button, QPoint pos);
    void MouseMove(QPoint pos);
    void Click();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    QPixmap picture_;
};

// A one-line label. Text sits at the top with its baseline 10 pixels down, so a 12-pixel font
// fills a 12-pixel row. An opaque label fills its rectangle with Color first.
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

signals:
    void Click();

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void FitToText();

    QString caption_;
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
class TSkinPanel : public QWidget {
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

signals:
    void MouseDown(Qt::MouseButton button, QPoint pos);
    void MouseUp(Qt::MouseButton button, QPoint pos);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

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
