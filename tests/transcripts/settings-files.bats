#!/usr/bin/env bats
# Settings kept in a file: a save never destroys what is in its place, a load never hangs, and
# every speed limit a controller can hold comes back.
load helpers

setup() { start_simulator; }

@test "a save writes only a regular file, whatever --force says, and sends nothing first" {
    mkfifo "$BATS_TEST_TMPDIR/pipe.json"
    # The controller's own port for a device: where a save that went wrong could make no file.
    for target in "$port" "$BATS_TEST_TMPDIR/pipe.json" "$BATS_TEST_TMPDIR"; do
        run --separate-stderr korvane-cli --port "$port" settings save "$target" --force
        [ "$status" -eq 2 ]
        [[ "$stderr" == "Could not save the settings to $target: is "* ]]
    done
    [ -p "$BATS_TEST_TMPDIR/pipe.json" ]
    [ -c "$port" ]
    run --separate-stderr korvane-cli --port "$port" settings save /nonexistent/bike.json
    [ "$status" -eq 2 ]
    same "$stderr" "Could not save the settings to /nonexistent/bike.json: there is no folder /nonexistent"
    same "$(requests)" ""
}

@test "a save replaces a file whole, with its permissions" {
    in_fresh_folder
    echo old >bike.json
    chmod 640 bike.json
    run korvane-cli --port "$port" settings save bike.json
    [ "$status" -eq 2 ]
    same "$output" "bike.json exists already: add --force to replace it"
    run korvane-cli --port "$port" settings save bike.json --force
    [ "$status" -eq 0 ]
    same "$output" "Settings of BEEF saved to bike.json"
    same "$(stat -c %a bike.json)" 640
    grep -q '"speedLimitMph": 19' bike.json
    same "$(ls)" "bike.json"
}

@test "a load reads only a regular file of a settings file's size, and never waits" {
    mkfifo "$BATS_TEST_TMPDIR/pipe.json"
    head -c 65537 /dev/zero | tr '\0' ' ' >"$BATS_TEST_TMPDIR/big.json"
    run timeout 5 "$KORVANE_CLI" --port "$port" settings load "$BATS_TEST_TMPDIR/pipe.json"
    [ "$status" -eq 2 ]
    same "$output" "Invalid settings file
$BATS_TEST_TMPDIR/pipe.json: is not a regular file (a device, a pipe or a socket)"
    run timeout 5 "$KORVANE_CLI" --port "$port" settings load /dev/zero
    [ "$status" -eq 2 ]
    run korvane-cli --port "$port" settings load "$BATS_TEST_TMPDIR/big.json"
    [ "$status" -eq 2 ]
    same "$output" "Invalid settings file
$BATS_TEST_TMPDIR/big.json: is 65537 bytes, larger than any settings file (at most 65536)"
    same "$(requests)" ""
}

@test "a speed limit the list does not offer is saved, and put back only with --force" {
    in_fresh_folder
    korvane-cli --port "$port" settings save bike.json
    for mph in 45 0; do
        sed -i "s/\"speedLimitMph\": [0-9]*/\"speedLimitMph\": $mph/" bike.json
        run korvane-cli --port "$port" settings load bike.json
        [ "$status" -eq 2 ]
        same "$output" "bike.json holds a speed limit of $mph mph, outside the 1 to 30 mph that can be chosen: add --force to load it anyway"
        run korvane-cli --port "$port" settings load bike.json --force
        [ "$status" -eq 0 ]
        same "$output" "Auto is already off
Config is already 1
Speed Limit is updated
Settings loaded"
        # What the controller holds now is saved, and loads back.
        run korvane-cli --port "$port" settings save again.json --force
        grep -q "\"speedLimitMph\": $mph" again.json
        run korvane-cli --port "$port" settings load again.json --force
        [ "$status" -eq 0 ]
        [[ "$output" == *"Speed Limit is already $mph mph"* ]]
    done
}
