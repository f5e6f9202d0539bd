#!/usr/bin/env bats
# With --json, stdout carries JSON on every path, also when the command fails or is interrupted:
# a script never reads an empty stdout.
load helpers

# The seconds a run took vary; the rest is exact.
without_seconds() { sed -E 's/"seconds":[0-9.]+,?//' <<<"$output"; }

@test "no controller: the reason and why each port did not answer" {
    run --separate-stderr korvane-cli --demo --port /dev/ttyDEMO1 info --json
    [ "$status" -eq 1 ]
    same "$(without_seconds)" '{"reason":"Please connect the USB device","result":"failed","unanswered":["/dev/ttyDEMO1: silent"]}'
    same "$stderr" "Please connect the USB device
/dev/ttyDEMO1: silent"
}

@test "--expect not met: one object saying who answered and who did not" {
    run --separate-stderr korvane-cli --demo --all --expect 2 --json set auto on
    [ "$status" -eq 1 ]
    same "$output" '{"answered":["/dev/ttyDEMO0"],"reason":"Only 1 of 2 expected controllers answered (/dev/ttyDEMO0); nothing was written","result":"failed","unanswered":["/dev/ttyDEMO1: silent"]}'
}

@test "a flash interrupted by a signal: one object saying interrupted and where" {
    start_simulator --latency 20
    "$KORVANE_CLI" --port "$port" --json flash "$KORVANE_SOURCE_DIR/examples/demo-firmware.hex" --yes \
        >"$BATS_TEST_TMPDIR/out" 2>"$BATS_TEST_TMPDIR/err" &
    local cli=$!
    # Well into programming: the erase and a few records are done.
    until [ "$(requests | grep -c '55 02')" -ge 3 ]; do sleep 0.05; done
    kill -TERM "$cli"
    wait "$cli" || status=$?
    [ "$status" -eq 143 ]
    run cat "$BATS_TEST_TMPDIR/out"
    local expected='^\{"bootloader":"012A","deviceId":"BEEF","fileSoftware":8,"port":"[^"]+","reason":"Firmware update interrupted after record [0-9]+ of 103: the controller has no complete firmware; flash again","records":99,"recordsSkipped":0,"recordsWritten":[0-9]+,"result":"interrupted","software":7\}$'
    [[ "$(without_seconds)" =~ $expected ]]
}

@test "several controllers interrupted: a line for each" {
    start_simulator --latency 20
    "$KORVANE_CLI" --port "$port" --all --json flash "$KORVANE_SOURCE_DIR/examples/demo-firmware.hex" --yes \
        >"$BATS_TEST_TMPDIR/out" 2>"$BATS_TEST_TMPDIR/err" &
    local cli=$!
    until [ "$(requests | grep -c '55 02')" -ge 3 ]; do sleep 0.05; done
    kill -INT "$cli"
    wait "$cli" || status=$?
    [ "$status" -eq 130 ]
    run cat "$BATS_TEST_TMPDIR/out"
    [ "${#lines[@]}" -eq 1 ]
    [[ "$output" == *'"result":"interrupted"'* ]]
    [[ "$output" == *'"reason":"Firmware update interrupted after record '* ]]
}
