# Cross-build for 64-bit Windows with Debian's mingw-w64 (package g++-mingw-w64-x86-64):
#   cmake -S . -B build/windows-mingw -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DQLDIXW_GUI=OFF
# The serial component and the port list alone, without Qt; scripts/build-windows.sh
# builds the whole console with the toolchain of Qt for Windows instead.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QLDIXW_MINGW_TRIPLET x86_64-w64-mingw32)

# The posix thread model: GCC 12's win32 model has no std::thread or std::mutex.
find_program(CMAKE_CXX_COMPILER NAMES ${QLDIXW_MINGW_TRIPLET}-g++-posix REQUIRED)
find_program(CMAKE_C_COMPILER NAMES ${QLDIXW_MINGW_TRIPLET}-gcc-posix REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${QLDIXW_MINGW_TRIPLET}-windres)

# Headers, libraries and CMake packages come from the Windows side only, so the Linux
# Qt is never taken for a Windows one.
set(CMAKE_FIND_ROOT_PATH /usr/${QLDIXW_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The compiler's runtime (libstdc++, libgcc, winpthread) linked in: a program runs on a
# machine, or under Wine, without the compiler's DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
