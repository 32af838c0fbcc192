// A quarantine library without the factory export, for tests: loading works,
// the lookup of "CreateRecycleObject" fails.
#include <cstdint>

extern "C" DRUQUARA_EXPORT uint32_t DruquaraVersion() {
    return 1;
}
