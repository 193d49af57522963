# Cross-build of the same sources for 64-bit Windows. Used only to run the
# test suite under a 64-bit Wine on hosts whose kernel cannot execute 32-bit
# programs (and so cannot run a 32-bit Wine); never shipped.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(OV_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
