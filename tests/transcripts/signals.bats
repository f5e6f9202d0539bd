#!/usr/bin/env bats
# A signal ends the command with a true statement of what the controller holds, and nothing more
# is sent; work that was done by then counts as done.
load helpers

@test "a closed terminal, ^C or kill end a flash: said, status 128 + the signal, no reset" {
    for signal in HUP:129 INT:130 TERM:143; do
        start_simulator
        start_cli --port "$port" flash "$firmware" --yes
        await_requests 02 3
        signal_cli "${signal%:*}"
        [ "$status" -eq "${signal#*:}" ]
        [[ "$stderr" =~ ^Firmware\ update\ interrupted\ after\ record\ [0-9]+\ of\ 103,\ with\ record\ [0-9]+\ not\ confirmed:\ the\ controller\ has\ no\ complete\ firmware\;\ flash\ again$ ]]
        # Once a later command is answered, all that was sent before has reached the controller.
        korvane-cli --port "$port" info >/dev/null || true
        same "$(requests | grep -c '55 09')" 0
        stop_simulator
    done
}

@test "a signal after the update is complete says so, with status 0" {
    start_simulator
    start_cli --port "$port" flash "$firmware" --yes
    await_requests 09 1
    signal_cli INT
    [ "$status" -eq 0 ]
    same "$(tail -2 <<<"$stderr")" "The firmware update is complete: the device is rebooting.
Run korvane-cli info again once it is back."
}

@test "a signal after the reset was sent says it was sent, with status 0" {
    start_simulator
    start_cli --port "$port" reset
    await_requests 09 1
    signal_cli TERM
    [ "$status" -eq 0 ]
    same "$stderr" "The reset was sent: the controller is restarting.
Run korvane-cli info again once it is back."
}

@test "a signal while settings are loaded names those written, the one being written and the rest" {
    start_simulator
    in_fresh_folder
    korvane-cli --port "$port" settings save bike.json
    sed -i -e 's/"auto": false/"auto": true/' -e 's/"config": 1/"config": 2/' \
        -e 's/"speedLimitMph": 19/"speedLimitMph": 12/' bike.json
    start_cli --port "$port" settings load bike.json
    # The second write is Config's.
    await_requests 05 2
    signal_cli INT
    [ "$status" -eq 130 ]
    same "$stderr" "Interrupted while the settings were loaded:
Auto is updated
Config was being written: the controller may not hold it
Not written: Speed Limit
Run korvane-cli info to see what the controller holds."
}

@test "a signal while a setting is written: the controller may not hold it, status 130" {
    # It never answers the write: the signal comes while the answer is awaited.
    start_simulator --unanswered 05
    start_cli --port "$port" set auto on
    await_requests 05 1
    signal_cli INT
    [ "$status" -eq 130 ]
    same "$stderr" "Interrupted while a setting was written: the controller may not hold it; run korvane-cli info to see"
}
