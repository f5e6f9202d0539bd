#!/usr/bin/env bats
# --demo: a built-in controller on /dev/ttyDEMO0, beside a silent /dev/ttyDEMO1, to try the
# commands on without hardware. Each run meets it fresh; without --verbose stderr stays quiet.
load helpers

tab=$'\t'

@test "the built-in controller answers every command" {
    transcript <<EOF
$ korvane-cli --demo info
Connected. Bootloader: 012A, Device ID: BEEF, Soft: 07
Port: /dev/ttyDEMO0
Automatic mode: off
Configuration: 1
Speed limit: 19 mph
$ korvane-cli --demo info --json
{"auto":false,"bootloader":"012A","config":1,"deviceId":"BEEF","port":"/dev/ttyDEMO0","software":7,"speedLimitMph":19}
$ korvane-cli --demo ports
/dev/ttyDEMO0${tab}ttyDEMO0${tab}1209:4b56
/dev/ttyDEMO1${tab}ttyDEMO1${tab}0a12:0001
$ korvane-cli --demo ports --json
[{"name":"ttyDEMO0","path":"/dev/ttyDEMO0","usbIds":"1209:4b56"},{"name":"ttyDEMO1","path":"/dev/ttyDEMO1","usbIds":"0a12:0001"}]
$ korvane-cli --demo set auto on
Auto is updated
$ korvane-cli --demo set auto off
Auto is already off
$ korvane-cli --demo set config 3
Config is updated
$ korvane-cli --demo --fast set config 2
Config is updated
$ korvane-cli --demo set speed 50 --kmh
Speed Limit is updated
Speed Limit set to 30 mph (48 km/h)
EOF
}
