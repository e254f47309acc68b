# 64-bit ARM Linux with Debian's cross compiler and the arm64 libraries of
# the same machine (dpkg --add-architecture arm64): multiarch puts them in
# /usr/lib/aarch64-linux-gnu beside the native ones, so there is no sysroot.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

# pkg-config must see the arm64 libraries' descriptions, never the host's.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")

# The suite runs under qemu's user-mode emulator; the arm64 loader and
# libraries come from the multiarch folders, which qemu finds under /.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64-static;-L;/)
