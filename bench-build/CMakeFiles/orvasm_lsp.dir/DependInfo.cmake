
# Consider dependencies only in project.
set(CMAKE_DEPENDS_IN_PROJECT_ONLY OFF)

# The set of languages for which implicit dependencies are needed:
set(CMAKE_DEPENDS_LANGUAGES
  )

# The set of dependency files which are needed:
set(CMAKE_DEPENDS_DEPENDENCY_FILES
  "/work/wt-diag/src/lsp/analysis.cpp" "CMakeFiles/orvasm_lsp.dir/src/lsp/analysis.cpp.o" "gcc" "CMakeFiles/orvasm_lsp.dir/src/lsp/analysis.cpp.o.d"
  "/work/wt-diag/src/lsp/documents.cpp" "CMakeFiles/orvasm_lsp.dir/src/lsp/documents.cpp.o" "gcc" "CMakeFiles/orvasm_lsp.dir/src/lsp/documents.cpp.o.d"
  "/work/wt-diag/src/lsp/framing.cpp" "CMakeFiles/orvasm_lsp.dir/src/lsp/framing.cpp.o" "gcc" "CMakeFiles/orvasm_lsp.dir/src/lsp/framing.cpp.o.d"
  "/work/wt-diag/src/lsp/message.cpp" "CMakeFiles/orvasm_lsp.dir/src/lsp/message.cpp.o" "gcc" "CMakeFiles/orvasm_lsp.dir/src/lsp/message.cpp.o.d"
  "/work/wt-diag/src/lsp/navigation.cpp" "CMakeFiles/orvasm_lsp.dir/src/lsp/navigation.cpp.o" "gcc" "CMakeFiles/orvasm_lsp.dir/src/lsp/navigation.cpp.o.d"
  "/work/wt-diag/src/lsp/server.cpp" "CMakeFiles/orvasm_lsp.dir/src/lsp/server.cpp.o" "gcc" "CMakeFiles/orvasm_lsp.dir/src/lsp/server.cpp.o.d"
  "/work/wt-diag/src/lsp/uri.cpp" "CMakeFiles/orvasm_lsp.dir/src/lsp/uri.cpp.o" "gcc" "CMakeFiles/orvasm_lsp.dir/src/lsp/uri.cpp.o.d"
  )

# Targets to which this target links.
set(CMAKE_TARGET_LINKED_INFO_FILES
  "/work/wt-diag/bench-build/CMakeFiles/orvasm_static.dir/DependInfo.cmake"
  )

# Fortran module output directory.
set(CMAKE_Fortran_TARGET_MODULE_DIR "")
