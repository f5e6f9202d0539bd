#!/usr/bin/env bats
# korvane-sim as the controller on a pseudo-terminal: what a command says is what the controller
# holds afterwards.
load helpers

@test "a setting reads back as written, a reset says what to do next, a port twice is one" {
    start_simulator
    transcript <<EOF
$ korvane-cli --port "$port" set speed 12
Speed Limit is updated
Speed Limit set to 12 mph
$ korvane-cli --port "$port" info --json
{"auto":false,"bootloader":"012A","config":1,"deviceId":"BEEF","port":"$port","software":7,"speedLimitMph":12}
$ korvane-cli --port "$port" reset
The device is rebooting.
Run korvane-cli info again once it is back.
$ korvane-cli --port "$port" --port "$port" --all --expect 2 info
2> Only 1 of 2 expected controllers answered ($port); nothing was written
exit 1
EOF
}

@test "a controller that echoes a write but keeps its old value is not believed: status 1" {
    start_simulator --refuse-writes
    for setting in "config 3:Config" "speed 12:Speed Limit" "auto on:Auto"; do
        run --separate-stderr korvane-cli --port "$port" set ${setting%:*}
        [ "$status" -eq 1 ]
        same "$stderr" "Could not set ${setting#*:}"
    done
}
