// The program's own lines about its options and the files it writes, to
// standard error, printed by the library as it prints an assembly's lines.
#pragma once

// Prints "MESSAGE: DETAIL" and returns 0.
int report_error(const char* message, const char* detail);

// Prints "-- MESSAGE: DETAIL".
void report_warning(const char* message, const char* detail);
