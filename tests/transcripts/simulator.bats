#!/usr/bin/env bats
# korvane-sim's switches: wrong ones end it with the reason on one line and status 2, before it
# serves anything; --device-id makes a controller another one can be told apart from.
load helpers

@test "each wrong switch names what is wrong" {
    sim_usage_error "--chunk: Value -3 not in range 0 to 1024" --chunk -3
    sim_usage_error "--chunk: Value 1025 not in range 0 to 1024" --chunk 1025
    sim_usage_error "--reply-delta: Value -1025 not in range -1024 to 1024" --reply-delta -1025
    sim_usage_error "--reply-delta: Value 1025 not in range -1024 to 1024" --reply-delta 1025
    sim_usage_error "--latency: Value -1 not in range 0 to 60000" --latency -1
    sim_usage_error "--unplug-at: Value 0 not in range 1 to 1000000000" --unplug-at 0
    sim_usage_error '--device-id: "12345" is not four hex digits (such as 1234)' --device-id 12345
    sim_usage_error '--device-id: "BEEG" is not four hex digits (such as 1234)' --device-id BEEG
    sim_usage_error '--device-id: "12" is not four hex digits (such as 1234)' --device-id 12
    sim_usage_error "--device-id: 1 required HEX missing" --device-id
    sim_usage_error '--unanswered: "07" is not a command code (00, 02, 03, 04, 05, 08 or 09)' --unanswered 07
    sim_usage_error "--keep-port-on-reset excludes --never-back" --never-back --keep-port-on-reset
    sim_usage_error "--back-after: Value 60001 not in range 0 to 60000" --back-after 60001
    sim_usage_error "The following argument was not expected: --bogus" --bogus
}

@test "a --link that exists is never replaced: said, and status 2" {
    echo "keep me" >"$BATS_TEST_TMPDIR/precious"
    run --separate-stderr timeout 10 "$KORVANE_SIM" --link "$BATS_TEST_TMPDIR/precious"
    [ "$status" -eq 2 ]
    same "$stderr" "korvane-sim: $BATS_TEST_TMPDIR/precious already exists; name a path that does not"
    same "$(cat "$BATS_TEST_TMPDIR/precious")" "keep me"
}

@test "--device-id is the id the controller answers with" {
    start_simulator --device-id 12ab
    run korvane-cli --port "$port" info
    [ "$status" -eq 0 ]
    same "${lines[0]}" "Connected. Bootloader: 012A, Device ID: 12AB, Soft: 07"
}

@test "settings saved from one device id are not loaded into another without --force" {
    start_simulator
    run korvane-cli --port "$port" settings save "$BATS_TEST_TMPDIR/bike.json"
    [ "$status" -eq 0 ]
    stop_simulator
    start_simulator --device-id 1234
    run --separate-stderr korvane-cli --port "$port" settings load "$BATS_TEST_TMPDIR/bike.json"
    [ "$status" -eq 1 ]
    same "$stderr" "$BATS_TEST_TMPDIR/bike.json holds the settings of device BEEF, not of this controller (1234): add --force to load them anyway"
    run korvane-cli --port "$port" settings load "$BATS_TEST_TMPDIR/bike.json" --force
    [ "$status" -eq 0 ]
}
