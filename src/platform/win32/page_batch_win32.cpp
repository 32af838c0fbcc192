// platform::PageBatch on Windows: no ring; every file takes the per-file
// path.
#include "platform/page_batch.h"

namespace platform {

struct PageBatch::State {};

bool PageBatch::Available() {
    return false;
}

PageBatch::PageBatch() = default;
PageBatch::~PageBatch() = default;

bool PageBatch::Start() {
    return false;
}

bool PageBatch::Started() const {
    return false;
}

bool PageBatch::Read(Page* /*pages*/, size_t /*count*/) {
    return false;
}

}  // namespace platform
