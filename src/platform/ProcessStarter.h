#pragma once

#include <QString>

namespace brevant {

// Starts an outside program without waiting for it (shown minimised where the platform can).
class ProcessStarter
{
public:
    virtual ~ProcessStarter() = default;
    virtual bool startDetached(const QString& program) = 0;
};

} // namespace brevant
