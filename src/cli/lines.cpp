#include "cli/lines.hpp"

#include <cstdio>

#include "orvasm/orvasm.h"

int report_error(const char* message, const char* detail) {
    orvasm_print_line(stderr, ORVASM_ERROR, message, detail);
    return 0;
}

void report_warning(const char* message, const char* detail) {
    orvasm_print_line(stderr, ORVASM_WARNING, message, detail);
}
