#!/usr/bin/env bats
# korvane-cli as a process: the real serial path through korvane-sim, signals, a reader that goes
# away, a terminal's question, and files and exit statuses end to end.
load helpers

@test "on a pseudo-terminal, what is said is what the controller holds" {
    start_simulator
    run korvane-cli --port "$port" set speed 12
    same "$status: $output" "0: Speed Limit is updated
Speed Limit set to 12 mph"
    run korvane-cli --port "$port" --port "$port" info --json
    same "$status: $output" '0: {"auto":false,"bootloader":"012A","config":1,"deviceId":"BEEF","port":"'"$port"'","software":7,"speedLimitMph":12}'
    run korvane-cli --port "$port" reset
    same "$status: $output" "0: The device is rebooting.
Run korvane-cli info again once it is back."
}

@test "a signal ends a flash with what it left: 128 + the signal, and no reset; after it, 0" {
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
    start_simulator --never-back
    start_cli --port "$port" --json flash "$firmware" --yes
    await_requests 09 1
    signal_cli INT
    [ "$status" -eq 0 ]
    [[ "$(tail -1 <<<"$output")" == *'"recordsWritten":99,"result":"ok"'* ]]
}

@test "a flash outlives a reader that goes away" {
    run eval 'set -o pipefail; korvane-cli --demo flash "$firmware" --yes | head -2'
    same "$status: $output" "0: The controller on /dev/ttyDEMO0 (software 07) will be erased and programmed with $firmware (software 08).
Update firmware from file Software version: 08? Update"
}

# Runs ARGS... on a terminal where KEYS (printf's %b: \n is Enter, \003 ^C) are typed once the
# question is shown; what the terminal shows in $output.
on_terminal() {
    local typed=$1 keys
    shift
    mkfifo "$BATS_TEST_TMPDIR/keys"
    : >"$BATS_TEST_TMPDIR/screen"
    script -qec "stty -echo; exec nice -n 10 $*" /dev/null <"$BATS_TEST_TMPDIR/keys" >"$BATS_TEST_TMPDIR/screen" &
    local shown=$!
    exec {keys}>"$BATS_TEST_TMPDIR/keys"
    # Until the question is shown, or korvane-cli ended without it.
    await eval "grep -qF '[Update/Cancel]' '$BATS_TEST_TMPDIR/screen' || ! kill -0 $shown"
    (printf %b "$typed" >&"$keys") 2>/dev/null || true
    exec {keys}>&-
    rm "$BATS_TEST_TMPDIR/keys"
    status=0
    wait "$shown" || status=$?
    output=$(tr -d '\r' <"$BATS_TEST_TMPDIR/screen")
}

@test "the question on a terminal: no is 1, ^C is 130; under --json it goes to stderr" {
    start_simulator
    for answer in 'Cancel\n:1' '\003:130'; do
        on_terminal "${answer%:*}" "$KORVANE_CLI" --port "$port" flash "$firmware"
        [ "$status" -eq "${answer#*:}" ]
        same "$output" "The controller on $port (software 07) will be erased and programmed with $firmware (software 08).
Update firmware from file Software version: 08? [Update/Cancel] Firmware update cancelled"
    done
    on_terminal 'Cancel\n' "$KORVANE_CLI" --port "$port" --json flash "$firmware" ">$BATS_TEST_TMPDIR/json"
    [[ "$(<"$BATS_TEST_TMPDIR/json")" =~ ^\{\"bootloader\":\"012A\".*\"result\":\"failed\".*\}$ ]]
    same "$(requests | grep -c '55 03')" 0
    run --separate-stderr korvane-cli --port "$port" flash "$firmware" </dev/null
    [ "$status" -eq 2 ]
    same "$stderr" "korvane-cli: no terminal to confirm the update on: add --yes
Try 'korvane-cli --help'"
}

@test "files end to end: a settings file replaced whole, a history line appended whole" {
    start_simulator
    mkdir "$BATS_TEST_TMPDIR/work" && cd "$BATS_TEST_TMPDIR/work"
    echo old >bike.json
    chmod 640 bike.json
    run korvane-cli --port "$port" settings save bike.json --force --history history.jsonl
    same "$status: $output" "0: Settings of BEEF saved to bike.json"
    same "$(requests)" "request <55 00
request <55 04"
    same "$(stat -c %a bike.json)" 640
    same "$(ls)" "bike.json
history.jsonl"
    [[ "$(<history.jsonl)" =~ ^\{\"auto\":false,.*\"command\":\"settings\ save\ bike.json\ --force\",.*\"host\":\"$(hostname)\",.*\"settingsAfter\":\{.*\"time\":\"[0-9T:-]{19}Z\",.*\}$ ]]
}

@test "korvane-sim's wrong switches and korvane-config's version need no controller, no display" {
    for wrong in "--chunk -3:--chunk: Value -3 not in range 0 to 1024" \
        "--never-back --keep-port-on-reset:--keep-port-on-reset excludes --never-back"; do
        run --separate-stderr timeout 10 "$KORVANE_SIM" ${wrong%%:*}
        [ "$status" -eq 2 ]
        same "$stderr" "korvane-sim: ${wrong#*:}
Try 'korvane-sim --help'"
    done
    run --separate-stderr env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$KORVANE_CONFIG" --version
    [[ "$output" == "korvane-config 0."* ]]
}
