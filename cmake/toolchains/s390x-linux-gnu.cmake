# s390x Linux, a big-endian machine (Debian: g++-s390x-linux-gnu, qemu-user).
set(ORVASM_TRIPLE s390x-linux-gnu)
set(ORVASM_PROCESSOR s390x)
set(ORVASM_QEMU qemu-s390x)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
