# Common settings of both builds: GoogleTest, warnings, and Wine as the test runner of the Windows build.
enable_testing()
include(GoogleTest)

# The sanitizer build of the native tests (build/asan): AddressSanitizer and UndefinedBehavior-
# Sanitizer in every program, GoogleTest included; any finding ends the program with an error.
option(ZFIX_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(ZFIX_SANITIZE)
  if(WIN32 OR MSVC)
    message(FATAL_ERROR "ZFIX_SANITIZE is for the native build")
  endif()
  set(_sanitize -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_compile_options(${_sanitize})
  add_link_options(${_sanitize})
endif()

set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# Our own sources (everything added after this point): every printf-like call checked, every
# function outside a file declared in a header first, and a warning fails the build.
option(ZFIX_WERROR "Warnings fail the build" ON)
if(MSVC)
  add_compile_options(/W4)
  if(ZFIX_WERROR)
    add_compile_options(/WX)
  endif()
else()
  add_compile_options(-Wall -Wextra -Wformat=2 -Wmissing-declarations)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    add_compile_options(-Wmissing-prototypes)  # what -Wmissing-declarations means to GCC
  endif()
  if(ZFIX_WERROR)
    add_compile_options(-Werror)
  endif()
endif()

set(ZFIX_SCRIPTS ${CMAKE_SOURCE_DIR}/scripts)

if(WIN32 AND CMAKE_CROSSCOMPILING)
  # Every Windows test runs through <tree>/wine-run: the build tree's own 64-bit prefix,
  # the test display, and HOME/TMPDIR inside the build tree.
  # Each tree names its own loader: Debian's `wine` starts the 32-bit loader whenever wine32 is
  # installed, which the 64-bit twin must not depend on (some hosts run no 32-bit code).
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(ZFIX_WINE_LOADER /usr/lib/wine/wine64)
  else()
    set(ZFIX_WINE_LOADER wine)
  endif()
  file(WRITE ${CMAKE_BINARY_DIR}/wine-loader "${ZFIX_WINE_LOADER}\n")
  set(ZFIX_WINE_RUN ${CMAKE_BINARY_DIR}/wine-run)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/wine-run.in ${ZFIX_WINE_RUN} @ONLY
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZFIX_WINE_RUN})

  # One prefix, one Xvfb and one persistent wineserver for the whole ctest run.
  add_test(NAME wine_env_up COMMAND sh ${ZFIX_SCRIPTS}/wine-env.sh up ${CMAKE_BINARY_DIR})
  set_tests_properties(wine_env_up PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
  add_test(NAME wine_env_down COMMAND sh ${ZFIX_SCRIPTS}/wine-env.sh down ${CMAKE_BINARY_DIR})
  set_tests_properties(wine_env_down PROPERTIES FIXTURES_CLEANUP wine)
endif()

# zfix_gtest(target) adds the GoogleTest cases of an executable to ctest, under Wine for Windows targets.
function(zfix_gtest target)
  if(WIN32 AND CMAKE_CROSSCOMPILING)
    gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
                         PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 300 ${ARGN})
  else()
    gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300 ${ARGN})
  endif()
endfunction()

# zfix_wine_test(NAME name COMMAND prog args...) adds a plain test that runs under the build's Wine set-up.
function(zfix_wine_test)
  cmake_parse_arguments(T "" "NAME" "COMMAND" ${ARGN})
  add_test(NAME ${T_NAME} COMMAND ${T_COMMAND})
  set_tests_properties(${T_NAME} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 300)
endfunction()

# Static linking of the Windows programs: only Windows' own DLLs at run time.
function(zfix_win_program target)
  target_link_options(${target} PRIVATE -static)
endfunction()

# zfix_add_subfolders(): adds every subfolder of the current folder that has a CMakeLists.txt.
function(zfix_add_subfolders)
  file(GLOB dirs LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT dirs)
  foreach(d ${dirs})
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${d}/CMakeLists.txt)
      add_subdirectory(${d})
    endif()
  endforeach()
endfunction()
