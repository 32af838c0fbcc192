// The quarantine library's object as the system sees it: a COM-style object
// that begins with a pointer to its table of operations, each called with the
// object as its first argument (__stdcall on 32-bit Windows). The library's
// export `CreateRecycleObject` is its factory. The library lies outside the
// system; this header fixes only the layout both sides agree on.
//
// Paths and names cross the boundary in the platform's own path text:
// UTF-16 (wchar_t) on Windows, the native narrow bytes on POSIX.
#pragma once

#include <cstdint>

#include "platform/types.h"

// A COM HRESULT: negative means failure.
using RecycleResult = int32_t;

constexpr RecycleResult kRecycleOk = 0;
constexpr RecycleResult kRecycleNoInterface = static_cast<int32_t>(0x80004002u);  // E_NOINTERFACE
constexpr RecycleResult kRecycleFail = static_cast<int32_t>(0x80004005u);         // E_FAIL

// A 16-byte interface identifier with the GUID layout (little-endian fields).
struct RecycleGuid {
    uint32_t data1;
    uint16_t data2;
    uint16_t data3;
    uint8_t data4[8];
};
static_assert(sizeof(RecycleGuid) == 16, "a GUID is 16 bytes");

// {DD0240C9-F3FB-43C0-B74E-2E3070100AD6}: the one interface the system asks
// the factory for.
constexpr RecycleGuid kRecycleObjectIid = {
    0xDD0240C9u, 0xF3FBu, 0x43C0u, {0xB7, 0x4E, 0x2E, 0x30, 0x70, 0x10, 0x0A, 0xD6}};

inline bool SameGuid(const RecycleGuid& a, const RecycleGuid& b) {
    if (a.data1 != b.data1 || a.data2 != b.data2 || a.data3 != b.data3) {
        return false;
    }
    for (int i = 0; i < 8; ++i) {
        if (a.data4[i] != b.data4[i]) {
            return false;
        }
    }
    return true;
}

struct RecycleObject;

// The object's table. The system calls only slot 3; slots 0-2 are the COM
// basics every such object carries.
struct RecycleObjectTable {
    RecycleResult(ZQ_COMCALL* QueryInterface)(RecycleObject* self, const RecycleGuid* iid,
                                              void** out);
    uint32_t(ZQ_COMCALL* AddRef)(RecycleObject* self);
    uint32_t(ZQ_COMCALL* Release)(RecycleObject* self);
    // Slot 3: backs up the file at `path` under `detection_name`. `value` is
    // always 0 from this system.
    RecycleResult(ZQ_COMCALL* QuarantineFile)(RecycleObject* self, const PathChar* path,
                                              const PathChar* detection_name, uint32_t value);
};

struct RecycleObject {
    const RecycleObjectTable* table;
};

// The library export "CreateRecycleObject": (interface identifier, out
// object). A negative result means failure.
using CreateRecycleObjectFn = RecycleResult(ZQ_COMCALL*)(const RecycleGuid* iid,
                                                         RecycleObject** object);
constexpr const char kCreateRecycleObjectName[] = "CreateRecycleObject";
