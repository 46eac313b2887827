/* A stand-in for the Halvic library: a UPS on battery with a low battery, answering only while
 * the device is open. Built without CmdInput (FAKEHALVIC_WITHOUT_CMDINPUT) it is a library that
 * lacks one of its functions. */
#include <string.h>

#define EXPORT __attribute__((visibility("default")))

static int device_open;

EXPORT void HidHandle(void)
{
    device_open = 1;
}

EXPORT void CloseHandleDevice(void)
{
    device_open = 0;
}

EXPORT void CmdOutput(int command, int zero, char* reply)
{
    if (!device_open || zero != 0)
        return;
    memcpy(reply, command == 2 ? "S1" : "T1", 2);
}

#ifndef FAKEHALVIC_WITHOUT_CMDINPUT
EXPORT void CmdInput(char* status, char* second)
{
    if (!device_open)
        return;
    memset(status, 0xff, 50);
    status[1] = 'T';
    status[2] = 0; /* on battery */
    status[3] = 1; /* battery low */
    memset(second, 'x', 6);
}
#endif
