#!/usr/bin/env bats
# verify: after the search, one Verify request for each program-memory record and nothing else;
# the controller's word sums say whether it holds the file.
load helpers

# The requests after the first N the simulator received.
requests_after() { requests | tail -n +$(($1 + 1)); }

@test "a controller that holds the file: the sums match, and only Verify requests were sent" {
    start_simulator
    korvane-cli --port "$port" --fast flash "$firmware" --yes --wait-back 0 >/dev/null
    local before
    before=$(requests | wc -l)
    run --separate-stderr korvane-cli --port "$port" verify "$firmware"
    [ "$status" -eq 0 ]
    same "${lines[-1]}" "Firmware matches $firmware (97 program records; 2 EEPROM and 0 other records cannot be checked by the controller)"
    same "$(requests_after "$before" | sort | uniq -c | sed 's/^ *//')" "1 request <55 00
1 request <55 04
97 request <55 08"
    same "$(requests_after "$before" | head -2)" "request <55 00
request <55 04"
}

@test "one changed record is named with its line and address" {
    start_simulator
    korvane-cli --port "$port" --fast flash "$firmware" --yes --wait-back 0 >/dev/null
    in_fresh_folder
    # Record 8's first byte, 77 -> 78, and its checksum.
    sed '9s/.*/:101070007806F85D8690024AD6BDA3401BE9C8CB2E/' "$firmware" >changed.hex
    run --separate-stderr korvane-cli --port "$port" --fast verify changed.hex
    [ "$status" -eq 1 ]
    same "$stderr" "Record 8 (line 9, address 0x1070) differs
Firmware differs from changed.hex: the sums of 1 of 97 program records differ"
}
