// The wrapper around the security suite's quarantine library "druquara.dll".
// Construction finds the suite's install folder in the registry, loads the
// library from its "security\zebscan" subfolder and obtains one object from
// the library's factory; each quarantine request is then forwarded to that
// object. Every failure is logged and none is reported to the caller: the
// state reached at construction holds for the whole run.
#pragma once

#include <cstdint>

#include "platform/dynamic_library.h"
#include "platform/types.h"
#include "quarantine/recycle_object.h"

class DruquaraWrap {
  public:
    // Sets both fields to null and calls Init; its result is not examined.
    DruquaraWrap();
    // Drops the object without any call on it, then frees the library if one
    // was loaded. Logs nothing.
    ~DruquaraWrap();
    DruquaraWrap(const DruquaraWrap&) = delete;
    DruquaraWrap& operator=(const DruquaraWrap&) = delete;

    // Reads the install path, loads the library and obtains its object.
    // TRUE exactly when the object pointer is non-null afterwards.
    BOOL Init();

    // Loads the library at `library_path`, stores its module handle in this
    // wrapper (also when the lookup or the factory fails) and the factory's
    // object in `*object` (null on every failure). Returns 0 on success,
    // E_FAIL when the load or the lookup failed, or the factory's own
    // negative result.
    RecycleResult DRUDllGetClassObject(const PathChar* library_path, RecycleObject** object);

    // Forwards one quarantine request to slot 3 of the library's object, or
    // logs "Do init failed" when there is no object. The library gets
    // platform::PathForOtherPrograms(path): on Windows the plain path when it
    // names the file as it is, the "\?" form otherwise. True when the
    // library kept the backup (its result is not negative).
    bool QuarantineFile(const PathChar* path, const PathChar* detection_name, uint32_t value);

    // The state reached at construction: library loaded, object obtained.
    bool HasLibrary() const { return module_.IsLoaded(); }
    bool HasObject() const { return object_ != nullptr; }

  private:
    platform::DynamicLibrary module_;  // the loaded library; empty while none
    RecycleObject* object_ = nullptr;  // the factory's object; null while none
};
