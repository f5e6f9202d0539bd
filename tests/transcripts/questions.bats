#!/usr/bin/env bats
# The update question as korvane-cli asks it on a terminal: once, also for every controller at
# once; under --json on stderr, so that stdout carries the JSON alone.
load helpers

firmware="$KORVANE_SOURCE_DIR/examples/demo-firmware.hex"

# Runs the shell command ARGS... on a terminal where ANSWER is typed, unechoed; what the terminal
# shows (without carriage returns) in $output.
on_terminal() {
    local answer=$1
    shift
    run bash -c '{ sleep 0.5; echo "$0"; } | script -qec "stty -echo; $1" /dev/null' "$answer" "$*"
    output=$(tr -d '\r' <<<"$output")
}

@test "with --all the question is asked once for all, and no sends nothing" {
    start_simulator
    on_terminal Cancel "$KORVANE_CLI" --port "$port" --all flash "$firmware"
    [ "$status" -eq 1 ]
    same "$output" "1 controller answered: $port
1 controller ($port) will be erased and programmed with $firmware (software 08).
Update firmware from file Software version: 08? (1 controller) [Update/Cancel] Firmware update cancelled"
    same "$(requests | grep -c '55 03')" 0
}

@test "under --json the question goes to stderr and stdout carries the outcome alone" {
    start_simulator
    on_terminal Cancel "$KORVANE_CLI" --port "$port" --json flash "$firmware" '2>/dev/null'
    [ "$status" -eq 1 ]
    [[ "$output" =~ ^\{\"bootloader\":\"012A\",\"deviceId\":\"BEEF\",\"fileSoftware\":8,\"port\":\"[^\"]+\",\"reason\":\"Firmware\ update\ cancelled\",\"records\":99,\"recordsSkipped\":0,\"recordsWritten\":0,\"result\":\"failed\",\"seconds\":[0-9.]+,\"software\":7\}$ ]]
    on_terminal Update "$KORVANE_CLI" --port "$port" --fast --all --json flash "$firmware" '2>/dev/null'
    [ "$status" -eq 0 ]
    [[ "$output" =~ ^\{[^$'\n']*\"recordsWritten\":99,\"result\":\"ok\"[^$'\n']*\}$ ]]
}
