#include "app/skin_accessibility.h"

#include "app/skin_controls.h"

#include <QAccessibleWidget>

namespace pt4 {

namespace {

// Pictures, panels and knobs: the role of their kind, the words of their hint as the name.
class TSkinControlAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit TSkinControlAccessible(TSkinControl* control)
        : QAccessibleWidget(control, RoleOf(control->Role()))
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
class TSkinLabelAccessible : public QAccessibleWidget {
public:
    explicit TSkinLabelAccessible(TSkinLabel* label) : QAccessibleWidget(label, QAccessible::StaticText) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name)
            return static_cast<TSkinLabel*>(widget())->Caption();
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface* SkinFactory(const QString&, QObject* object)
{
    if (auto* control = qobject_cast<TSkinControl*>(object))
        return new TSkinControlAccessible(control);
    if (auto* label = qobject_cast<TSkinLabel*>(object))
        return new TSkinLabelAccessible(label);
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

} // namespace pt4
