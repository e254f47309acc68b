# 32-bit Windows.
set(MINGW_ARCH i686)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(WINE_BITS 32)
# 32-bit hosts may call with the stack aligned to 4 bytes only, while the
# vector code spills to it on the assumption of 16: every function that
# needs the alignment realigns it itself.
set(MINGW_EXTRA_CXX_FLAGS "-mstackrealign")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
