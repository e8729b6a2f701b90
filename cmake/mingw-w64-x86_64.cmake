# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (the POSIX thread model, for
# std::thread and std::mutex). Libraries built for Windows are looked for in EXOGENA_WINDOWS_DEPS
# (build/windows-deps by default, laid out by scripts/windows-deps.sh) and in MinGW's own root.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_TRIPLE x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLE}-windres)
set(CMAKE_AR ${MINGW_TRIPLE}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${MINGW_TRIPLE}-gcc-ranlib-posix CACHE FILEPATH "")

if(NOT EXOGENA_WINDOWS_DEPS)
  if(DEFINED ENV{EXOGENA_WINDOWS_DEPS})
    set(EXOGENA_WINDOWS_DEPS $ENV{EXOGENA_WINDOWS_DEPS})
  else()
    get_filename_component(EXOGENA_WINDOWS_DEPS "${CMAKE_CURRENT_LIST_DIR}/../build/windows-deps"
                           ABSOLUTE)
  endif()
endif()
set(EXOGENA_WINDOWS_DEPS ${EXOGENA_WINDOWS_DEPS} CACHE PATH "Libraries built for Windows")

# Qt for Windows, when scripts/windows-desktop.sh has built it.
set(EXOGENA_WINDOWS_QT "" CACHE PATH "Qt built for Windows (scripts/windows-desktop.sh)")
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE} ${EXOGENA_WINDOWS_DEPS} ${EXOGENA_WINDOWS_QT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config reads only the Windows libraries' .pc files.
set(ENV{PKG_CONFIG_LIBDIR} "${EXOGENA_WINDOWS_DEPS}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")

# Programs run by CTest (test discovery, the tests themselves) go through wine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
