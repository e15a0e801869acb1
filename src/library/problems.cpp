// Which diagnostics an editor shows, one per mistake: the rule the language
// server and the playground both ask for. Each warning is a problem; a
// failure is one, headed by its first error line, the innermost cause, as
// each enclosing token adds its own line after it.
#include <cstdint>

#include "library/result.hpp"

namespace {

bool is_problem(const orvasm_result& result, const ProblemCursor& cursor, std::size_t record) {
    return record == cursor.first_error ||
           result.diagnostics.slot(record)->severity == ORVASM_WARNING;
}

// Counts the problems again when lines were added since the last count.
ProblemCursor& counted(const orvasm_result& constant) {
    // Only the cache changes; results are only ever made writable.
    auto& result = const_cast<orvasm_result&>(constant);
    ProblemCursor& cursor = result.problems;
    std::size_t lines = result.diagnostics.count;
    if (cursor.lines == lines && lines != 0) return cursor;
    cursor = {lines, 0, SIZE_MAX, SIZE_MAX, 0};
    for (std::size_t i = 0; i < lines; i++) {
        int severity = result.diagnostics.slot(i)->severity;
        if (severity == ORVASM_ERROR && cursor.first_error == SIZE_MAX) cursor.first_error = i;
        if (is_problem(result, cursor, i)) cursor.count++;
    }
    return cursor;
}

std::size_t next_problem(const orvasm_result& result, const ProblemCursor& cursor,
                         std::size_t record) {
    while (!is_problem(result, cursor, record)) record++;
    return record;
}

} // namespace

extern "C" {

ORVASM_API size_t orvasm_result_problem_count(const orvasm_result* result) {
    return result ? counted(*result).count : 0;
}

ORVASM_API size_t orvasm_result_problem(const orvasm_result* result, size_t index) {
    if (!result) return 0;
    ProblemCursor& cursor = counted(*result);
    if (index >= cursor.count) return result->diagnostics.count;
    // From the last problem asked for when it is not past this one.
    if (cursor.index == SIZE_MAX || cursor.index > index) {
        cursor.index = 0;
        cursor.record = next_problem(*result, cursor, 0);
    }
    for (; cursor.index < index; cursor.index++)
        cursor.record = next_problem(*result, cursor, cursor.record + 1);
    return cursor.record;
}

} // extern "C"
