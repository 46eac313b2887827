/* A stand-in for the Halvic library: a UPS on battery with a low battery, answering only while
 * the device is open. Built without CmdInput (FAKEHALVIC_WITHOUT_CMDINPUT) it is a library that
 * lacks one of its functions. */
#include <halvic/Halvic.h>
#include <string.h>

static int device_open;

void HidHandle(void)
{
    device_open = 1;
}

void CloseHandleDevice(void)
{
    device_open = 0;
}

void CmdOutput(int command, int zero, char* replyCode)
{
    if (!device_open || zero != 0)
        return;
    memcpy(replyCode, command == HALVIC_COMMAND_UPS_OFF ? HALVIC_REPLY_ACCEPTED : HALVIC_REPLY_STATUS,
           HALVIC_REPLY_CODE_SIZE);
}

#ifndef FAKEHALVIC_WITHOUT_CMDINPUT
void CmdInput(char* statusBlock, char* secondBuffer)
{
    if (!device_open)
        return;
    /* A valid block whose marker is not at byte 1, with every other byte set. */
    memset(statusBlock, 0xff, HALVIC_STATUS_BLOCK_SIZE);
    statusBlock[1] = HALVIC_VALID_MARKER;
    statusBlock[HALVIC_MAINS_BYTE - 1] = 0;       /* on battery */
    statusBlock[HALVIC_LOW_BATTERY_BYTE - 1] = 1; /* battery low */
    memset(secondBuffer, 'x', HALVIC_SECOND_BUFFER_SIZE);
}
#endif
