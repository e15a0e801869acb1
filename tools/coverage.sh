#!/usr/bin/env bash
# Line and branch coverage of src/ by the whole test suite (unit tests,
# end-to-end cases and worst cases), measured with gcov in build-cov and
# summarised by gcovr. Fails below 98% of lines or 90% of branches.
#
#   tools/coverage.sh            summary per file and in total
#   COVERAGE_HTML=1 tools/coverage.sh   also build-cov/coverage.html
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -B build-cov -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS="--coverage -O0" \
    -DCMAKE_EXE_LINKER_FLAGS=--coverage >/dev/null
cmake --build build-cov -j2 >/dev/null
find build-cov -name '*.gcda' -delete
ctest --test-dir build-cov -j2 --output-on-failure | tail -n 3

# Branches the compiler adds for exceptions thrown by the standard library
# (std::string, std::filesystem) are not decisions of this code.
options=(--root . --filter 'src/' --exclude-throw-branches --print-summary)
if [ -n "${COVERAGE_HTML:-}" ]; then
    options+=(--html-details build-cov/coverage.html)
fi
gcovr "${options[@]}" --fail-under-line 98 --fail-under-branch 90 build-cov
