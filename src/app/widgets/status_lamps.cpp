#include "app/widgets/status_lamps.h"

#include "ports/status_lights.h"

#include <QGridLayout>
#include <QLabel>
#include <QPainter>

namespace {

struct LampSpec {
    const char* caption;
    const char* toolTip;
    QColor color;
};

// Left to right as the window shows them.
const LampSpec lampSpecs[] = {
    {"BRK", "Break", QColor(230, 40, 40)},  {"CTS", "CTS", QColor(40, 200, 60)},
    {"DSR", "DSR", QColor(40, 200, 60)},    {"DCD", "DCD", QColor(40, 200, 60)},
    {"ERR", "Error", QColor(230, 40, 40)},  {"RING", "Ring", QColor(240, 190, 30)},
    {"RXD", "RXD", QColor(240, 190, 30)},   {"TXD", "TXD", QColor(240, 190, 30)},
};

} // namespace

StatusLamp::StatusLamp(const QColor& color, QWidget* parent) : QWidget(parent), color_(color)
{
    setFixedSize(sizeHint());
}

void StatusLamp::SetLit(bool lit)
{
    if (lit == lit_)
        return;
    lit_ = lit;
    update();
    emit LitChanged(lit_);
}

void StatusLamp::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor fill = lit_ ? color_ : color_.darker(400);
    QRadialGradient shine(width() * 0.35, height() * 0.35, width() * 0.6);
    shine.setColorAt(0, fill.lighter(lit_ ? 160 : 130));
    shine.setColorAt(1, fill);
    painter.setBrush(shine);
    painter.setPen(QPen(palette().color(QPalette::Dark), 1));
    painter.drawEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}

StatusLampGroup::StatusLampGroup(const QString& title, QWidget* parent)
    : QGroupBox(title, parent), lights_(new TApdSLController(this))
{
    auto* grid = new QGridLayout(this);
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(2);
    int column = 0;
    for (const LampSpec& spec : lampSpecs) {
        auto* lamp = new StatusLamp(spec.color, this);
        lamp->setObjectName(spec.caption);
        lamp->setToolTip(spec.toolTip);
        auto* caption = new QLabel(spec.caption, this);
        caption->setToolTip(spec.toolTip);
        grid->addWidget(lamp, 0, column, Qt::AlignHCenter);
        grid->addWidget(caption, 1, column, Qt::AlignHCenter);
        ++column;
    }
    Follow("BRK", lights_->BREAKLight());
    Follow("CTS", lights_->CTSLight());
    Follow("DSR", lights_->DSRLight());
    Follow("DCD", lights_->DCDLight());
    Follow("ERR", lights_->ERRORLight());
    Follow("RING", lights_->RINGLight());
    Follow("RXD", lights_->RXDLight());
    Follow("TXD", lights_->TXDLight());
}

void StatusLampGroup::Watch(TApdWinsockPort& port)
{
    lights_->SetComPort(&port);
    lights_->SetMonitoring(true);
}

StatusLamp* StatusLampGroup::Lamp(const QString& caption) const
{
    return findChild<StatusLamp*>(caption);
}

void StatusLampGroup::Follow(const QString& caption, TApdStatusLight& light)
{
    StatusLamp* lamp = Lamp(caption);
    lamp->SetLit(light.Lit());
    connect(&light, &TApdStatusLight::LitChanged, lamp, &StatusLamp::SetLit);
}
