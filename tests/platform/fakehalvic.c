// A Halvic library that lacks CmdInput: it answers a status query "T1" and the UPS-off command
// "S1", but its status block cannot be read. Built with FAKE_HALVIC_CMDINPUT it has the four
// functions (a UPS on battery), and with FAKE_HALVIC_VALUES also the fifth, whose count claims
// more bytes than it wrote.
#include <halvic/Halvic.h>
#include <string.h>

void HidHandle(void) {}

void CloseHandleDevice(void) {}

void CmdOutput(int command, int zero, char* replyCode)
{
    (void)zero;
    memcpy(replyCode, command == HALVIC_COMMAND_UPS_OFF ? HALVIC_REPLY_ACCEPTED : HALVIC_REPLY_STATUS,
           HALVIC_REPLY_CODE_SIZE);
}

#ifdef FAKE_HALVIC_CMDINPUT
void CmdInput(char* statusBlock, char* secondBuffer)
{
    (void)secondBuffer;
    statusBlock[0] = HALVIC_VALID_MARKER;
    statusBlock[HALVIC_MAINS_BYTE - 1] = 0;
}
#endif

#ifdef FAKE_HALVIC_VALUES
int HalvicValues(char* buffer, int size)
{
    static const char lines[] = "battery.charge 87\nbattery.runtime 1380\ndevice.model Ellipse PRO 650\n";
    if (size <= (int)sizeof lines)
        return 0;
    memcpy(buffer, lines, sizeof lines - 1);
    return size;
}
#endif
