// The object of a test variant of the quarantine library: the library's one
// object, living as long as the library, so that AddRef and Release count
// nothing. The variant gives the object's one real operation (slot 3); the
// factory hands the object out for the system's interface identifier alone,
// E_NOINTERFACE and a null object for any other, E_POINTER for a null out
// parameter.
#pragma once

#include <cstdint>

#include "quarantine/recycle_object.h"

namespace druquara {

constexpr RecycleResult kPointerError = static_cast<int32_t>(0x80004003u);  // E_POINTER

using QuarantineFileFn = RecycleResult(ZQ_COMCALL*)(RecycleObject* self, const PathChar* path,
                                                    const PathChar* detection_name, uint32_t value);

template <QuarantineFileFn kQuarantineFile>
class VariantObject {
  public:
    // What the export `CreateRecycleObject` answers.
    static RecycleResult Create(const RecycleGuid* iid, RecycleObject** object) {
        if (object == nullptr) {
            return kPointerError;
        }
        void* out = nullptr;
        const RecycleResult result = QueryInterface(&object_, iid, &out);
        *object = static_cast<RecycleObject*>(out);
        return result;
    }

  private:
    static RecycleResult ZQ_COMCALL QueryInterface(RecycleObject* self, const RecycleGuid* iid,
                                                   void** out) {
        if (out == nullptr) {
            return kPointerError;
        }
        *out = nullptr;
        if (iid == nullptr || !SameGuid(*iid, kRecycleObjectIid)) {
            return kRecycleNoInterface;
        }
        *out = self;
        return kRecycleOk;
    }
    static uint32_t ZQ_COMCALL AddRef(RecycleObject* /*self*/) { return 1; }
    static uint32_t ZQ_COMCALL Release(RecycleObject* /*self*/) { return 1; }

    static constexpr RecycleObjectTable kTable = {QueryInterface, AddRef, Release, kQuarantineFile};
    static inline RecycleObject object_ = {&kTable};
};

}  // namespace druquara
