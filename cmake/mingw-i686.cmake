# Cross toolchain: 32-bit Windows (i686) with Debian's MinGW-w64 packages.
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(CMAKE_C_COMPILER   i686-w64-mingw32-gcc)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++)
set(CMAKE_RC_COMPILER  i686-w64-mingw32-windres)

# Link libgcc and libstdc++ in, so that nothing beyond Windows' own DLLs
# (KERNEL32, msvcrt, WININET) is needed at run time.
set(CMAKE_EXE_LINKER_FLAGS_INIT    "-static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")

# add_test(NAME x COMMAND <exe target>) runs the exe through Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)

# -O2 for releases: at -O3, GCC 12 reports false -Wrestrict overlaps inside
# libstdc++'s own basic_string code (GCC bug 105651), which -Werror turns
# into a failed build of perfectly ordinary string appends.
set(CMAKE_C_FLAGS_RELEASE   "-O2 -DNDEBUG" CACHE STRING "Release flags (see mingw-i686.cmake)")
set(CMAKE_CXX_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "Release flags (see mingw-i686.cmake)")
