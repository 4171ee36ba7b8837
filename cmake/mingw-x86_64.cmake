# Cross toolchain: the 64-bit twin of the Windows programs with mingw-w64. The product is the
# i686 build; this one runs the Windows suite where the host runs no 32-bit code.
set(ZFIX_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
