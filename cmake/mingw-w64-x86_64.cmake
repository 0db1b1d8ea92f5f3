# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 toolchain, the
# posix threads variant (std::thread and std::mutex, which GoogleTest uses).
# Programs are linked statically, so they run under Wine, or on Windows,
# without any MinGW DLL beside them. Only the Qt-free core is built this
# way (KT_CORE_ONLY); the whole application on Windows uses Qt's own kits.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KT_MINGW_TRIPLE x86_64-w64-mingw32)
# The -posix names, whatever the alternatives system points the plain ones at.
set(CMAKE_C_COMPILER ${KT_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KT_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KT_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KT_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libgcc, libstdc++ and winpthread go into the executable.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

# ctest runs the test programs through Wine when it is there.
find_program(KT_WINE wine)
if(KT_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${KT_WINE})
endif()
