#include "config/ui/PageParts.h"

#include "controls/XpCmdButton.h"

#include <QHBoxLayout>
#include <QLineEdit>

namespace brevant {

namespace {
constexpr QSize SpinButtonSize(26, 23);
constexpr int BoxWidth = 64;
} // namespace

SpinField::SpinField(QWidget* parent, Names names, const QString& text, SpinRange range)
    : down(named(new XpCmdButton(QStringLiteral("<"), parent), names.down))
    , box(named(new QLineEdit(text, parent), names.box))
    , up(named(new XpCmdButton(QStringLiteral(">"), parent), names.up))
    , row(new QHBoxLayout)
{
    box->setFixedWidth(BoxWidth);
    box->setAlignment(Qt::AlignRight);
    down->setFixedSize(SpinButtonSize);
    up->setFixedSize(SpinButtonSize);
    new SpinButtons(box, down, up, range);
    row->setSpacing(4);
    row->addWidget(down);
    row->addWidget(box);
    row->addWidget(up);
}

QHBoxLayout* buttonRow(XpCmdButton* apply, XpCmdButton* help)
{
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(apply);
    buttons->addWidget(help);
    return buttons;
}

} // namespace brevant
