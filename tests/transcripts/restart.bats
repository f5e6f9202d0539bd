#!/usr/bin/env bats
# After a flash the restarted controller is waited for: seen back, not back within the limit
# (status 3), or, with --wait-back 0, not waited for at all.
load helpers

@test "back: its identity and the software it runs now, after the whole file" {
    start_simulator --back-after 1500
    run --separate-stderr korvane-cli --port "$port" flash "$firmware" --yes
    [ "$status" -eq 0 ]
    same "$stderr" ""
    same "${lines[-3]}" "Programmed 103 of 103 records (100%)"
    same "${lines[-2]}" "The device is rebooting; waiting up to 15 s for it to come back"
    [[ "${lines[-1]}" =~ ^Back\ after\ [0-9]\.[0-9]\ s:\ Bootloader:\ 012A,\ Device\ ID:\ BEEF,\ Soft:\ 08$ ]]
}

@test "a controller that never comes back: said, and status 3" {
    start_simulator --never-back
    run --separate-stderr korvane-cli --port "$port" --fast flash "$firmware" --yes --wait-back 2
    [ "$status" -eq 3 ]
    same "${lines[-1]}" "The device is rebooting; waiting up to 2 s for it to come back"
    same "$stderr" "Not back within 2 s: the firmware is written and verified, but the controller has not answered since its restart; check its cable and power, then run korvane-cli info"
    [ ! -e "$port" ] # gone for good, as korvane-sim --never-back promised
}

@test "a signal during the wait: the firmware is there, the controller not yet" {
    start_simulator --never-back
    start_cli --port "$port" --fast flash "$firmware" --yes
    await_text "waiting up to" out
    signal_cli INT
    [ "$status" -eq 0 ]
    same "$stderr" "The firmware is written and verified; the controller restarted and has not been seen back yet.
Run korvane-cli info again once it is back."
}

@test "--wait-back takes 0 or 2 to 3600 seconds, with flash only" {
    run --separate-stderr korvane-cli --demo flash "$firmware" --yes --wait-back 1
    [ "$status" -eq 2 ]
    same "$stderr" "korvane-cli: --wait-back takes 0 (no wait) or 2 to 3600 seconds, not \"1\"
Try 'korvane-cli --help'"
    run --separate-stderr korvane-cli --demo --wait-back 5 info
    [ "$status" -eq 2 ]
    same "${stderr%%$'\n'*}" "korvane-cli: --wait-back works with flash"
}
