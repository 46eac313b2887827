#include "controls/SkinAccessible.h"

#include "controls/SkinControl.h"

#include <QAccessibleWidget>

namespace brevant {

namespace {

class SkinControlAccessible : public QAccessibleWidget
{
public:
    explicit SkinControlAccessible(SkinControl* control)
        : QAccessibleWidget(control, control->accessibleRole())
    {}

    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Name && widget()->accessibleName().isEmpty())
            return control()->plainCaption();
        if (kind == QAccessible::Accelerator && widget()->accessibleName().isEmpty())
            return QKeySequence::mnemonic(control()->caption()).toString(QKeySequence::NativeText);
        return QAccessibleWidget::text(kind);
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        if (const auto checkState = control()->accessibleCheckState()) {
            state.checkable = true;
            state.checked = *checkState == Qt::Checked;
            state.checkStateMixed = *checkState == Qt::PartiallyChecked;
        }
        return state;
    }

    QStringList actionNames() const override
    {
        const QString action = control()->accessibleCheckState() ? toggleAction() : pressAction();
        return {action};
    }

    void doAction(const QString& actionName) override
    {
        if (actionNames().contains(actionName))
            control()->activate();
    }

private:
    SkinControl* control() const { return static_cast<SkinControl*>(widget()); }
};

QAccessibleInterface* createSkinAccessible(const QString&, QObject* object)
{
    if (auto* control = qobject_cast<SkinControl*>(object))
        return new SkinControlAccessible(control);
    return nullptr;
}

} // namespace

void installSkinAccessibleFactory()
{
    static const bool installed = [] {
        QAccessible::installFactory(createSkinAccessible);
        return true;
    }();
    Q_UNUSED(installed);
}

} // namespace brevant
