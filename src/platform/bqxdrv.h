#pragma once
/*
 * BQXDRV board driver interface: the C calls and the byte-packed records that the tool
 * exchanges with the board driver library. Every call returns an unsigned 8-bit error code,
 * 0 meaning success. Records go by address and are little-endian with no alignment gaps.
 *
 * The tool does not link the library: it loads it at run time and reaches these calls
 * through its own entry points of the same names (platform/bqxdrv_imports.cpp).
 */

#include <stddef.h>
#include <stdint.h>

#if defined(BQXDRV_BUILDING_LIBRARY)
#define BQX_API __attribute__((visibility("default")))
#else
#define BQX_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The library version the tool asks for: 6.02. */
#define BQX_REQUIRED_VERSION 0x0602

/* Error codes. */
#define BQX_OK 0
#define BQX_E_VERSION 1       /* the library is not of the version asked for */
#define BQX_E_NOT_STARTED 2   /* a call before bqxInit or after bqxFree */
#define BQX_E_BOARD_TYPE 3    /* no board model has this type code */
#define BQX_E_NO_BOARD 4      /* no board answers at this base address */
#define BQX_E_INTERRUPT 5     /* the board cannot use this interrupt level */
#define BQX_E_HANDLE_IN_USE 6 /* the board is already open under another handle */
#define BQX_E_BAD_HANDLE 7    /* no open board has this handle */
#define BQX_E_ARGUMENT 8      /* a record or value the call cannot accept */
#define BQX_E_BUSY 9          /* an operation is already running */
#define BQX_E_EEPROM 10       /* the EEPROM could not be read or written */
#define BQX_E_BENCH_FILE 11   /* the bench description is malformed */
#define BQX_E_CHANNEL 12      /* a channel the board does not have */
#define BQX_E_HARDWARE 13     /* the board did not respond as it should */
#define BQX_E_NO_LIBRARY 255  /* set by the loader: no driver library could be loaded */

/* 255 means no board. */
typedef uint16_t BoardHandle;
#define BQX_NO_BOARD ((BoardHandle)255)

#pragma pack(push, 1)

/* Handed to bqxInitBoard when a board is opened; 75 bytes. */
typedef struct BoardConfig {
    uint8_t boardType;       /* 0: board-type code */
    uint8_t reserved1[2];    /* 1-2 */
    uint16_t baseAddress;    /* 3-4: base I/O address */
    uint32_t interruptLevel; /* 5-8 */
    uint8_t reserved9[43];   /* 9-51 */
    uint32_t clockHz;        /* 52-55: board clock, 10000000 */
    uint8_t clockEnable;     /* 56: 1 */
    uint8_t reserved57[18];  /* 57-74 */
} BoardConfig;

/* A/D converter settings; 6 bytes. */
typedef struct ADSettings {
    uint8_t channel; /* 0: current channel */
    uint8_t mode[5]; /* 1-5: 0, 1, 0, 1, 0 = 10 V bipolar, EEPROM calibration */
} ADSettings;

/* One software-timed scan of channels lowChannel..highChannel; 8 bytes. */
typedef struct ScanRequest {
    uint8_t lowChannel;
    uint8_t highChannel;
    uint8_t reserved[6];
} ScanRequest;

/*
 * An interrupt-driven scan. The documented layout ends at byte 48; the extension after it
 * carries the whole buffer address, since the 32-bit field at offset 30 cannot hold a
 * 64-bit pointer. A driver uses sample_buffer_ptr when it is not zero.
 */
typedef struct ScanIntRequest {
    uint32_t conversion_count;  /* 0 */
    float rate_hz;              /* 4: scans per second */
    uint8_t reserved8[4];       /* 8 */
    uint32_t trigger_source;    /* 12: 0 */
    uint32_t clock_source;      /* 16: 1 */
    uint8_t low_channel;        /* 20 */
    uint8_t high_channel;       /* 21 */
    uint32_t gain;              /* 22: 0 */
    uint32_t scan_mode;         /* 26: 0 */
    uint32_t sample_buffer;     /* 30: low 32 bits of the buffer address */
    uint32_t interrupt_enable;  /* 34: 1 */
    uint16_t fifo_threshold;    /* 38: 256 samples per FIFO block */
    uint32_t block_size;        /* 40: 1024 */
    uint32_t flags;             /* 44: 0 */
    uint64_t sample_buffer_ptr; /* 48: extension, the full buffer address */
} ScanIntRequest;

/* Progress of the running operation, filled by bqxGetStatus. */
typedef struct DriverStatus {
    uint32_t busy;       /* 0: nonzero while the operation runs */
    uint32_t transfers;  /* 4: samples written so far */
    uint32_t fifo_level; /* 8: samples waiting in the FIFO */
    uint32_t interrupts; /* 12: interrupts serviced */
    uint32_t errors;     /* 16 */
    uint32_t overflows;  /* 20: FIFO overflows */
} DriverStatus;

#pragma pack(pop)

