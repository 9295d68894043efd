#pragma once
/*
 * Extension calls of the simulated board driver (libbqxdrv.so built from drivers/bqxsim).
 * They are not part of the board driver interface: the tool never calls them. Tests and
 * tools reach them with dlsym (vantrel::platform::DriverSymbol) and cast to the typedefs below.
 *
 * Call log format: one line per driver call since bqxInit (or the last clear), each line
 * the call name and its arguments in decimal, ended by '\n'. The first argument of a
 * board call is the handle. Records are shown by the fields that matter:
 *   bqxInit(1538)
 *   bqxFree()
 *   bqxInitBoard(27,base=768,irq=7)
 *   bqxFreeBoard(0)
 *   bqxGetFPGARev(0)
 *   bqxADSetSettings(0,3)                      handle, channel byte
 *   bqxADSetChannel(0,3,3)
 *   bqxADSample(0)
 *   bqxADScan(0,low=0,high=3)
 *   bqxADScanInt(0,count=20480,rate=2000,low=0,high=3)
 *   bqxGetStatus(0)
 *   bqxCancelOp(0)
 *   bqxGetTime()
 *   bqxSleep(2000)
 *   bqxDAConvert(0,2,4091)
 *   bqxSetCalMux(0,1)
 *   bqxRegisterRead(0,777)
 *   bqxRegisterWrite(0,7,2)
 *   bqxInp(771)
 *   bqxOutp(771,7)
 *   bqxGetEEPROM(0,17)
 *   bqxGetReferenceVoltages(0)
 *   bqxSetReferenceVoltages(0,4.996000,2.500000,...,0.000000)
 * Rates are printed with %g; volts with %f, up to and including the 0.0 terminator
 * (at most 8 values). bqxGetStatus and bqxGetTime are logged like any other call.
 */

#include <stddef.h>

#if defined(BQXDRV_BUILDING_LIBRARY)
#define BQXSIM_API __attribute__((visibility("default")))
#else
#define BQXSIM_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Applies one bench-description line ("key = value", same keys and syntax as bench.ini)
 * to the running driver. Returns 0 on success; nonzero, with the problem on stderr, for a
 * line that cannot be applied (nothing is changed then). Comments and blank lines are
 * accepted and do nothing.
 */
BQXSIM_API int bqxsimConfigure(const char* keyValueLine);

/*
 * Copies the call log into buffer (at most size bytes, always NUL-terminated when size is
 * not 0) and returns the length of the whole log, without the NUL. Call with a null
 * buffer and size 0 to learn the size needed.
 */
BQXSIM_API size_t bqxsimCallLog(char* buffer, size_t size);

/* Forgets every call logged so far. */
BQXSIM_API void bqxsimClearCallLog(void);

typedef int (*BqxsimConfigureFn)(const char* keyValueLine);
typedef size_t (*BqxsimCallLogFn)(char* buffer, size_t size);
typedef void (*BqxsimClearCallLogFn)(void);

#ifdef __cplusplus
}
#endif
