#include "app/skin_controls.h"

#include <QAccessible>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImageReader>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmapCache>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <optional>

namespace pt4 {

namespace {

constexpr int kRowHeight = 12;
constexpr int kBaseline = 10;

const QColor kBevelLight(112, 112, 112);
const QColor kBevelDark(8, 8, 8);
const QColor clFocusMark(255, 255, 0);
constexpr int kKnobPage = 10; // PageUp and PageDown on a knob

void DrawBevel(QPainter& painter, QRect rect, TBevelCut cut)
{
    if (cut == TBevelCut::bvNone)
        return;
    const QColor topLeft = cut == TBevelCut::bvRaised ? kBevelLight : kBevelDark;
    const QColor bottomRight = cut == TBevelCut::bvRaised ? kBevelDark : kBevelLight;
    painter.setPen(topLeft);
    painter.drawLine(rect.topLeft(), rect.topRight());
    painter.drawLine(rect.topLeft(), rect.bottomLeft());
    painter.setPen(bottomRight);
    painter.drawLine(rect.bottomLeft(), rect.bottomRight());
    painter.drawLine(rect.topRight(), rect.bottomRight());
}

} // namespace

namespace {

QImage ReadPng(const QString& resource)
{
    QImageReader reader(resource, "png");
    reader.setAutoDetectImageFormat(false);
    return reader.read();
}

// The picture for a screen of `ratio` device pixels per pixel, from the art rendered for twice or
// three times the density, brought to the exact number of device pixels when the ratio is
// between. Null when there is no such art.
QImage DenseArt(const QString& resource, qreal ratio)
{
    const QString base = resource.chopped(4); // without ".png"
    QImage dense = ReadPng(base + (ratio <= 2 ? QStringLiteral("@2x.png") : QStringLiteral("@3x.png")));
    const QSize size = QImageReader(resource, "png").size();
    if (dense.isNull() || !size.isValid())
        return QImage();
    const QSize devicePixels(static_cast<int>(std::ceil(size.width() * ratio)),
                             static_cast<int>(std::ceil(size.height() * ratio)));
    if (dense.size() != devicePixels)
        dense = dense.scaled(devicePixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    dense.setDevicePixelRatio(ratio);
    return dense;
}

} // namespace

QPixmap ArtPicture(const QString& resource)
{
    QPixmap picture;
    if (QPixmapCache::find(resource, &picture))
        return picture;
    // At one device pixel per pixel the pictures are exactly those of the layout's sizes.
    const qreal ratio = qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
    if (ratio > 1.0)
        picture = QPixmap::fromImage(DenseArt(resource, ratio));
    if (picture.isNull())
        picture = QPixmap::fromImage(ReadPng(resource));
    QPixmapCache::insert(resource, picture);
    return picture;
}

TSkinControl::TSkinControl(QWidget* parent, int left, int top, int width, int height) : QWidget(parent)
{
    setGeometry(left, top, width, height);
}

void TSkinControl::SetRole(TSkinRole role)
{
    role_ = role;
    // Tab reaches the control, a click does not: a click leaves the focus with the window, so
    // the window's own keys (Space) keep working after any mouse use.
    setFocusPolicy(role == TSkinRole::Picture ? Qt::NoFocus : Qt::TabFocus);
}

void TSkinControl::SetChecked(bool checked)
{
    if (checked == checked_)
        return;
    checked_ = checked;
    if (QAccessible::isActive()) {
        QAccessible::State changed;
        changed.checked = true;
        QAccessibleStateChangeEvent event(this, changed);
        QAccessible::updateAccessibility(&event);
    }
}

void TSkinControl::SetValue(int value, int minimum, int maximum)
{
    if (value == value_ && minimum == minimum_ && maximum == maximum_)
        return;
    value_ = value;
    minimum_ = minimum;
    maximum_ = maximum;
    if (QAccessible::isActive()) {
        QAccessibleValueChangeEvent event(this, value);
        QAccessible::updateAccessibility(&event);
    }
}

void TSkinControl::Press()
{
    emit MouseDown(Qt::LeftButton, Middle());
    emit MouseUp(Qt::LeftButton, Middle());
    emit Click();
}

void TSkinControl::PaintFocusMark(QPainter& painter) const
{
    if (!ShowsFocusMark())
        return;
    // Dotted yellow and black, seen on light and dark art alike.
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Qt::black, 1));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    painter.setPen(QPen(clFocusMark, 1, Qt::DotLine));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void TSkinControl::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore(); // the window's menu, for the secondary button
        return;
    }
    emit MouseDown(event->button(), event->position().toPoint());
}

