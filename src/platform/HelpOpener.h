#pragma once

#include <QString>

namespace brevant {

// Opens the program's help with the desktop's own viewer. A missing file or viewer shows nothing.
class HelpOpener
{
public:
    virtual ~HelpOpener() = default;
    virtual void openHelp(const QString& file) = 0;
};

} // namespace brevant
