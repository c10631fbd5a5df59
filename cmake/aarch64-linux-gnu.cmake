# Cross build for arm64 (aarch64) on an amd64 Debian machine with multiarch:
#   cmake -S . -B build-arm64 -G Ninja --toolchain cmake/aarch64-linux-gnu.cmake
# scripts/setup-arm64 installs the cross compiler, qemu-user and the :arm64 libraries. The
# libraries live beside the amd64 ones in /usr/lib/aarch64-linux-gnu; Qt's host tools (moc, uic,
# rcc) stay the amd64 ones. ctest runs the arm64 test binaries under qemu-user.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(SHAKELOG_TARGET_TRIPLET aarch64-linux-gnu)

set(CMAKE_C_COMPILER ${SHAKELOG_TARGET_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${SHAKELOG_TARGET_TRIPLET}-g++)

# Multiarch: one root (/), the target's libraries under lib/aarch64-linux-gnu of every prefix.
# Programs found are the build machine's; libraries, headers and packages only the target's.
set(CMAKE_LIBRARY_ARCHITECTURE ${SHAKELOG_TARGET_TRIPLET})
set(CMAKE_FIND_ROOT_PATH /)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Never link an amd64 library by mistake: the only x86_64 files a cross build may read are Qt's
# host tool packages, which Qt finds through QT_HOST_PATH_CMAKE_DIR below.
set(CMAKE_IGNORE_PATH /usr/lib/x86_64-linux-gnu /lib/x86_64-linux-gnu)

# pkg-config reads the arm64 .pc files (and the architecture-independent ones) only.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${SHAKELOG_TARGET_TRIPLET}/pkgconfig:/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_SYSROOT_DIR} /)

# Qt's tools that run during the build are the build machine's.
set(QT_HOST_PATH /usr)
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)

# libgeographiclib-dev is not Multi-Arch, so it cannot be installed for arm64 beside the amd64
# one. Its headers are the same on both; the arm64 library comes from the runtime package
# (libgeographiclib23:arm64), named here because no unversioned libGeographicLib.so exists for
# arm64. Debian's find module takes a set GeographicLib_LIBRARIES as found.
file(GLOB _shakelog_geographiclib
  /usr/lib/${SHAKELOG_TARGET_TRIPLET}/libGeographicLib.so.[0-9]*[0-9])
if(_shakelog_geographiclib)
  list(GET _shakelog_geographiclib 0 _shakelog_geographiclib)
  set(GeographicLib_LIBRARIES ${_shakelog_geographiclib} CACHE FILEPATH
    "GeographicLib's arm64 shared library (runtime package; no arm64 -dev package)")
endif()

# ctest (and gtest_discover_tests) run arm64 programs through qemu-user. The arm64 loader and
# libraries are the multiarch ones (libc6:arm64 installs /lib/ld-linux-aarch64.so.1), so qemu
# needs no -L prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64)
