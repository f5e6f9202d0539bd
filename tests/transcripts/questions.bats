#!/usr/bin/env bats
# The update question as korvane-cli asks it on a terminal: once, also for every controller at
# once; under --json on stderr, so that stdout carries the JSON alone.
load helpers

# Runs the shell command ARGS... on a terminal, where KEYS (as printf's %b reads them: \n is Enter,
# \003 ^C) are typed, unechoed, once the question is shown; what the terminal shows (without
# carriage returns) in $output.
on_terminal() {
    local typed=$1 keys shown
    shift
    mkfifo "$BATS_TEST_TMPDIR/keys"
    : >"$BATS_TEST_TMPDIR/screen"
    script -qec "stty -echo; exec $*" /dev/null <"$BATS_TEST_TMPDIR/keys" >"$BATS_TEST_TMPDIR/screen" &
    shown=$!
    exec {keys}>"$BATS_TEST_TMPDIR/keys"
    await_text "[Update/Cancel]" screen
    printf %b "$typed" >&"$keys"
    exec {keys}>&-
    rm "$BATS_TEST_TMPDIR/keys"
    status=0
    wait "$shown" || status=$?
    output=$(tr -d '\r' <"$BATS_TEST_TMPDIR/screen")
}

@test "the question names the file, the port and the software; no is status 1, and ^C 130" {
    start_simulator
    for answer in 'Cancel\n:1' '\003:130'; do
        on_terminal "${answer%:*}" "$KORVANE_CLI" --port "$port" flash "$firmware"
        [ "$status" -eq "${answer#*:}" ]
        same "$output" "The controller on $port (software 07) will be erased and programmed with $firmware (software 08).
Update firmware from file Software version: 08? [Update/Cancel] Firmware update cancelled"
    done
    same "$(requests | grep -c '55 03')" 0
}

@test "with --all the question is asked once for all, and no sends nothing" {
    start_simulator
    on_terminal 'Cancel\n' "$KORVANE_CLI" --port "$port" --all flash "$firmware"
    [ "$status" -eq 1 ]
    same "$output" "1 controller answered: $port
1 controller ($port) will be erased and programmed with $firmware (software 08).
Update firmware from file Software version: 08? (1 controller) [Update/Cancel] Firmware update cancelled"
    same "$(requests | grep -c '55 03')" 0
}

@test "under --json the question goes to stderr and stdout carries the outcome alone" {
    start_simulator
    on_terminal 'Cancel\n' "$KORVANE_CLI" --port "$port" --json flash "$firmware" ">$BATS_TEST_TMPDIR/json"
    [ "$status" -eq 1 ]
    [[ "$(<"$BATS_TEST_TMPDIR/json")" =~ ^\{\"bootloader\":\"012A\",\"deviceId\":\"BEEF\",\"fileSoftware\":8,\"port\":\"[^\"]+\",\"reason\":\"Firmware\ update\ cancelled\",\"records\":99,\"recordsSkipped\":0,\"recordsWritten\":0,\"result\":\"failed\",\"seconds\":[0-9.]+,\"software\":7\}$ ]]
    on_terminal 'Update\n' "$KORVANE_CLI" --port "$port" --fast --all --json flash "$firmware" ">$BATS_TEST_TMPDIR/json"
    [ "$status" -eq 0 ]
    [[ "$(<"$BATS_TEST_TMPDIR/json")" =~ ^\{[^$'\n']*\"recordsWritten\":99,\"result\":\"ok\"[^$'\n']*\}$ ]]
}
