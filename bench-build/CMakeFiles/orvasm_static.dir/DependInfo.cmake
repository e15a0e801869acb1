
# Consider dependencies only in project.
set(CMAKE_DEPENDS_IN_PROJECT_ONLY OFF)

# The set of languages for which implicit dependencies are needed:
set(CMAKE_DEPENDS_LANGUAGES
  )

# The set of dependency files which are needed:
set(CMAKE_DEPENDS_DEPENDENCY_FILES
  "/work/wt-diag/src/assembler/comments.cpp" "CMakeFiles/orvasm_static.dir/src/assembler/comments.cpp.o" "gcc" "CMakeFiles/orvasm_static.dir/src/assembler/comments.cpp.o.d"
  "/work/wt-diag/src/assembler/dispatch.cpp" "CMakeFiles/orvasm_static.dir/src/assembler/dispatch.cpp.o" "gcc" "CMakeFiles/orvasm_static.dir/src/assembler/dispatch.cpp.o.d"
  "/work/wt-diag/src/assembler/hints.cpp" "CMakeFiles/orvasm_static.dir/src/assembler/hints.cpp.o" "gcc" "CMakeFiles/orvasm_static.dir/src/assembler/hints.cpp.o.d"
  "/work/wt-diag/src/assembler/image.cpp" "CMakeFiles/orvasm_static.dir/src/assembler/image.cpp.o" "gcc" "CMakeFiles/orvasm_static.dir/src/assembler/image.cpp.o.d"
  "/work/wt-diag/src/assembler/labels.cpp" "CMakeFiles/orvasm_static.dir/src/assembler/labels.cpp.o" "gcc" "CMakeFiles/orvasm_static.dir/src/assembler/labels.cpp.o.d"
  "/work/wt-diag/src/assembler/locations.cpp" "CMakeFiles/orvasm_static.dir/src/assembler/locations.cpp.o" "gcc" "CMakeFiles/orvasm_static.dir/src/assembler/locations.cpp.o.d"
  "/work/wt-diag/src/assembler/macros.cpp" "CMakeFiles/orvasm_static.dir/src/assembler/macros.cpp.o" "gcc" "CMakeFiles/orvasm_static.dir/src/assembler/macros.cpp.o.d"
  "/work/wt-diag/src/assembler/references.cpp" "CMakeFiles/orvasm_static.dir/src/assembler/references.cpp.o" "gcc" "CMakeFiles/orvasm_static.dir/src/assembler/references.cpp.o.d"
  "/work/wt-diag/src/assembler/reset.cpp" "CMakeFiles/orvasm_static.dir/src/assembler/reset.cpp.o" "gcc" "CMakeFiles/orvasm_static.dir/src/assembler/reset.cpp.o.d"
  "/work/wt-diag/src/assembler/token_reader.cpp" "CMakeFiles/orvasm_static.dir/src/assembler/token_reader.cpp.o" "gcc" "CMakeFiles/orvasm_static.dir/src/assembler/token_reader.cpp.o.d"
  "/work/wt-diag/src/common/diagnostics.cpp" "CMakeFiles/orvasm_static.dir/src/common/diagnostics.cpp.o" "gcc" "CMakeFiles/orvasm_static.dir/src/common/diagnostics.cpp.o.d"
  "/work/wt-diag/src/common/file_identity.cpp" "CMakeFiles/orvasm_static.dir/src/common/file_identity.cpp.o" "gcc" "CMakeFiles/orvasm_static.dir/src/common/file_identity.cpp.o.d"
  "/work/wt-diag/src/common/text.cpp" "CMakeFiles/orvasm_static.dir/src/common/text.cpp.o" "gcc" "CMakeFiles/orvasm_static.dir/src/common/text.cpp.o.d"
  "/work/wt-diag/src/library/accessors.cpp" "CMakeFiles/orvasm_static.dir/src/library/accessors.cpp.o" "gcc" "CMakeFiles/orvasm_static.dir/src/library/accessors.cpp.o.d"
  "/work/wt-diag/src/library/assemble.cpp" "CMakeFiles/orvasm_static.dir/src/library/assemble.cpp.o" "gcc" "CMakeFiles/orvasm_static.dir/src/library/assemble.cpp.o.d"
  "/work/wt-diag/src/library/records.cpp" "CMakeFiles/orvasm_static.dir/src/library/records.cpp.o" "gcc" "CMakeFiles/orvasm_static.dir/src/library/records.cpp.o.d"
  "/work/wt-diag/src/library/sources.cpp" "CMakeFiles/orvasm_static.dir/src/library/sources.cpp.o" "gcc" "CMakeFiles/orvasm_static.dir/src/library/sources.cpp.o.d"
  "/work/wt-diag/src/library/storage.cpp" "CMakeFiles/orvasm_static.dir/src/library/storage.cpp.o" "gcc" "CMakeFiles/orvasm_static.dir/src/library/storage.cpp.o.d"
  "/work/wt-diag/src/output/depfile_writer.cpp" "CMakeFiles/orvasm_static.dir/src/output/depfile_writer.cpp.o" "gcc" "CMakeFiles/orvasm_static.dir/src/output/depfile_writer.cpp.o.d"
  "/work/wt-diag/src/output/listing_writer.cpp" "CMakeFiles/orvasm_static.dir/src/output/listing_writer.cpp.o" "gcc" "CMakeFiles/orvasm_static.dir/src/output/listing_writer.cpp.o.d"
  "/work/wt-diag/src/output/report.cpp" "CMakeFiles/orvasm_static.dir/src/output/report.cpp.o" "gcc" "CMakeFiles/orvasm_static.dir/src/output/report.cpp.o.d"
  "/work/wt-diag/src/output/symbol_writer.cpp" "CMakeFiles/orvasm_static.dir/src/output/symbol_writer.cpp.o" "gcc" "CMakeFiles/orvasm_static.dir/src/output/symbol_writer.cpp.o.d"
  )

# Targets to which this target links.
set(CMAKE_TARGET_LINKED_INFO_FILES
  )

# Fortran module output directory.
set(CMAKE_Fortran_TARGET_MODULE_DIR "")
