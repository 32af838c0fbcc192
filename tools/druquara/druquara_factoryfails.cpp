// A quarantine library whose factory fails, for tests: it sets the thread's
// error code to 1234, leaves a pointer that is no object in the out
// parameter and returns E_FAIL. A caller must not use that pointer.
#include <cstdint>

#include "quarantine/recycle_object.h"
#include "store.h"

extern "C" DRUQUARA_EXPORT RecycleResult ZQ_COMCALL CreateRecycleObject(const RecycleGuid* iid,
                                                                        RecycleObject** object) {
    if (object != nullptr) {
        *object = reinterpret_cast<RecycleObject*>(static_cast<uintptr_t>(0xBAADF00Du));
    }
    druquara::SetThreadError(1234);
    return kRecycleFail;
}
