file(REMOVE_RECURSE
  "CMakeFiles/scan_floor.dir/scan_floor.c.o"
  "CMakeFiles/scan_floor.dir/scan_floor.c.o.d"
  "scan_floor"
  "scan_floor.pdb"
)

# Per-language clean rules from dependency scanning.
foreach(lang C)
  include(CMakeFiles/scan_floor.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
