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

@test "with --all, a command's own --json gives a line for each controller, with its result" {
    start_simulator
    run --separate-stderr korvane-cli --port "$port" --all info --json
    [ "$status" -eq 0 ]
    same "$(without_seconds)" '{"auto":false,"bootloader":"012A","config":1,"deviceId":"BEEF","port":"'"$port"'","result":"ok","software":7,"speedLimitMph":19}'
}

@test "--expect not met: one object saying who answered and who did not" {
    run --separate-stderr korvane-cli --demo --all --expect 2 --json set auto on
    [ "$status" -eq 1 ]
    same "$output" '{"answered":["/dev/ttyDEMO0"],"reason":"Only 1 of 2 expected controllers answered (/dev/ttyDEMO0); nothing was written","result":"failed","unanswered":["/dev/ttyDEMO1: silent"]}'
}

@test "a flash interrupted by a signal: one object saying interrupted and where" {
    start_simulator --latency 20
    start_cli --port "$port" --json flash "$firmware" --yes
    # Well into programming: the erase and a few records are done.
    await_requests 02 3
    signal_cli TERM
    [ "$status" -eq 143 ]
    local expected='^\{"bootloader":"012A","deviceId":"BEEF","fileSoftware":8,"port":"[^"]+","reason":"Firmware update interrupted after record [0-9]+ of 103, with record [0-9]+ not confirmed: the controller has no complete firmware; flash again","records":99,"recordsSkipped":0,"recordsWritten":[0-9]+,"result":"interrupted","software":7\}$'
    [[ "$(without_seconds)" =~ $expected ]]
}

@test "several controllers interrupted: a line for each" {
    start_simulator --latency 20
    start_cli --port "$port" --all --json flash "$firmware" --yes
    await_requests 02 3
    signal_cli INT
    [ "$status" -eq 130 ]
    [ "$(wc -l <<<"$output")" -eq 1 ]
    [[ "$output" == *'"result":"interrupted"'* ]]
    [[ "$output" == *'"reason":"Firmware update interrupted after record '* ]]
}

# `korvane-cli --json ARGS...` refuses with status 2, REASON as JSON on stdout alone.
refused_as_json() {
    run --separate-stderr korvane-cli --port "$port" --json "${@:2}"
    [ "$status" -eq 2 ]
    same "$output" "{\"reason\":\"$1\",\"result\":\"failed\"}"
    same "$stderr" ""
}

@test "wrong usage or an unusable file: the reason as JSON, status 2, nothing sent" {
    start_simulator
    in_fresh_folder
    printf ':0400000001020304F3\n:00000001FF\n' >broken.hex
    echo '{' >broken.json
    echo kept >kept.json
    refused_as_json 'korvane-cli: the speed in mph must be a whole number from 1 to 30, not \"99\"' \
        set speed 99
    refused_as_json "Invalid firmware file broken.hex: line 1: checksum F3, should be F2" \
        flash broken.hex --yes
    refused_as_json "Invalid settings file broken.json: is not JSON: unterminated object at character 2" \
        settings load broken.json
    refused_as_json "kept.json exists already: add --force to replace it" settings save kept.json
    same "$(requests)" ""
}
