#!/usr/bin/env bats
# When no controller answers, each port says why, without --verbose.
load helpers

@test "a port another program holds is in use, not missing" {
    start_simulator --latency 20
    start_cli --port "$port" flash "$firmware" --yes
    await_requests 02 1
    run --separate-stderr korvane-cli --port "$port" info
    local said=$stderr info_status=$status
    signal_cli INT
    [ "$info_status" -eq 1 ]
    same "$said" "Please connect the USB device
$port: in use by another program"
}

@test "a silent port and one that answers something else are told apart" {
    for fault in "--silent:silent" "--garbage:answered something else"; do
        start_simulator "${fault%%:*}"
        run --separate-stderr korvane-cli --port "$port" info
        [ "$status" -eq 1 ]
        same "$output" ""
        same "$stderr" "Please connect the USB device
$port: ${fault#*:}"
        stop_simulator
    done
}

@test "a port this user may not open: what to do about it" {
    # In a folder every user may look into; root may open anything: nobody asks instead.
    local denied as=()
    denied=$(mktemp /tmp/korvane-port-XXXXXX)
    chmod 000 "$denied"
    [ "$(id -u)" -ne 0 ] || as=(runuser -u nobody --)
    run --separate-stderr "${as[@]}" "$KORVANE_CLI" --port "$denied" info
    rm "$denied"
    [ "$status" -eq 1 ]
    same "$stderr" "Please connect the USB device
No permission to open $denied: add yourself to the dialout group (sudo usermod -aG dialout \$USER) and log in again"
}
