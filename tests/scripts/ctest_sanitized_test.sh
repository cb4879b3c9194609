#!/bin/sh
# ctest_sanitized_test.sh SCRIPT CMAKE - a sanitizer report fails the run even
# when the repeat of its test passes, or when the test that printed it passed;
# a flaky test without a report is repeated and passes.
set -eu
script=$1 cmake=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A sanitized process writes its report where log_path says; these stand-ins
# do the same, as "<log_path>.<pid>".
report='f=${ASAN_OPTIONS##*log_path=}; echo "ERROR: AddressSanitizer: heap-use-after-free" >"${f%%:*}.$$"'

project() {  # project NAME TEST-SCRIPT: a CTest project with one test
    mkdir -p "$work/$1"
    printf '%s\n' "$2" >"$work/$1/t.sh"
    cat >"$work/$1/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.16)
project($1 NONE)
enable_testing()
add_test(NAME $1 COMMAND sh \${CMAKE_SOURCE_DIR}/t.sh \${CMAKE_BINARY_DIR})
CMAKE
    "$cmake" -S "$work/$1" -B "$work/$1/build" >/dev/null
}

check() {  # check NAME EXPECTED-STATUS
    status=0
    "$script" "$work/$1/build" >"$work/$1.out" 2>&1 || status=$?
    if [ "$status" != "$2" ]; then
        echo "FAIL: $1 exited $status, expected $2"
        cat "$work/$1.out"
        exit 1
    fi
    echo "ok: $1 exited $status"
}

# Fails once with a report, passes when repeated.
project report_then_pass "if [ -f \$1/once ]; then exit 0; fi; touch \$1/once; $report; exit 1"
check report_then_pass 1
grep -q 'heap-use-after-free' "$work/report_then_pass.out" || { echo "FAIL: the report is not shown"; exit 1; }

# Passes, but a process of it printed a report.
project report_in_passing_test "$report; exit 0"
check report_in_passing_test 1

# Fails once without a report (a time window closed), passes when repeated.
project flaky_without_report 'if [ -f $1/once ]; then exit 0; fi; touch $1/once; exit 1'
check flaky_without_report 0

# Fails every time.
project always_fails 'exit 1'
check always_fails 8
