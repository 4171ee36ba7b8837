# Cross toolchain: the 64-bit twin of the Windows programs with mingw-w64 (posix thread model, static runtime).
# The product is the i686 build; this one runs the Windows suite where the host runs no 32-bit code.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER   x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER  x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# -s and no long section names keep the exe readable by binutils after UpdateResource.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -s -Wl,--disable-long-section-names")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -s -Wl,--disable-long-section-names")
