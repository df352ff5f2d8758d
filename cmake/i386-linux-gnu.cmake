# Toolchain for the 32-bit x86 Linux build on a 64-bit Debian host with multiarch i386
# libraries and the multilib compiler:
#   cmake -S . -B build-i386 -DCMAKE_TOOLCHAIN_FILE=cmake/i386-linux-gnu.cmake
# The results run natively on the 64-bit host, so tests are run as usual.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)

# 64-bit file offsets as in the 64-bit build: files past 2 GiB can be opened, measured and
# appended to (the trace file, zqhost's file arguments) instead of failing with EOVERFLOW.
foreach(lang C CXX OBJC OBJCXX)
  set(CMAKE_${lang}_FLAGS_INIT "-m32 -D_FILE_OFFSET_BITS=64")
endforeach()
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT "-m32")
endforeach()

# Libraries and package files of the i386 architecture only, never the host's 64-bit ones.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_IGNORE_PATH /usr/lib/x86_64-linux-gnu /lib/x86_64-linux-gnu /usr/lib64 /lib64)
set(PKG_CONFIG_EXECUTABLE /usr/bin/i686-linux-gnu-pkg-config CACHE FILEPATH "pkg-config for i386")
set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/i386-linux-gnu/pkgconfig:/usr/share/pkgconfig")
