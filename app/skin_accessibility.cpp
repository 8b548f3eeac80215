#include "app/skin_accessibility.h"

#include "app/skin_controls.h"

#include <QAccessibleWidget>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>

namespace pt4 {

namespace {

const char* const kHiddenProperty = "pt4HiddenFromScreenReaders";

// The child widgets assistive technologies see, in Qt's order: no windows or menus of their own,
// nothing hidden on purpose.
QList<QWidget*> SeenChildren(const QWidget* parent)
{
    QList<QWidget*> seen;
    for (QObject* object : parent->children()) {
        auto* child = qobject_cast<QWidget*>(object);
        if (child && !child->isWindow() && !qobject_cast<QMenu*>(child) &&
            !child->property(kHiddenProperty).toBool())
            seen << child;
    }
    return seen;
}

// On X11 Qt scales the window itself (QT_SCALE_FACTOR, a high DPI): a place on the screen that a
// tool reads (a magnifier follows it) must be in the screen's own pixels, not in Qt's. A screen's
// corner is the same in both; distances from it grow by the scale.
QRect ScreenPixels(const QWidget* widget, const QRect& rect)
{
    const qreal scale = widget->devicePixelRatioF();
    const QScreen* screen = widget->screen();
    if (scale == 1.0 || screen == nullptr || rect.isEmpty() ||
        QGuiApplication::platformName() != QStringLiteral("xcb"))
        return rect;
    const QPointF corner = screen->geometry().topLeft();
    const QPointF topLeft = corner + (QPointF(rect.topLeft()) - corner) * scale;
    const QPointF bottomRight =
        corner + (QPointF(rect.topLeft() + QPoint(rect.width(), rect.height())) - corner) * scale;
    return QRectF(topLeft, bottomRight).toAlignedRect();
}

// What every object of the skin shares: its children without the hidden ones, its place in the
// screen's pixels, and a role of its own.
class TSkinAccessible : public QAccessibleWidget {
public:
    TSkinAccessible(QWidget* widget, QAccessible::Role role) : QAccessibleWidget(widget, role) {}

    int childCount() const override { return int(SeenChildren(widget()).size()); }

    QAccessibleInterface* child(int index) const override
    {
        const QList<QWidget*> seen = SeenChildren(widget());
        return index >= 0 && index < seen.size() ? QAccessible::queryAccessibleInterface(seen.at(index))
                                                 : nullptr;
    }

    int indexOfChild(const QAccessibleInterface* child) const override
    {
        if (child == nullptr || !child->object() || !child->object()->isWidgetType())
            return -1;
        return int(SeenChildren(widget()).indexOf(static_cast<QWidget*>(child->object())));
    }

    QAccessibleInterface* childAt(int x, int y) const override
    {
        for (int i = childCount() - 1; i >= 0; --i) {
            QAccessibleInterface* found = child(i);
            if (found && found->isValid() && !found->state().invisible && found->rect().contains(x, y))
                return found;
        }
        return nullptr;
    }

    QRect rect() const override { return ScreenPixels(widget(), QAccessibleWidget::rect()); }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && !widget()->accessibleName().isEmpty())
            return widget()->accessibleName();
        return QAccessibleWidget::text(t);
    }
};

// Pictures, panels and knobs: the role of their kind, the words of their hint as the name.
class TSkinControlAccessible : public TSkinAccessible, public QAccessibleValueInterface {
public:
    explicit TSkinControlAccessible(TSkinControl* control) : TSkinAccessible(control, RoleOf(control->Role()))
    {
    }

    TSkinControl* Control() const { return static_cast<TSkinControl*>(widget()); }

    // The window gives roles after the controls exist: read each time.
    QAccessible::Role role() const override { return RoleOf(Control()->Role()); }

