# ARM64 Linux (Debian: g++-aarch64-linux-gnu, qemu-user).
set(ORVASM_TRIPLE aarch64-linux-gnu)
set(ORVASM_PROCESSOR aarch64)
set(ORVASM_QEMU qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
