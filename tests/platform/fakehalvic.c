// A Halvic library that lacks CmdInput: it answers a status query "T1" and the UPS-off command
// "S1", but its status block cannot be read.
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
