#----------------------------------------------------------------
# Generated CMake target import file for configuration "Release".
#----------------------------------------------------------------

# Commands may need to know the format version.
set(CMAKE_IMPORT_FILE_VERSION 1)

# Import target "orvasm::orvasm_static" for configuration "Release"
set_property(TARGET orvasm::orvasm_static APPEND PROPERTY IMPORTED_CONFIGURATIONS RELEASE)
set_target_properties(orvasm::orvasm_static PROPERTIES
  IMPORTED_LINK_INTERFACE_LANGUAGES_RELEASE "CXX"
  IMPORTED_LOCATION_RELEASE "${_IMPORT_PREFIX}/lib/liborvasm.a"
  )

list(APPEND _cmake_import_check_targets orvasm::orvasm_static )
list(APPEND _cmake_import_check_files_for_orvasm::orvasm_static "${_IMPORT_PREFIX}/lib/liborvasm.a" )

# Import target "orvasm::orvasm" for configuration "Release"
set_property(TARGET orvasm::orvasm APPEND PROPERTY IMPORTED_CONFIGURATIONS RELEASE)
set_target_properties(orvasm::orvasm PROPERTIES
  IMPORTED_LOCATION_RELEASE "${_IMPORT_PREFIX}/lib/liborvasm.so.1.2.0"
  IMPORTED_SONAME_RELEASE "liborvasm.so.1"
  )

list(APPEND _cmake_import_check_targets orvasm::orvasm )
list(APPEND _cmake_import_check_files_for_orvasm::orvasm "${_IMPORT_PREFIX}/lib/liborvasm.so.1.2.0" )

# Commands beyond this point should not need to know the version.
set(CMAKE_IMPORT_FILE_VERSION)
