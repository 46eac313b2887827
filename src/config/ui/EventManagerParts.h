#pragma once

#include "link/UpsDetails.h"

#include <functional>

namespace brevant {

class MessageBoxPresenter;
class SerialLink;
class Settings;

// What the Event Manager page and its sub-pages use of the monitor: the settings they edit, the
// message boxes of their checks, and, for the port setting, the serial link and the action that
// takes the chosen link into use.
struct EventManagerParts
{
    Settings& settings;
    MessageBoxPresenter& messages;
    SerialLink& serial;
    // Takes the link the settings name into use at once and reloads the countdown's length.
    std::function<void()> applyLinkChoice;
    // An event sub-page's Apply wrote the settings.
    std::function<void()> settingsApplied;
    // What the link reports now: the Low Battery sub-page greys its thresholds without a charge
    // or runtime to compare.
    std::function<UpsDetails()> upsDetails;
};

} // namespace brevant
