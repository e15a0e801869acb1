# What the Linux cross toolchains share: the compilers of Debian's
# g++-TRIPLE-linux-gnu package, the target's libraries under /usr/TRIPLE,
# and qemu-user to run what is built (CTest and gtest_discover_tests start
# every test program through CMAKE_CROSSCOMPILING_EMULATOR). The including
# file sets ORVASM_TRIPLE, ORVASM_PROCESSOR and ORVASM_QEMU first.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${ORVASM_PROCESSOR})
set(CMAKE_C_COMPILER /usr/bin/${ORVASM_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER /usr/bin/${ORVASM_TRIPLE}-g++)
set(CMAKE_FIND_ROOT_PATH /usr/${ORVASM_TRIPLE})
include(${CMAKE_CURRENT_LIST_DIR}/find_programs.cmake)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${ORVASM_QEMU} -L /usr/${ORVASM_TRIPLE})
