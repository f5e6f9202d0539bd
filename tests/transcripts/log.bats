#!/usr/bin/env bats
# What --verbose writes to stderr: the log, each event once.
load helpers

# The log's lines without their time, process id and line ends, and without blank lines.
log_lines() {
    sed -E 's/^[0-9-]+ [0-9:.]+ korvane-cli\[[0-9]+\] //' <<<"$stderr" | tr -d '\r' | grep -v '^$'
}

@test "a port that cannot be opened is logged once, with the reason" {
    run --separate-stderr korvane-cli --verbose --port "$BATS_TEST_TMPDIR/no-port" info
    [ "$status" -eq 1 ]
    same "$(log_lines)" "didEncounterError $BATS_TEST_TMPDIR/no-port: No such file or directory
Device $BATS_TEST_TMPDIR/no-port Not opened
Please connect the USB device
$BATS_TEST_TMPDIR/no-port: could not be opened (No such file or directory)"
}

@test "a controller that restarts is logged losing its line once" {
    start_simulator
    run --separate-stderr korvane-cli --verbose --port "$port" reset
    [ "$status" -eq 0 ]
    [ "$(log_lines | grep -c '^didEncounterError ')" -eq 1 ]
    [ "$(log_lines | grep -c '^serialPortWasClosed$')" -eq 1 ]
}
