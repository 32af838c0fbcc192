# What ships for Windows (the program and the stand-in library) must start on
# Windows XP SP3: it may import only what XP SP3's system DLLs export, and its
# PE header asks for no newer OS or subsystem than 5.1.
#
# The posix thread-model runtime that the tests need (std::thread, GoogleTest)
# links winpthreads, which imports GetTickCount64 (Vista): libstdc++'s
# exception and static-initialisation support call pthread_once and
# pthread_mutex_lock. The shipped files therefore link the runtime of the
# win32 thread model instead (critical sections and semaphores, available on
# XP), found through -B, which makes the driver take libstdc++, libgcc,
# libgcc_eh and crtbegin/crtend from that folder. The objects themselves are
# compiled as everywhere else: no shipped source uses <thread>, <mutex> or
# <condition_variable>, the only types whose layout differs between the two
# thread models. tests/pe checks the imports that result.
execute_process(
  COMMAND ${ZQ_MINGW_WIN32_THREADS_GCC} -print-libgcc-file-name
  OUTPUT_VARIABLE zq_win32_threads_libgcc
  OUTPUT_STRIP_TRAILING_WHITESPACE
  RESULT_VARIABLE zq_win32_threads_result)
if(NOT zq_win32_threads_result EQUAL 0 OR NOT EXISTS "${zq_win32_threads_libgcc}")
  message(FATAL_ERROR "The win32 thread-model runtime of ${ZQ_MINGW_WIN32_THREADS_GCC} "
                      "was not found (Debian: gcc-mingw-w64-i686-win32, g++-mingw-w64-i686-win32)")
endif()
get_filename_component(ZQ_WIN32_THREADS_RUNTIME "${zq_win32_threads_libgcc}" DIRECTORY)

# Version numbers for the resource scripts (ZQ_VERSION_* in zq_version.h).
configure_file(${PROJECT_SOURCE_DIR}/cmake/zq_version.h.in
               ${PROJECT_BINARY_DIR}/generated/zq_version.h @ONLY)

# zq_windows_product(TARGET RESOURCE_SCRIPT [FILE...]): links TARGET for XP
# SP3 and later, without a time stamp in its PE header (two builds of one
# commit are byte-identical), with the given resource script (an absolute
# path) compiled in; the FILEs are what the script includes besides the
# version header. A program is also marked aware of Terminal Services (the
# system then gives it the machine's own Windows folder and INI files, not
# a per-user copy, in a Remote Desktop session) and of large addresses (it
# may use the whole 4 GB address space under 64-bit Windows, 3 GB with
# /3GB on 32-bit Windows: nothing in it takes an address for a signed
# number).
function(zq_windows_product target resource_script)
  target_sources(${target} PRIVATE ${resource_script})
  get_filename_component(script_dir ${resource_script} DIRECTORY)
  set_property(SOURCE ${resource_script} TARGET_DIRECTORY ${target} APPEND PROPERTY
               INCLUDE_DIRECTORIES
               ${script_dir} ${PROJECT_SOURCE_DIR}/cmake ${PROJECT_BINARY_DIR}/generated)
  set_property(SOURCE ${resource_script} TARGET_DIRECTORY ${target} APPEND PROPERTY
               OBJECT_DEPENDS ${PROJECT_BINARY_DIR}/generated/zq_version.h ${ARGN})
  target_link_options(${target} PRIVATE
    -B${ZQ_WIN32_THREADS_RUNTIME}/
    -Wl,--major-os-version=5,--minor-os-version=1
    -Wl,--major-subsystem-version=5,--minor-subsystem-version=1
    -Wl,--no-insert-timestamp)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    target_link_options(${target} PRIVATE -Wl,--tsaware,--large-address-aware)
  endif()
endfunction()
