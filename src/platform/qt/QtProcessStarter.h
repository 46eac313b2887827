#pragma once

#include "platform/ProcessStarter.h"

namespace brevant {

// Starts a program detached, without a shell and without arguments. On Windows its window opens
// minimised and active; elsewhere there is no window to place.
class QtProcessStarter : public ProcessStarter
{
public:
    bool startDetached(const QString& program) override;
};

} // namespace brevant