void TSkinControl::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    const QPoint pos = event->position().toPoint();
    emit MouseUp(event->button(), pos);
    if (rect().contains(pos))
        emit Click();
}

void TSkinControl::mouseMoveEvent(QMouseEvent* event)
{
    emit MouseMove(event->position().toPoint());
}

void TSkinControl::wheelEvent(QWheelEvent* event)
{
    if (role_ != TSkinRole::Knob) {
        event->ignore();
        return;
    }
    // One notch (15 degrees, 120 eighths) is one step; finer wheels add up to it.
    const QPoint delta = event->angleDelta();
    wheelRemainder_ += delta.y() != 0 ? delta.y() : -delta.x();
    const int steps = wheelRemainder_ / 120;
    wheelRemainder_ -= steps * 120;
    if (steps != 0)
        emit Step(steps);
    event->accept();
}

void TSkinControl::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    const bool plain = event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier;
    if ((role_ == TSkinRole::Button || role_ == TSkinRole::Toggle) && plain &&
        (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter)) {
        // Held like the mouse button: down now, up when the key comes up (rewind keeps jumping).
        if (!event->isAutoRepeat() && heldKey_ == 0) {
            heldKey_ = key;
            emit MouseDown(Qt::LeftButton, Middle());
        }
        event->accept();
        return;
    }
    if (role_ == TSkinRole::Knob && plain) {
        const int steps = key == Qt::Key_Left || key == Qt::Key_Down  ? -1
                          : key == Qt::Key_Right || key == Qt::Key_Up ? 1
                                                                      : 0;
        if (steps != 0) {
            emit Step(steps);
            event->accept();
            return;
        }
        // As a slider takes them: a page of ten, and the ends.
        const std::optional<int> wanted = key == Qt::Key_PageUp     ? std::optional(value_ + kKnobPage)
                                          : key == Qt::Key_PageDown ? std::optional(value_ - kKnobPage)
                                          : key == Qt::Key_Home     ? std::optional(minimum_)
                                          : key == Qt::Key_End      ? std::optional(maximum_)
                                                                    : std::nullopt;
        if (wanted) {
            emit ValueWanted(std::clamp(*wanted, minimum_, maximum_));
            event->accept();
            return;
        }
    }
    // Escape takes the focus mark away and gives the keys back to the window (Space plays).
    if (role_ != TSkinRole::Picture && plain && key == Qt::Key_Escape && window() != this) {
        window()->setFocus(Qt::OtherFocusReason);
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TSkinControl::keyReleaseEvent(QKeyEvent* event)
{
    if (heldKey_ != 0 && event->key() == heldKey_ && !event->isAutoRepeat()) {
        heldKey_ = 0;
        emit MouseUp(Qt::LeftButton, Middle());
        emit Click();
        event->accept();
        return;
    }
    QWidget::keyReleaseEvent(event);
}

void TSkinControl::focusInEvent(QFocusEvent* event)
{
    // Coming back with the window keeps whatever mark there was.
    if (event->reason() != Qt::ActiveWindowFocusReason && event->reason() != Qt::PopupFocusReason)
        keyboardFocus_ = event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason ||
                         event->reason() == Qt::ShortcutFocusReason;
    QWidget::focusInEvent(event);
    update();
}

void TSkinControl::focusOutEvent(QFocusEvent* event)
{
    // A key press that loses the focus ends like a release away from the control: no action.
    if (heldKey_ != 0) {
        heldKey_ = 0;
        emit MouseUp(Qt::LeftButton, QPoint(-1, -1));
    }
    QWidget::focusOutEvent(event);
    update();
}

TSkinImage::TSkinImage(QWidget* parent, int left, int top, int width, int height)
    : TSkinControl(parent, left, top, width, height)
{
}

void TSkinImage::SetPicture(const QPixmap& picture)
{
    picture_ = picture;
    update();
}

void TSkinImage::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawPixmap(0, 0, picture_);
    PaintFocusMark(painter);
}

TSkinLabel::TSkinLabel(QWidget* parent, int left, int top, const QString& text, QColor fontColor,
                       bool transparent, bool autoSize)
    : QWidget(parent), caption_(text), fontColor_(fontColor), transparent_(transparent), autoSize_(autoSize),
      homeLeft_(left)
{
    move(left, top);
    resize(1, kRowHeight);
    FitToText();
    shown_ = caption_; // a fixed size is given next; the text is cut to it when it is applied
}

