# orvasm_system_python_check(NAME SCRIPT PACKAGE PROBE): the test NAME runs
# tools/SCRIPT on the source tree with the system's Python, which has the
# Debian module PACKAGE (not necessarily the first python3 on the path);
# PROBE is the Python that fails without it. Left out, with a note, where
# the module is missing.
function(orvasm_system_python_check name script package probe)
  find_program(SYSTEM_PYTHON3 python3 PATHS /usr/bin NO_DEFAULT_PATH)
  set(missing 1)
  if(SYSTEM_PYTHON3)
    execute_process(COMMAND ${SYSTEM_PYTHON3} -c "${probe}"
                    RESULT_VARIABLE missing OUTPUT_QUIET ERROR_QUIET)
  endif()
  if(missing EQUAL 0)
    add_test(NAME ${name} COMMAND ${SYSTEM_PYTHON3} ${PROJECT_SOURCE_DIR}/tools/${script}
                                  ${PROJECT_SOURCE_DIR})
  else()
    message(STATUS "${package} not found: ${name} is not run")
  endif()
endfunction()
