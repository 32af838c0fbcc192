# Cross toolchain: 32-bit Windows on x86 with MinGW-w64, POSIX thread model
# (std::thread/std::mutex are needed by GoogleTest). Programs run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
# The shipped program and library link the win32 thread model's runtime
# instead, so they start on Windows XP (cmake/windows_product.cmake).
set(ZQ_MINGW_WIN32_THREADS_GCC i686-w64-mingw32-gcc-win32)

set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Statically linked: the programs and DLLs need no MinGW runtime DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Debian's wine starts Wine's 32-bit loader, a 32-bit Linux program; where the
# kernel cannot run 32-bit code, scripts/install-deps has it run under
# qemu-i386 (binfmt_misc), so the same command works everywhere.
find_program(ZQ_WINE wine REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${ZQ_WINE})
