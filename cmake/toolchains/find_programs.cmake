# The cross toolchains look for programs under the target's root only, where
# there are none: the tests that would drive a tool of this machine (python3,
# make, Neovim) against the target's program are left out with their notes.
# The build tool itself is this machine's.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM ONLY)
if(CMAKE_GENERATOR MATCHES "Ninja")
  find_program(CMAKE_MAKE_PROGRAM NAMES ninja-build ninja NO_CMAKE_FIND_ROOT_PATH)
elseif(CMAKE_GENERATOR MATCHES "Makefiles")
  find_program(CMAKE_MAKE_PROGRAM NAMES gmake make NO_CMAKE_FIND_ROOT_PATH)
endif()
