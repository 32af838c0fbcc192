// A quarantine library that holds the scan inside an infected file, for the
// interrupt tests: its quarantine call creates the file "waiting" beside the
// library, then waits until a file "go" appears there (at most 60 s), and
// reports success without keeping a copy. The test interrupts the scan, or
// closes its console, while it waits.
#include <chrono>
#include <filesystem>
#include <system_error>
#include <thread>

#include "quarantine/recycle_object.h"
#include "store.h"
#include "variant_object.h"

namespace {

RecycleResult ZQ_COMCALL QuarantineFileSlot(RecycleObject*, const PathChar*, const PathChar*,
                                            uint32_t) {
    const PathString folder = druquara::LibraryFolder();
    {
        druquara::NewFile waiting;
        waiting.Create(folder + ZQ_PATH_SEP_STR ZQ_T("waiting"));
        waiting.Commit();
    }
    const std::filesystem::path go(folder + ZQ_PATH_SEP_STR ZQ_T("go"));
    std::error_code error;
    for (int i = 0; i < 6000 && !std::filesystem::exists(go, error); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return kRecycleOk;
}

}  // namespace

extern "C" DRUQUARA_EXPORT RecycleResult ZQ_COMCALL CreateRecycleObject(const RecycleGuid* iid,
                                                                        RecycleObject** object) {
    return druquara::VariantObject<QuarantineFileSlot>::Create(iid, object);
}
