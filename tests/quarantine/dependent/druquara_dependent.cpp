// A quarantine library for tests that imports a DLL of its own,
// zqdepend.dll, kept in its own folder. Its factory hands out an object only
// when that DLL is the one beside it: with a zqdepend.dll of another folder
// (a decoy beside the program that loads it), the factory fails with the
// decoy's answer as the thread's error code, which the wrapper logs in its
// line 36.
#include <windows.h>

#include "quarantine/recycle_object.h"
#include "zqdepend.h"

extern "C" __declspec(dllimport) int ZqDependValue();

namespace {

RecycleResult ZQ_COMCALL QueryInterfaceSlot(RecycleObject* self, const RecycleGuid* iid,
                                            void** out) {
    if (out == nullptr) {
        return kRecycleFail;
    }
    *out = nullptr;
    if (iid == nullptr || !SameGuid(*iid, kRecycleObjectIid)) {
        return kRecycleNoInterface;
    }
    *out = self;
    return kRecycleOk;
}
uint32_t ZQ_COMCALL AddRefSlot(RecycleObject*) {
    return 1;
}
uint32_t ZQ_COMCALL ReleaseSlot(RecycleObject*) {
    return 1;
}
RecycleResult ZQ_COMCALL QuarantineFileSlot(RecycleObject*, const PathChar*, const PathChar*,
                                            uint32_t) {
    return kRecycleOk;
}

const RecycleObjectTable kTable = {QueryInterfaceSlot, AddRefSlot, ReleaseSlot, QuarantineFileSlot};
RecycleObject g_object = {&kTable};

}  // namespace

extern "C" DRUQUARA_EXPORT RecycleResult ZQ_COMCALL CreateRecycleObject(const RecycleGuid* iid,
                                                                        RecycleObject** object) {
    if (object == nullptr) {
        return kRecycleFail;
    }
    *object = nullptr;
    const int answer = ZqDependValue();
    if (answer != kZqDependValue) {
        SetLastError(static_cast<DWORD>(answer));
        return kRecycleFail;
    }
    void* out = nullptr;
    const RecycleResult result = QueryInterfaceSlot(&g_object, iid, &out);
    *object = static_cast<RecycleObject*>(out);
    return result;
}
