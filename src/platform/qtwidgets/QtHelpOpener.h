#pragma once

#include "platform/HelpOpener.h"

namespace brevant {

// The help through the desktop's default application for the file (a browser for HTML).
class QtHelpOpener final : public HelpOpener
{
public:
    void openHelp(const QString& file) override;
};

} // namespace brevant
