// The bqx entry points of the tool. Each forwards to the function of the same name in the
// loaded driver library; while no library is loaded every call answers BQX_E_NO_LIBRARY.
#include "DriverImports.h"

#include "platform/bqxdrv.h"

#include <dlfcn.h>

#define BQX_CALLS(X)                                                                                       \
    X(bqxInit, (uint16_t version), (version))                                                              \
    X(bqxFree, (void), ())                                                                                 \
    X(bqxInitBoard, (uint8_t boardType, BoardConfig * config, BoardHandle * handle),                       \
      (boardType, config, handle))                                                                         \
    X(bqxFreeBoard, (BoardHandle handle), (handle))                                                        \
    X(bqxGetFPGARev, (BoardHandle handle, uint32_t * revision), (handle, revision))                        \
    X(bqxADSetSettings, (BoardHandle handle, ADSettings * settings), (handle, settings))                   \
    X(bqxADSetChannel, (BoardHandle handle, uint8_t first, uint8_t last), (handle, first, last))           \
    X(bqxADSample, (BoardHandle handle, int16_t * sample), (handle, sample))                               \
    X(bqxADScan, (BoardHandle handle, ScanRequest * request, int16_t * buffer), (handle, request, buffer)) \
    X(bqxADScanInt, (BoardHandle handle, ScanIntRequest * request), (handle, request))                     \
    X(bqxGetStatus, (BoardHandle handle, DriverStatus * status), (handle, status))                         \
    X(bqxCancelOp, (BoardHandle handle), (handle))                                                         \
    X(bqxGetTime, (uint32_t * milliseconds), (milliseconds))                                               \
    X(bqxDAConvert, (BoardHandle handle, uint8_t output, uint16_t code), (handle, output, code))           \
    X(bqxSetCalMux, (BoardHandle handle, uint8_t on), (handle, on))                                        \
    X(bqxRegisterRead, (BoardHandle handle, uint16_t address, uint8_t * value), (handle, address, value))  \
    X(bqxRegisterWrite, (BoardHandle handle, uint16_t address, uint8_t value), (handle, address, value))   \
    X(bqxInp, (uint16_t port, uint8_t * value), (port, value))                                             \
    X(bqxOutp, (uint16_t port, uint8_t value), (port, value))                                              \
    X(bqxGetEEPROM, (BoardHandle handle, uint8_t address, uint8_t * value), (handle, address, value))      \
    X(bqxGetReferenceVoltages, (BoardHandle handle, double* references), (handle, references))             \
    X(bqxSetReferenceVoltages, (BoardHandle handle, const double* references), (handle, references))       \
    X(bqxSleep, (uint32_t milliseconds), (milliseconds))

namespace {

struct DriverImports {
#define BQX_POINTER(name, params, args) uint8_t(*name) params = nullptr;
    BQX_CALLS(BQX_POINTER)
#undef BQX_POINTER
};

DriverImports g_imports;

}  // namespace

namespace vantrel::platform {

void BindDriverImports(void* libraryHandle) {
#define BQX_BIND(name, params, args) \
    g_imports.name = reinterpret_cast<uint8_t(*) params>(dlsym(libraryHandle, #name));
    BQX_CALLS(BQX_BIND)
#undef BQX_BIND
}

void ClearDriverImports() { g_imports = DriverImports{}; }

}  // namespace vantrel::platform

extern "C" {

// bqxInit is the first call of a run: it is the one that loads the library.
uint8_t bqxInit(uint16_t version) {
    vantrel::platform::EnsureDriverLibraryTried();
    return g_imports.bqxInit ? g_imports.bqxInit(version) : BQX_E_NO_LIBRARY;
}

#define BQX_FORWARD(name, params, args) \
    uint8_t name params { return g_imports.name ? g_imports.name args : BQX_E_NO_LIBRARY; }
BQX_FORWARD(bqxFree, (void), ())
BQX_FORWARD(bqxInitBoard, (uint8_t boardType, BoardConfig* config, BoardHandle* handle),
            (boardType, config, handle))
BQX_FORWARD(bqxFreeBoard, (BoardHandle handle), (handle))
BQX_FORWARD(bqxGetFPGARev, (BoardHandle handle, uint32_t* revision), (handle, revision))
BQX_FORWARD(bqxADSetSettings, (BoardHandle handle, ADSettings* settings), (handle, settings))
BQX_FORWARD(bqxADSetChannel, (BoardHandle handle, uint8_t first, uint8_t last), (handle, first, last))
BQX_FORWARD(bqxADSample, (BoardHandle handle, int16_t* sample), (handle, sample))
BQX_FORWARD(bqxADScan, (BoardHandle handle, ScanRequest* request, int16_t* buffer), (handle, request, buffer))
BQX_FORWARD(bqxADScanInt, (BoardHandle handle, ScanIntRequest* request), (handle, request))
BQX_FORWARD(bqxGetStatus, (BoardHandle handle, DriverStatus* status), (handle, status))
BQX_FORWARD(bqxCancelOp, (BoardHandle handle), (handle))
BQX_FORWARD(bqxGetTime, (uint32_t * milliseconds), (milliseconds))
BQX_FORWARD(bqxDAConvert, (BoardHandle handle, uint8_t output, uint16_t code), (handle, output, code))
BQX_FORWARD(bqxSetCalMux, (BoardHandle handle, uint8_t on), (handle, on))
BQX_FORWARD(bqxRegisterRead, (BoardHandle handle, uint16_t address, uint8_t* value), (handle, address, value))
BQX_FORWARD(bqxRegisterWrite, (BoardHandle handle, uint16_t address, uint8_t value), (handle, address, value))
BQX_FORWARD(bqxInp, (uint16_t port, uint8_t* value), (port, value))
BQX_FORWARD(bqxOutp, (uint16_t port, uint8_t value), (port, value))
BQX_FORWARD(bqxGetEEPROM, (BoardHandle handle, uint8_t address, uint8_t* value), (handle, address, value))
BQX_FORWARD(bqxGetReferenceVoltages, (BoardHandle handle, double* references), (handle, references))
BQX_FORWARD(bqxSetReferenceVoltages, (BoardHandle handle, const double* references), (handle, references))
BQX_FORWARD(bqxSleep, (uint32_t milliseconds), (milliseconds))
#undef BQX_FORWARD

}  // extern "C"
