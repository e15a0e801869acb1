# Cross-compiles the assembler core to WebAssembly with Debian's clang and
# wasi-libc (packages clang, lld, wasi-libc, libc++-14-dev-wasm32,
# libc++abi-14-dev-wasm32, libclang-rt-14-dev-wasm32). CMake has no platform
# file for WASI, so the build names the system Generic and the top-level
# CMakeLists.txt builds only the core and the playground's module.
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR wasm32)
set(ORVASM_WASM ON CACHE BOOL "Build the WebAssembly module of the playground" FORCE)

set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_CXX_COMPILER_TARGET wasm32-wasi)
# No exceptions or run-time type information: the core uses neither, and the
# module is smaller without their tables.
set(CMAKE_CXX_FLAGS_INIT "-fno-exceptions -fno-rtti")

set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