BQX_API uint8_t bqxInit(uint16_t version);
BQX_API uint8_t bqxFree(void);
BQX_API uint8_t bqxInitBoard(uint8_t boardType, BoardConfig* config, BoardHandle* handle);
BQX_API uint8_t bqxFreeBoard(BoardHandle handle);
BQX_API uint8_t bqxGetFPGARev(BoardHandle handle, uint32_t* revision);
BQX_API uint8_t bqxADSetSettings(BoardHandle handle, ADSettings* settings);
BQX_API uint8_t bqxADSetChannel(BoardHandle handle, uint8_t firstChannel, uint8_t lastChannel);
BQX_API uint8_t bqxADSample(BoardHandle handle, int16_t* sample);
BQX_API uint8_t bqxADScan(BoardHandle handle, ScanRequest* request, int16_t* buffer);
BQX_API uint8_t bqxADScanInt(BoardHandle handle, ScanIntRequest* request);
BQX_API uint8_t bqxGetStatus(BoardHandle handle, DriverStatus* status);
BQX_API uint8_t bqxCancelOp(BoardHandle handle);
BQX_API uint8_t bqxGetTime(uint32_t* milliseconds);
BQX_API uint8_t bqxDAConvert(BoardHandle handle, uint8_t output, uint16_t code);
BQX_API uint8_t bqxSetCalMux(BoardHandle handle, uint8_t on);
BQX_API uint8_t bqxRegisterRead(BoardHandle handle, uint16_t address, uint8_t* value);
BQX_API uint8_t bqxRegisterWrite(BoardHandle handle, uint16_t address, uint8_t value);
BQX_API uint8_t bqxInp(uint16_t port, uint8_t* value);
BQX_API uint8_t bqxOutp(uint16_t port, uint8_t value);
BQX_API uint8_t bqxGetEEPROM(BoardHandle handle, uint8_t address, uint8_t* value);
/* Fills up to 8 doubles with the stored references. */
BQX_API uint8_t bqxGetReferenceVoltages(BoardHandle handle, double* references);
/* One double per reference of the board, then 0.0. */
BQX_API uint8_t bqxSetReferenceVoltages(BoardHandle handle, const double* references);
BQX_API uint8_t bqxSleep(uint32_t milliseconds);

#ifdef __cplusplus
}
#endif

/* The records are shared with a library built separately: their layout is fixed. */
#ifdef __cplusplus
#define BQX_STATIC_ASSERT static_assert
#else
#define BQX_STATIC_ASSERT _Static_assert
#endif
BQX_STATIC_ASSERT(sizeof(BoardConfig) == 75, "BoardConfig is 75 bytes");
BQX_STATIC_ASSERT(offsetof(BoardConfig, baseAddress) == 3, "BoardConfig base address");
BQX_STATIC_ASSERT(offsetof(BoardConfig, interruptLevel) == 5, "BoardConfig interrupt");
BQX_STATIC_ASSERT(offsetof(BoardConfig, clockHz) == 52, "BoardConfig bytes 52-55");
BQX_STATIC_ASSERT(offsetof(BoardConfig, clockEnable) == 56, "BoardConfig byte 56");
BQX_STATIC_ASSERT(sizeof(ADSettings) == 6, "ADSettings is 6 bytes");
BQX_STATIC_ASSERT(offsetof(ADSettings, mode) == 1, "ADSettings mode bytes");
BQX_STATIC_ASSERT(sizeof(ScanRequest) == 8, "ScanRequest is 8 bytes");
BQX_STATIC_ASSERT(offsetof(ScanRequest, highChannel) == 1, "ScanRequest high channel");
BQX_STATIC_ASSERT(offsetof(ScanIntRequest, conversion_count) == 0, "conversion_count");
BQX_STATIC_ASSERT(offsetof(ScanIntRequest, rate_hz) == 4, "rate_hz");
BQX_STATIC_ASSERT(offsetof(ScanIntRequest, trigger_source) == 12, "offset 12");
BQX_STATIC_ASSERT(offsetof(ScanIntRequest, clock_source) == 16, "offset 16");
BQX_STATIC_ASSERT(offsetof(ScanIntRequest, low_channel) == 20, "low_channel");
BQX_STATIC_ASSERT(offsetof(ScanIntRequest, high_channel) == 21, "high_channel");
BQX_STATIC_ASSERT(offsetof(ScanIntRequest, gain) == 22, "offset 22");
BQX_STATIC_ASSERT(offsetof(ScanIntRequest, scan_mode) == 26, "offset 26");
BQX_STATIC_ASSERT(offsetof(ScanIntRequest, sample_buffer) == 30, "sample_buffer");
BQX_STATIC_ASSERT(offsetof(ScanIntRequest, interrupt_enable) == 34, "offset 34");
BQX_STATIC_ASSERT(offsetof(ScanIntRequest, fifo_threshold) == 38, "offset 38");
BQX_STATIC_ASSERT(offsetof(ScanIntRequest, block_size) == 40, "offset 40");
BQX_STATIC_ASSERT(offsetof(ScanIntRequest, flags) == 44, "offset 44");
BQX_STATIC_ASSERT(offsetof(ScanIntRequest, sample_buffer_ptr) == 48, "extension at 48");
BQX_STATIC_ASSERT(sizeof(ScanIntRequest) == 56, "ScanIntRequest with its extension");
BQX_STATIC_ASSERT(offsetof(DriverStatus, busy) == 0, "busy");
BQX_STATIC_ASSERT(offsetof(DriverStatus, transfers) == 4, "transfers");
BQX_STATIC_ASSERT(offsetof(DriverStatus, overflows) == 20, "overflows");
BQX_STATIC_ASSERT(sizeof(DriverStatus) == 24, "DriverStatus is 24 bytes");
