# Cross-compiles native x86-64 Windows binaries: the writer, which must match
# the bitness of the Windows it serves, and the stand-ins its tests load.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-posix.cmake)
