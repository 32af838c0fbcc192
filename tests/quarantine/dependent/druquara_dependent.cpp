// A quarantine library for tests that imports a DLL of its own,
// zqdepend.dll, kept in its own folder. Its factory hands out an object only
// when that DLL is the one beside it: with a zqdepend.dll of another folder
// (a decoy beside the program that loads it), the factory fails with the
// decoy's answer as the thread's error code, which the wrapper logs in its
// line 36.
#include <windows.h>

#include "quarantine/recycle_object.h"
#include "variant_object.h"
#include "zqdepend.h"

extern "C" __declspec(dllimport) int ZqDependValue();

namespace {

RecycleResult ZQ_COMCALL QuarantineFileSlot(RecycleObject*, const PathChar*, const PathChar*,
                                            uint32_t) {
    return kRecycleOk;
}

}  // namespace

extern "C" DRUQUARA_EXPORT RecycleResult ZQ_COMCALL CreateRecycleObject(const RecycleGuid* iid,
                                                                        RecycleObject** object) {
    const int answer = ZqDependValue();
    if (answer == kZqDependValue) {
        return druquara::VariantObject<QuarantineFileSlot>::Create(iid, object);
    }
    if (object != nullptr) {
        *object = nullptr;
    }
    SetLastError(static_cast<DWORD>(answer));
    return kRecycleFail;
}
