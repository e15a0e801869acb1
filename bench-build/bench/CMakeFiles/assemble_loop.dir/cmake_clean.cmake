file(REMOVE_RECURSE
  "CMakeFiles/assemble_loop.dir/assemble_loop.c.o"
  "CMakeFiles/assemble_loop.dir/assemble_loop.c.o.d"
  "assemble_loop"
  "assemble_loop.pdb"
)

# Per-language clean rules from dependency scanning.
foreach(lang C)
  include(CMakeFiles/assemble_loop.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
