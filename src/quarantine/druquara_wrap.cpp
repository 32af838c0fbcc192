// DruquaraWrap: finds the suite's install folder, loads its quarantine
// library and forwards quarantine requests to the library's object. The
// numbers in the log lines are fixed: they identify each failure point.
#include "quarantine/druquara_wrap.h"

#include <cstdint>
#include <utility>

#include "log/logger.h"
#include "platform/heap_block.h"
#include "platform/path_combine.h"
#include "platform/path_forms.h"
#include "platform/registry.h"

namespace {

// The suite's key below HKEY_LOCAL_MACHINE and the value holding its install
// folder.
constexpr PathChar kSuiteKey[] = ZQ_T("SOFTWARE\\Morlane\\QRVCommon");
constexpr PathChar kInstallPathValue[] = ZQ_T("ProgramPath");

// The quarantine library below the install folder:
// "security\zebscan\druquara.dll" on Windows.
constexpr PathChar kLibraryRelativePath[] = ZQ_T("security") ZQ_PATH_SEP_STR ZQ_T("zebscan")
    ZQ_PATH_SEP_STR ZQ_T("druquara") ZQ_LIBRARY_SUFFIX;

// Room after the value's bytes for a terminator the stored value may lack.
// Two characters: a value of an odd byte count leaves a partly filled
// character before the first whole zero one.
constexpr uint32_t kTerminatorRoom = 2 * sizeof(PathChar);

}  // namespace

DruquaraWrap::DruquaraWrap() {
    Init();
}

DruquaraWrap::~DruquaraWrap() {
    // The object belongs to the library: drop it without any call, then free
    // the library.
    object_ = nullptr;
    module_.Free();
}

BOOL DruquaraWrap::Init() {
    // The block is zero-filled and longer than the value, so the install
    // path read from it always ends inside it, whether or not the value was
    // stored with its terminator.
    platform::HeapBlock block;
    const platform::StepResult<platform::RegistryReadStep> read =
        platform::ReadMachineValue(kSuiteKey, kInstallPathValue, kTerminatorRoom, &block);
    switch (read.step) {
        case platform::RegistryReadStep::OpenKey:
            g_Logger.Write("[%s][%d]Call RegOpenKeyEx failed: %d", "DruquaraWrap::Init", 83,
                           static_cast<int>(read.code));
            return object_ != nullptr ? TRUE : FALSE;
        case platform::RegistryReadStep::QuerySize:
            g_Logger.Write("[%s][%d]Call RegQueryValueEx failed: %d", "DruquaraWrap::Init", 90,
                           static_cast<int>(read.code));
            return object_ != nullptr ? TRUE : FALSE;
        case platform::RegistryReadStep::Alloc:
            g_Logger.Write("[%s][%d]Alloc data for buffer failed", "DruquaraWrap::Init", 97);
            return object_ != nullptr ? TRUE : FALSE;
        case platform::RegistryReadStep::QueryValue:
            g_Logger.Write("[%s][%d]Call RegQueryValueEx failed: %d", "DruquaraWrap::Init", 104,
                           static_cast<int>(read.code));
            return object_ != nullptr ? TRUE : FALSE;
        case platform::RegistryReadStep::None:
            break;
    }

    const PathChar* install_path = reinterpret_cast<const PathChar*>(block.Data());
    if (!platform::IsAbsolutePath(install_path)) {
        // An empty, relative or drive-relative install path would load a
        // library found through the search path or the current folder:
        // foreign code in a scan that may run elevated.
        g_Logger.Write("[%s][%d]Call LoadLibrary failed: %d", "DRUDllGetClassObject", 22,
                       static_cast<int>(platform::kErrorBadPathname));
    } else {
        // A joined path that does not fit leaves the buffer empty, which
        // loads nothing: a cut path is never loaded.
        PathChar library_path[platform::kMaxPathChars] = {};
        platform::CombinePath(library_path, install_path, kLibraryRelativePath);
        DRUDllGetClassObject(library_path, &object_);
    }
    return object_ != nullptr ? TRUE : FALSE;
}

RecycleResult DruquaraWrap::DRUDllGetClassObject(const PathChar* library_path,
                                                 RecycleObject** object) {
    RecycleObject* created = nullptr;
    RecycleResult result = kRecycleFail;
    platform::DynamicLibrary library;

    if (!library.Load(library_path)) {
        g_Logger.Write("[%s][%d]Call LoadLibrary failed: %d", "DRUDllGetClassObject", 22,
                       static_cast<int>(library.Error()));
    } else {
        const auto factory =
            reinterpret_cast<CreateRecycleObjectFn>(library.Symbol(kCreateRecycleObjectName));
        if (factory == nullptr) {
            g_Logger.Write("[%s][%d]Call GetProcAddress failed: %d", "DRUDllGetClassObject", 29,
                           static_cast<int>(library.Error()));
        } else {
            result = factory(&kRecycleObjectIid, &created);
            const OsError after_call = platform::ThreadLastError();
            if (result < 0) {
                g_Logger.Write("[%s][%d]Call CreateRecycleObject failed: %d",
                               "DRUDllGetClassObject", 36, static_cast<int>(after_call));
                // Whatever a failing factory left there is not an object.
                created = nullptr;
            } else {
                result = kRecycleOk;
            }
        }
    }

    // The library stays loaded also when the lookup or the factory failed;
    // it is freed at destruction.
    module_ = std::move(library);
    *object = created;
    return result;
}

bool DruquaraWrap::QuarantineFile(const PathChar* path, const PathChar* detection_name,
                                  uint32_t value) {
    if (object_ == nullptr) {
        g_Logger.Write("[%s][%d]Do init failed", "DruquaraWrap::QuarantineFile", 147);
        return false;
    }
    // The library gets the path it can open: the plain one where it names the
    // file as it is, else the extended form (a long path, a name ending in a
    // dot or a space, a device's name such as "COM1.exe").
    const PathString given = platform::PathForOtherPrograms(path);
    return object_->table->QuarantineFile(object_, given.c_str(), detection_name, value) >= 0;
}
