# 32-bit Windows.
set(MINGW_ARCH i686)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(WINE_BITS 32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
