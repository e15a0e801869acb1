#!/usr/bin/env bash
# Checks that every message the program can print is shown by at least one
# end-to-end case: each literal passed to report_error, report_warning,
# report_line or the driver's fail(), and each message a function returns
# for report_error, must occur in the "--- stderr" section of some
# tests/cases/*.case file. Prints the messages no case shows and fails.
set -euo pipefail
cd "$(dirname "$0")/.."

# The standard error every case expects, all cases together.
expected=$(awk '/^--- /{inside = ($2 == "stderr"); next} inside' tests/cases/*.case)

# One line per message as a case would show it. A call may be split over
# lines, so each file is read as one line; a format stops at its first "%".
messages() {
    local file text
    for file in $(find src -name '*.cpp' | sort); do
        text=$(tr '\n' ' ' <"$file")
        # report_error("Message", "detail") and fail(...): both literals.
        grep -oP '(report_error|fail)\(\s*"[^"]*",\s*"[^"]*"\)' <<<"$text" |
            sed -E 's/^[a-z_]+\(\s*"([^"]*)",\s*"([^"]*)"\)$/\1: \2/' || true
        # report_error("Message", name): the message and its separator.
        grep -oP '(report_error|fail)\(\s*"[^"]*",\s*[^"\s]' <<<"$text" |
            sed -E 's/^[a-z_]+\(\s*"([^"]*)".*/\1: /' || true
        # Messages chosen by a function and passed on to report_error.
        grep -oP 'return\s+"[^"]*";' <<<"$text" | sed -E 's/^return\s+"([^"]*)";$/\1: /' || true
        # Warnings print "-- " before their format.
        grep -oP 'report_warning\(\s*"[^"%]*' <<<"$text" | sed -E 's/^report_warning\(\s*"/-- /' || true
        grep -oP 'report_line\(\s*"[^"%]*' <<<"$text" | sed -E 's/^report_line\(\s*"//' || true
    done
}

count=0
missing=0
while IFS= read -r message; do
    count=$((count + 1))
    if ! grep -qF -- "$message" <<<"$expected"; then
        echo "no case shows: '$message'"
        missing=$((missing + 1))
    fi
done < <(messages | sort -u)

if [ "$count" -lt 30 ]; then
    echo "found only $count messages in src/; the patterns above no longer match the code"
    exit 1
fi
if [ "$missing" -ne 0 ]; then
    echo "$missing of $count messages are shown by no case"
    exit 1
fi
echo "all $count messages are shown by the cases"
