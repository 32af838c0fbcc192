// zqlogswitch <pid> on|off
//
// Sets ("on") or resets ("off") the logging switch of the running process
// <pid>: while it is reset, that process drops its log lines. Exit code 0
// when the switch was changed, 1 when it could not be opened or changed
// (the OS's error code is printed), 2 for wrong arguments.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/log_switch.h"

namespace {

int Usage() {
    std::fprintf(stderr, "usage: zqlogswitch <pid> on|off\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        return Usage();
    }
    char* end = nullptr;
    errno = 0;
    const unsigned long process_id = std::strtoul(argv[1], &end, 10);
    if (errno != 0 || end == argv[1] || *end != '\0' || process_id > 0xFFFFFFFFul ||
        argv[1][0] == '-') {
        return Usage();
    }
    bool on = false;
    if (std::strcmp(argv[2], "on") == 0) {
        on = true;
    } else if (std::strcmp(argv[2], "off") != 0) {
        return Usage();
    }
    const platform::StepResult<platform::LogSwitchStep> changed =
        platform::SetLogSwitch(static_cast<uint32_t>(process_id), on);
    if (!changed.Succeeded()) {
        std::fprintf(stderr, "zqlogswitch: cannot change the logging switch of process %lu: %u\n",
                     process_id, static_cast<unsigned>(changed.code));
        return 1;
    }
    return 0;
}
