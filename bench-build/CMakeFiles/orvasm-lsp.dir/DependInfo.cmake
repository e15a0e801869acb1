
# Consider dependencies only in project.
set(CMAKE_DEPENDS_IN_PROJECT_ONLY OFF)

# The set of languages for which implicit dependencies are needed:
set(CMAKE_DEPENDS_LANGUAGES
  )

# The set of dependency files which are needed:
set(CMAKE_DEPENDS_DEPENDENCY_FILES
  "/work/wt-diag/src/lsp/main.cpp" "CMakeFiles/orvasm-lsp.dir/src/lsp/main.cpp.o" "gcc" "CMakeFiles/orvasm-lsp.dir/src/lsp/main.cpp.o.d"
  )

# Targets to which this target links.
set(CMAKE_TARGET_LINKED_INFO_FILES
  "/work/wt-diag/bench-build/CMakeFiles/orvasm_lsp.dir/DependInfo.cmake"
  "/work/wt-diag/bench-build/CMakeFiles/orvasm_static.dir/DependInfo.cmake"
  )

# Fortran module output directory.
set(CMAKE_Fortran_TARGET_MODULE_DIR "")
