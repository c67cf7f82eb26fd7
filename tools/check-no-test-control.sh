#!/usr/bin/env bash
# Checks that a build of the program holds none of the Win32 layer's test machinery
# (tests/support/win32/: the journal, injected failures, drops and holds, listing counts), whose
# every symbol lives in win32::test_control: the program links the layer's no-op hooks in its
# place, so that its disk writes take no lock of the tests' and keep nothing. The program must
# keep its symbols; the layer's hooks among them show that it does.
# Usage: tools/check-no-test-control.sh PROGRAM
set -euo pipefail

program=$1

fail() {
    echo "check-no-test-control: $*" >&2
    exit 1
}

symbols=$(nm -C --defined-only "$program" 2>/dev/null) || fail "nm cannot read $program"
grep -q 'win32::hooks::before(' <<<"$symbols" \
    || fail "$program has no symbol of the layer's hooks: stripped, or not the program?"
machinery=$(grep -E 'test_control|journal' <<<"$symbols" || true)
[ -z "$machinery" ] || fail "$program holds the layer's test machinery:
$machinery"
echo "check-no-test-control: $program holds none of the layer's test machinery"
