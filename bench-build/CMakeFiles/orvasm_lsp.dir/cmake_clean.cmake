file(REMOVE_RECURSE
  "CMakeFiles/orvasm_lsp.dir/src/lsp/analysis.cpp.o"
  "CMakeFiles/orvasm_lsp.dir/src/lsp/analysis.cpp.o.d"
  "CMakeFiles/orvasm_lsp.dir/src/lsp/documents.cpp.o"
  "CMakeFiles/orvasm_lsp.dir/src/lsp/documents.cpp.o.d"
  "CMakeFiles/orvasm_lsp.dir/src/lsp/framing.cpp.o"
  "CMakeFiles/orvasm_lsp.dir/src/lsp/framing.cpp.o.d"
  "CMakeFiles/orvasm_lsp.dir/src/lsp/message.cpp.o"
  "CMakeFiles/orvasm_lsp.dir/src/lsp/message.cpp.o.d"
  "CMakeFiles/orvasm_lsp.dir/src/lsp/navigation.cpp.o"
  "CMakeFiles/orvasm_lsp.dir/src/lsp/navigation.cpp.o.d"
  "CMakeFiles/orvasm_lsp.dir/src/lsp/server.cpp.o"
  "CMakeFiles/orvasm_lsp.dir/src/lsp/server.cpp.o.d"
  "CMakeFiles/orvasm_lsp.dir/src/lsp/uri.cpp.o"
  "CMakeFiles/orvasm_lsp.dir/src/lsp/uri.cpp.o.d"
  "liborvasm_lsp.a"
  "liborvasm_lsp.pdb"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/orvasm_lsp.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
