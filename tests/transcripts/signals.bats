#!/usr/bin/env bats
# A signal ends the command with a true statement of what the controller holds, and nothing more
# is sent; work that was done by then counts as done.
load helpers

firmware="$KORVANE_SOURCE_DIR/examples/demo-firmware.hex"

@test "a closed terminal (SIGHUP) ends a flash as SIGTERM does: said, status 129, no reset" {
    start_simulator
    start_cli --port "$port" flash "$firmware" --yes
    await_requests 02 3
    signal_cli HUP
    [ "$status" -eq 129 ]
    [[ "$stderr" =~ Firmware\ update\ interrupted\ after\ record\ [0-9]+\ of\ 103:\ the\ controller\ has\ no\ complete\ firmware\;\ flash\ again$ ]]
    sleep 1.2
    same "$(requests | grep -c '55 09')" 0
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

@test "the question names the file, the port and the software, and no is status 1" {
    start_simulator
    run bash -c 'echo Cancel | script -qec "$0 --port $1 flash $2" /dev/null' \
        "$KORVANE_CLI" "$port" "$firmware"
    [ "$status" -eq 1 ]
    [[ "$(tr -d '\r' <<<"$output")" == *"The controller on $port (software 07) will be erased and programmed with $firmware (software 08).
Update firmware from file Software version: 08? [Update/Cancel] Firmware update cancelled"* ]]
    same "$(requests | grep -c '55 03')" 0
}
