#!/usr/bin/env bats
# When no controller answers, each port says why, without --verbose.
load helpers

@test "a port another program holds is in use, not missing" {
    start_simulator --latency 20
    start_cli --port "$port" flash "$KORVANE_SOURCE_DIR/examples/demo-firmware.hex" --yes
    await_requests 02 1
    run --separate-stderr korvane-cli --port "$port" info
    local said=$stderr info_status=$status
    signal_cli INT
    [ "$info_status" -eq 1 ]
    same "$said" "Please connect the USB device
$port: in use by another program"
}

@test "a silent port and one that answers something else are told apart" {
    start_simulator --silent
    run --separate-stderr korvane-cli --port "$port" info
    [ "$status" -eq 1 ]
    same "$stderr" "Please connect the USB device
$port: silent"
    stop_simulator
    start_simulator --garbage
    run --separate-stderr korvane-cli --port "$port" info
    same "$stderr" "Please connect the USB device
$port: answered something else"
}
