#pragma once

namespace brevant {

class HalvicApi;
class MessageBoxPresenter;
class ProcessStarter;
class Scheduler;
class SerialPort;
class SystemPowerOff;
class TrayIcon;

// The outside world as the engine sees it: one reference per adapter. The program passes the
// real implementations, the fire drill and the tests the simulated ones.
struct Adapters
{
    Scheduler& scheduler;
    HalvicApi& halvic;
    SerialPort& serialPort;
    MessageBoxPresenter& messages;
    TrayIcon& tray;
    SystemPowerOff& powerOff;
    ProcessStarter& processStarter;
};

} // namespace brevant
