#pragma once

namespace brevant {

// The UPS's state as the power-state machine decided it on one tick: what the Status page shows.
enum class PowerStatus
{
    OnLine,
    OnBattery,
    LowBattery,
    NotAnswering,  // the USB UPS did not answer: everything stays as it was, the page says so
    ForcedShutdown // after the state's own: the UPS's server asks for the shutdown now
};

// What the poll tick saw happen, for the tray, the user's notifications and the program's log.
enum class PowerEvent
{
    PowerFailed,       // the UPS went on battery
    BatteryLow,        // the battery ran low
    PowerRestored,     // the mains came back after a failure
    BatteryLowCleared, // the battery is no longer low
    LinkLost,          // the USB UPS stopped answering
    LinkBack,          // the USB UPS answers again
    SilentOnBattery,   // the UPS, last seen on battery, stayed silent too long: the shutdown starts
    ForcedShutdown     // the UPS's server asks every computer it powers to shut down now
};

} // namespace brevant
