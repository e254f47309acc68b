#!/bin/sh
# The end-of-run summary read from the logs and reports of a made-up run: a
# skip inside a passing suite, a whole skipped test, a failure, a part that
# stopped before its suite reported, and the VST hosts' lines.
#   summary_test.sh SCRIPTS_FOLDER WORK_FOLDER
set -u
scripts=$1 work=$2
rm -rf "$work" && mkdir -p "$work/logs"
trap 'rm -rf "$work"' EXIT
logs=$work/logs
failures=0
expect() {  # expect TEXT: the summary has a line holding TEXT
    grep -qF -- "$1" "$work/summary" || { echo "FAIL: summary lacks: $1"; failures=$((failures + 1)); }
}

cat >"$logs/ctest-win32.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<testsuite name="win32" tests="3" failures="0" disabled="0" skipped="1">
  <testcase name="hardening_tests" status="run"><system-out>[ RUN      ] Threads.EightAtOnce
threads_test.cpp:40: Skipped
under qemu-i386 eight threads cannot start
[  SKIPPED ] Threads.EightAtOnce (0 ms)
[  PASSED  ] 11 tests.
[  SKIPPED ] 1 test, listed below:
[  SKIPPED ] Threads.EightAtOnce
</system-out></testcase>
  <testcase name="module_tests" status="run"><system-out>[  PASSED  ] 40 tests.</system-out></testcase>
  <testcase name="real_host_lmms" status="notrun"><skipped message="SKIP_RETURN_CODE=77"/>
    <system-out>SKIP: real_host_lmms: lmms is not installed</system-out></testcase>
</testsuite>
XML
echo "0 65" >"$logs/test-win32.status"
cat >"$logs/ctest-linux-x86_64.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<testsuite name="linux" tests="2" failures="1" disabled="0" skipped="0">
  <testcase name="render_tests" status="fail"><failure message=""/><system-out>boom</system-out></testcase>
  <testcase name="real_host_sox" status="run"><system-out>ok</system-out></testcase>
</testsuite>
XML
echo "2 30" >"$logs/test-linux-x86_64.status"
# The win64 tree did not build: no report at all.
echo "2 12" >"$logs/test-win64.status"
printf 'PASS: ardour scanner records name\nSKIP: lmms: not installed; make check INSTALL_TEST_HOSTS=1\n' \
    >"$logs/test-vst-hosts.log"
echo "0 40" >"$logs/test-vst-hosts.status"
printf 'SKIP: arm64 renderer: no qemu-aarch64-static\n' >"$logs/release.log"
echo "0 31" >"$logs/release.status"

"$scripts/check-summary" "$logs" test-linux-x86_64 test-win64 test-win32 test-vst-hosts release \
    >"$work/summary" 2>&1
status=$?
cat "$work/summary"
[ $status -ne 0 ] || { echo "FAIL: a failed part left the summary's exit status 0"; failures=$((failures + 1)); }
expect "linux-x86_64                 FAILED     0m30s  1 failed"
expect "exit status 2: see $logs/test-linux-x86_64.log"
expect "win64                        FAILED"
expect "exit status 2: see $logs/test-win64.log"
expect "win32                        passed     1m05s  2 passed"
expect "skipped Threads.EightAtOnce: under qemu-i386 eight threads cannot start"
expect "lmms                         skipped"
expect "skipped real_host_lmms: lmms is not installed"
expect "sox                          passed"
expect "Ardour                       passed"
expect "LMMS                         skipped"
expect "skipped lmms: not installed; make check INSTALL_TEST_HOSTS=1"
expect "skipped arm64 renderer: no qemu-aarch64-static"
expect "make check: FAILED"

# A run where all passed says so, with status 0.
echo "0 30" >"$logs/test-linux-x86_64.status"
rm "$logs/ctest-linux-x86_64.xml"
"$scripts/check-summary" "$logs" test-linux-x86_64 test-win32 >"$work/summary" 2>&1 ||
    { echo "FAIL: a passing run's summary exited non-zero"; failures=$((failures + 1)); }
expect "make check: passed"
[ $failures -eq 0 ]
