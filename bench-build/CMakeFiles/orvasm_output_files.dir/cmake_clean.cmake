file(REMOVE_RECURSE
  "CMakeFiles/orvasm_output_files.dir/src/output/output_file.cpp.o"
  "CMakeFiles/orvasm_output_files.dir/src/output/output_file.cpp.o.d"
  "CMakeFiles/orvasm_output_files.dir/src/output/source_lines.cpp.o"
  "CMakeFiles/orvasm_output_files.dir/src/output/source_lines.cpp.o.d"
  "liborvasm_output_files.a"
  "liborvasm_output_files.pdb"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/orvasm_output_files.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
