file(REMOVE_RECURSE
  "CMakeFiles/orvasm.dir/src/cli/main.cpp.o"
  "CMakeFiles/orvasm.dir/src/cli/main.cpp.o.d"
  "CMakeFiles/orvasm.dir/src/cli/options.cpp.o"
  "CMakeFiles/orvasm.dir/src/cli/options.cpp.o.d"
  "orvasm"
  "orvasm.pdb"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/orvasm.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
