#pragma once

#include "controls/SkinControl.h"

#include <QStringList>

// The names of the events a skinned control raised, in the order it raised them.
class EventLog
{
public:
    explicit EventLog(brevant::SkinControl* control)
    {
        using brevant::SkinControl;
        listen(control, &SkinControl::Click, "Click");
        listen(control, &SkinControl::KeyDown, "KeyDown");
        listen(control, &SkinControl::KeyPress, "KeyPress");
        listen(control, &SkinControl::KeyUp, "KeyUp");
        listen(control, &SkinControl::MouseOut, "MouseOut");
        listen(control, &SkinControl::MouseDown, "MouseDown");
        listen(control, &SkinControl::MouseMove, "MouseMove");
        listen(control, &SkinControl::MouseUp, "MouseUp");
    }

    QStringList events;

private:
    template <typename Signal>
    void listen(brevant::SkinControl* control, Signal signal, const char* name)
    {
        QObject::connect(control, signal, control,
                         [this, name](auto&&...) { events.append(QString::fromLatin1(name)); });
    }
};
