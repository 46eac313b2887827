/* The USB device-access library "Halvic" as the monitor calls it: four functions and the buffers
 * they fill. This header is the one description of that contract; the library, the program's
 * loader, the simulated library, the test stand-ins and the benchmark all include it.
 *
 * Every buffer belongs to the caller, starts filled with zero bytes and is followed by one
 * terminating zero byte that the library never writes. Nothing the functions return is used. */
#ifndef HALVIC_HALVIC_H
#define HALVIC_HALVIC_H

/* The functions use the calling convention of the platform's system libraries. */
#if defined(_WIN32) && !defined(_WIN64)
#define HALVIC_CALL __stdcall
#else
#define HALVIC_CALL
#endif

#if defined(HALVIC_BUILDING_LIBRARY) && defined(__GNUC__)
#define HALVIC_EXPORT __attribute__((visibility("default")))
#else
#define HALVIC_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Buffer sizes, without the terminating zero byte. */
enum
{
    HALVIC_REPLY_CODE_SIZE = 2,    /* CmdOutput's reply code */
    HALVIC_STATUS_BLOCK_SIZE = 50, /* CmdInput's status block */
    HALVIC_SECOND_BUFFER_SIZE = 6  /* CmdInput's second buffer, filled but not interpreted */
};

/* Command codes of CmdOutput. */
enum
{
    HALVIC_COMMAND_STATUS = 1, /* status query */
    HALVIC_COMMAND_UPS_OFF = 2 /* switch the UPS off */
};

/* Reply codes: a status block can be read, or the UPS-off command was accepted. Any other code,
 * or none, means that no UPS answered. */
#define HALVIC_REPLY_STATUS "T1"
#define HALVIC_REPLY_ACCEPTED "S1"
/* Replies to the UPS-off command besides "S1" (the command reached the UPS or its server):
 * "W1" under way, ask again: a primary computer of a shared UPS waits for the other computers to
 *      shut down before it switches the UPS off, or the command is still on its way; every call
 *      still returns at once;
 * "N1" this computer does not switch the UPS off, by design: it is a secondary of a shared UPS,
 *      whose primary computer does; the caller goes on with its power-off. */
#define HALVIC_REPLY_UNDER_WAY "W1"
#define HALVIC_REPLY_NOT_MINE "N1"

/* The status block, bytes numbered from 1. A block is valid when any byte is the marker 'T'
 * (case-sensitive). In a valid block the mains byte is 1 on mains and 0 on battery, and the
 * low-battery byte is 1 when the battery is low and 0 when it is not; the forced-shutdown byte is
 * 1 when the UPS's server asks every computer the UPS powers to shut down now (NUT's "FSD") and
 * 0 when it does not. The bytes are numbers, not digits, and any other value means "no news".
 * Other bytes are not interpreted. */
enum
{
    HALVIC_VALID_MARKER = 'T',
    HALVIC_MAINS_BYTE = 3,
    HALVIC_LOW_BATTERY_BYTE = 4,
    HALVIC_FORCED_SHUTDOWN_BYTE = 5
};

/* Opens the UPS inside the library; may be called again after CloseHandleDevice. */
HALVIC_EXPORT void HALVIC_CALL HidHandle(void);
/* Closes the UPS; harmless when it is not open or was never opened. */
HALVIC_EXPORT void HALVIC_CALL CloseHandleDevice(void);
/* Sends a command (HALVIC_COMMAND_*) and writes the reply code; zero is always 0. */
HALVIC_EXPORT void HALVIC_CALL CmdOutput(int command, int zero, char* replyCode);
/* Reads the status block of the last status query, and the second buffer. */
HALVIC_EXPORT void HALVIC_CALL CmdInput(char* statusBlock, char* secondBuffer);

/* Optional: a program loads it when the library has it, and runs without it otherwise.
 * What the UPS knows besides its state, from the same latest reading as the status (no call waits
 * for the device): one line "name value" per value, in Network UPS Tools' vocabulary and units,
 * each line ended by '\n', e.g.
 *   battery.charge 87          (percent)
 *   battery.runtime 1380       (seconds)
 *   ups.load 23                (percent)
 *   input.voltage 230.5        (volts)
 *   output.voltage 230.0       (volts)
 *   device.mfr EATON
 *   device.model Ellipse PRO 650
 *   device.serial G355B12345
 * and whatever else the backend knows. Only values the UPS gave are listed; numbers use '.' as
 * the decimal point; a value holds no line break. Writes at most size - 1 bytes, whole lines
 * only, and a terminating zero; returns the number of bytes written before it (0: nothing known,
 * or the UPS does not answer).
 *
 * Besides the UPS's own values, the library says whether the UPS-off command could switch the UPS
 * off now, as far as it knows without sending anything:
 *   halvic.ups_off yes         the UPS, or its server, takes the command
 *   halvic.ups_off no          it cannot: the UPS has no delayed off, the server offers no off
 *                              command or does not let this computer run it, ...
 *   halvic.ups_off.reason upsd offers no delayed off command for UPS 'ups'   (only with "no")
 *   halvic.ups_off secondary   this computer never switches the UPS off: another one does
 * Without the line the library cannot tell; an older library never gives it. */
HALVIC_EXPORT int HALVIC_CALL HalvicValues(char* buffer, int size);

/* The names and answers of HalvicValues' UPS-off lines. */
#define HALVIC_VALUE_UPS_OFF "halvic.ups_off"
#define HALVIC_VALUE_UPS_OFF_REASON "halvic.ups_off.reason"
#define HALVIC_UPS_OFF_YES "yes"
#define HALVIC_UPS_OFF_NO "no"
#define HALVIC_UPS_OFF_SECONDARY "secondary"

/* The same functions as pointer types, for a program that loads the library at run time. */
typedef void(HALVIC_CALL* HalvicHidHandleFunction)(void);
typedef void(HALVIC_CALL* HalvicCloseHandleDeviceFunction)(void);
typedef void(HALVIC_CALL* HalvicCmdOutputFunction)(int command, int zero, char* replyCode);
typedef void(HALVIC_CALL* HalvicCmdInputFunction)(char* statusBlock, char* secondBuffer);
typedef int(HALVIC_CALL* HalvicValuesFunction)(char* buffer, int size);

/* The buffer a caller of HalvicValues gives: room for every value a backend knows. */
enum
{
    HALVIC_VALUES_BUFFER_SIZE = 4096
};

#ifdef __cplusplus
}
#endif

#endif
