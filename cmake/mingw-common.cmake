# What both mingw-w64 toolchains share (posix thread model, static runtime); the including file
# sets ZFIX_MINGW_TRIPLE and CMAKE_SYSTEM_PROCESSOR first.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER   ${ZFIX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZFIX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${ZFIX_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${ZFIX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# -s and no long section names keep the exe readable by binutils after UpdateResource.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -s -Wl,--disable-long-section-names")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -s -Wl,--disable-long-section-names")
