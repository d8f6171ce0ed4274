# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (the POSIX thread model,
# which std::thread and std::mutex need): g++-mingw-w64-x86-64-posix.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(HG_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${HG_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${HG_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${HG_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${HG_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static runtime: the programs run under Wine (or on Windows) without MinGW DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Test programs are run under Wine when one is given.
if(DEFINED ENV{HG_WINE})
    set(CMAKE_CROSSCOMPILING_EMULATOR $ENV{HG_WINE})
endif()