    QString text(QAccessible::Text t) const override
    {
        if (t != QAccessible::Name)
            return QAccessibleWidget::text(t);
        const QString name = widget()->accessibleName();
        return name.isEmpty() ? widget()->toolTip() : name;
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        if (Control()->Role() == TSkinRole::Toggle) {
            s.checkable = true;
            s.checked = Control()->Checked();
        }
        return s;
    }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface && Control()->Role() == TSkinRole::Knob)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QStringList actionNames() const override
    {
        switch (Control()->Role()) {
        case TSkinRole::Button: return {pressAction(), setFocusAction()};
        case TSkinRole::Toggle: return {toggleAction(), pressAction(), setFocusAction()};
        case TSkinRole::Knob: return {increaseAction(), decreaseAction(), setFocusAction()};
        case TSkinRole::Picture: break;
        }
        return {};
    }

    void doAction(const QString& action) override
    {
        if (action == pressAction() || action == toggleAction())
            Control()->Press();
        else if (action == increaseAction())
            emit Control()->Step(1);
        else if (action == decreaseAction())
            emit Control()->Step(-1);
        else
            QAccessibleWidget::doAction(action);
    }

    QVariant currentValue() const override { return Control()->Value(); }
    void setCurrentValue(const QVariant& value) override { emit Control()->ValueWanted(value.toInt()); }
    QVariant maximumValue() const override { return Control()->Maximum(); }
    QVariant minimumValue() const override { return Control()->Minimum(); }
    QVariant minimumStepSize() const override { return 1; }

private:
    static QAccessible::Role RoleOf(TSkinRole role)
    {
        switch (role) {
        case TSkinRole::Button: return QAccessible::Button;
        case TSkinRole::Toggle: return QAccessible::Button; // a push button with a checked state
        case TSkinRole::Knob: return QAccessible::Slider;
        case TSkinRole::Picture: break;
        }
        return QAccessible::Graphic;
    }
};

// Labels: static text whose name is the whole text, also when it is cut on the screen.
class TSkinLabelAccessible : public TSkinAccessible {
public:
    explicit TSkinLabelAccessible(TSkinLabel* label) : TSkinAccessible(label, QAccessible::StaticText) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name)
            return static_cast<TSkinLabel*>(widget())->Caption();
        return QAccessibleWidget::text(t);
    }
};

// The play state: a status bar named by the state.
class TSkinStatusAccessible : public TSkinAccessible {
public:
    explicit TSkinStatusAccessible(TSkinStatus* status) : TSkinAccessible(status, QAccessible::StatusBar) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name)
            return static_cast<TSkinStatus*>(widget())->Text();
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface* SkinFactory(const QString&, QObject* object)
{
    if (auto* control = qobject_cast<TSkinControl*>(object))
        return new TSkinControlAccessible(control);
    if (auto* label = qobject_cast<TSkinLabel*>(object))
        return new TSkinLabelAccessible(label);
    if (auto* status = qobject_cast<TSkinStatus*>(object))
        return new TSkinStatusAccessible(status);
    if (auto* shape = qobject_cast<TSkinShape*>(object))
        return new TSkinAccessible(shape, QAccessible::Graphic);
    if (auto* bevel = qobject_cast<TSkinBevel*>(object))
        return new TSkinAccessible(bevel, QAccessible::Separator);
    // The main window: a frame named by its title (a plain widget would be a filler).
    if (object != nullptr && object->inherits("pt4::TForm1"))
        return new TSkinAccessible(static_cast<QWidget*>(object), QAccessible::Window);
    return nullptr;
}

} // namespace

void InstallSkinAccessibility()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    QAccessible::installFactory(SkinFactory);
}

void HideFromScreenReaders(QWidget* widget)
{
    widget->setProperty(kHiddenProperty, true);
}

TSkinStatus::TSkinStatus(QWidget* parent, const QRect& place) : QWidget(parent)
{
    setGeometry(place);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
}

void TSkinStatus::SetText(const QString& text)
{
    if (text == text_)
        return;
    text_ = text;
    if (QAccessible::isActive()) {
        QAccessibleEvent event(this, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&event);
    }
}

} // namespace pt4
