file(REMOVE_RECURSE
  "CMakeFiles/measure.dir/measure.c.o"
  "CMakeFiles/measure.dir/measure.c.o.d"
  "measure"
  "measure.pdb"
)

# Per-language clean rules from dependency scanning.
foreach(lang C)
  include(CMakeFiles/measure.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