void TSkinLabel::SetCaption(const QString& text)
{
    if (text == caption_)
        return;
    caption_ = text;
    FitToText();
    ElideToWidth();
    update();
    if (QAccessible::isActive()) {
        QAccessibleEvent event(this, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&event);
    }
}

void TSkinLabel::SetFontColor(QColor color)
{
    fontColor_ = color;
    update();
}

void TSkinLabel::SetColor(QColor color)
{
    color_ = color;
    update();
}

void TSkinLabel::SetRightLimit(int right)
{
    rightLimit_ = right;
    FitToText();
}

void TSkinLabel::FitToText()
{
    if (!autoSize_)
        return;
    // A label hidden on purpose is measured when it is shown, so that a font nobody sees yet is
    // not loaded for it.
    if (testAttribute(Qt::WA_WState_ExplicitShowHide) && isHidden()) {
        fitWhenShown_ = true;
        return;
    }
    fitWhenShown_ = false;
    resize(std::max(1, QFontMetrics(font()).horizontalAdvance(caption_)), kRowHeight);
    if (rightLimit_ >= 0)
        move(std::min(homeLeft_, rightLimit_ - width()), y());
}

void TSkinLabel::ElideToWidth()
{
    if (autoSize_ || caption_.isEmpty()) {
        shown_ = caption_;
    } else {
        // Cut at a grapheme boundary, so no character (nor a pair of surrogates) is split.
        shown_ = QFontMetrics(font()).elidedText(caption_, Qt::ElideRight, width());
    }
    const bool cut = shown_ != caption_;
    if (cut) {
        setToolTip(caption_);
        elidedTip_ = true;
    } else if (elidedTip_) {
        setToolTip(QString());
        elidedTip_ = false;
    }
}

void TSkinLabel::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    ElideToWidth();
}

void TSkinLabel::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (fitWhenShown_)
        FitToText();
}

void TSkinLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (!transparent_)
        painter.fillRect(rect(), color_);
    painter.setPen(fontColor_);
    painter.setFont(font());
    painter.drawText(QPoint(0, kBaseline), shown_);
}

void TSkinLabel::mousePressEvent(QMouseEvent* event)
{
    event->accept();
}

void TSkinLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit Click();
}

TSkinPanel::TSkinPanel(QWidget* parent, int left, int top, int width, int height, QColor color)
    : TSkinControl(parent, left, top, width, height), color_(color)
{
}

void TSkinPanel::SetBevelOuter(TBevelCut cut)
{
    bevelOuter_ = cut;
    update();
}

void TSkinPanel::SetBevelInner(TBevelCut cut)
{
    bevelInner_ = cut;
    update();
}

void TSkinPanel::SetCaption(const QString& caption)
{
    caption_ = caption;
    update();
}

void TSkinPanel::SetFontColor(QColor color)
{
    fontColor_ = color;
    update();
}

void TSkinPanel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), color_);
    QRect edge = rect();
    DrawBevel(painter, edge, bevelOuter_);
    if (bevelOuter_ != TBevelCut::bvNone)
        edge.adjust(1, 1, -1, -1);
    DrawBevel(painter, edge, bevelInner_);
    if (!caption_.isEmpty()) {
        painter.setPen(fontColor_);
        painter.setFont(font());
        const int textWidth = QFontMetrics(font()).horizontalAdvance(caption_);
        const int shift = bevelOuter_ == TBevelCut::bvLowered ? 1 : 0;
        painter.drawText(
            QPoint((width() - textWidth) / 2 + shift, (height() - kRowHeight) / 2 + kBaseline + shift),
            caption_);
    }
    PaintFocusMark(painter);
}

TSkinBevel::TSkinBevel(QWidget* parent, int left, int top, int width, int height) : QWidget(parent)
{
    setGeometry(left, top, width, height);
}

void TSkinBevel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(QColor(64, 64, 64));
    painter.drawLine(0, 0, width() - 1, 0);
    painter.setPen(QColor(150, 150, 150));
    painter.drawLine(0, 1, width() - 1, 1);
}

TSkinShape::TSkinShape(QWidget* parent, int left, int top, int width, int height, QColor color)
    : QWidget(parent), color_(color)
{
    setGeometry(left, top, width, height);
}

void TSkinShape::paintEvent(QPaintEvent*)
{
    QPainter(this).fillRect(rect(), color_);
}

} // namespace pt4
