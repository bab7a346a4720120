# Cross-compiles static Linux programs and tests for another machine with Debian's cross
# compilers (g++-aarch64-linux-gnu, g++-s390x-linux-gnu) and runs them under qemu-user.
# Configure with -DVH_CROSS_MACHINE=aarch64 or s390x.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${VH_CROSS_MACHINE})
set(CMAKE_CXX_COMPILER ${VH_CROSS_MACHINE}-linux-gnu-g++)
set(CMAKE_FIND_ROOT_PATH /usr/${VH_CROSS_MACHINE}-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-${VH_CROSS_MACHINE})
# Static, so that qemu-user needs no libraries of the other machine.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
