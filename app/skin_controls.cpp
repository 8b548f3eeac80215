#include "app/skin_controls.h"

#include <QFontMetrics>
#include <QImageReader>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmapCache>

#include <algorithm>

namespace pt4 {

namespace {

constexpr int kRowHeight = 12;
constexpr int kBaseline = 10;

const QColor kBevelLight(112, 112, 112);
const QColor kBevelDark(8, 8, 8);

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

QPixmap ArtPicture(const QString& resource)
{
    QPixmap picture;
    if (QPixmapCache::find(resource, &picture))
        return picture;
    QImageReader reader(resource, "png");
    reader.setAutoDetectImageFormat(false);
    picture = QPixmap::fromImage(reader.read());
    QPixmapCache::insert(resource, picture);
    return picture;
}

TSkinImage::TSkinImage(QWidget* parent, int left, int top, int width, int height) : QWidget(parent)
{
    setGeometry(left, top, width, height);
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
}

void TSkinImage::mousePressEvent(QMouseEvent* event)
{
    emit MouseDown(event->button(), event->position().toPoint());
}

void TSkinImage::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    emit MouseUp(event->button(), pos);
    if (event->button() == Qt::LeftButton && rect().contains(pos))
        emit Click();
}

void TSkinImage::mouseMoveEvent(QMouseEvent* event)
{
    emit MouseMove(event->position().toPoint());
}

TSkinLabel::TSkinLabel(QWidget* parent, int left, int top, const QString& text, QColor fontColor,
                       bool transparent, bool autoSize)
    : QWidget(parent), caption_(text), fontColor_(fontColor), transparent_(transparent), autoSize_(autoSize),
      homeLeft_(left)
{
    move(left, top);
    resize(1, kRowHeight);
    FitToText();
}

void TSkinLabel::SetCaption(const QString& text)
{
    if (text == caption_)
        return;
    caption_ = text;
    FitToText();
    update();
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
    painter.drawText(QPoint(0, kBaseline), caption_);
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
    : QWidget(parent), color_(color)
{
    setGeometry(left, top, width, height);
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
}

void TSkinPanel::mousePressEvent(QMouseEvent* event)
{
    emit MouseDown(event->button(), event->position().toPoint());
}

void TSkinPanel::mouseReleaseEvent(QMouseEvent* event)
{
    emit MouseUp(event->button(), event->position().toPoint());
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
