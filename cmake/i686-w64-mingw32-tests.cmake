# The 32-bit Windows test programs: the same target as the files we ship,
# with the posix-threads compiler that GoogleTest needs. The tests load the
# shipped gauge files from build/win32 (GAUGES_DIR, set by tools/test.sh).
set(MINGW_THREADS posix)
include(${CMAKE_CURRENT_LIST_DIR}/i686-w64-mingw32.cmake)
