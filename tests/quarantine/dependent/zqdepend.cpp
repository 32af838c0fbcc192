// A DLL that a test quarantine library imports (druquara_dependent.cpp). Two
// builds of it carry the same file name, zqdepend.dll: the one kept beside
// the library answers kZqDependValue, a decoy beside the test program
// kZqDependDecoyValue (ZQ_DEPEND_VALUE names the build's answer), so the
// library can tell which one the loader gave it.
#include "zqdepend.h"

extern "C" __declspec(dllexport) int ZqDependValue() {
    return ZQ_DEPEND_VALUE;
}
