# 64-bit Windows.
set(MINGW_ARCH x86_64)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(WINE_BITS 64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
