# Cross-compiles the 32-bit Windows programs with mingw-w64 (preset win32),
# for the production PCs that still run 32-bit Windows.
set(ZVP_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
