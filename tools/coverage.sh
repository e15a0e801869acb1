#!/usr/bin/env bash
# Line and branch coverage of src/ by the whole test suite (unit tests,
# end-to-end cases and worst cases), measured with gcov in build-cov and
# summarised by gcovr. Fails below 98% of lines or 95% of branches.
#
# A branch no test can take is marked where it stands, with its reason:
# GCOVR_EXCL_BR_LINE on its line, or GCOVR_EXCL_BR_START and _STOP around
# it. Such are the failures of an allocation, which the tests cannot make
# fail; defensive checks that no input reaches; the default a compiler adds
# to a switch with a case for every value. A branch a test could take is
# never marked.
#
#   tools/coverage.sh            summary per file and in total
#   COVERAGE_HTML=1 tools/coverage.sh   also build-cov/coverage.html
set -euo pipefail
cd "$(dirname "$0")/.."

# The coverage preset of CMakePresets.json: Debug, --coverage -O0, -Werror.
cmake --preset coverage >/dev/null
cmake --build --preset coverage >/dev/null
find build-cov -name '*.gcda' -delete
# A test that runs the program under a small file-size limit also stops it
# writing its counts; the complaint would land in the standard error that the
# test compares, so it goes elsewhere (those counts are lost, no others).
GCOV_ERROR_FILE=/dev/null ctest --preset coverage | tail -n 3

# Branches the compiler adds for exceptions thrown by the standard library
# (std::string, std::filesystem) are not decisions of this code.
options=(--root . --filter 'src/' --exclude-throw-branches --print-summary)
if [ -n "${COVERAGE_HTML:-}" ]; then
    options+=(--html-details build-cov/coverage.html)
fi
gcovr "${options[@]}" --fail-under-line 98 --fail-under-branch 95 build-cov
