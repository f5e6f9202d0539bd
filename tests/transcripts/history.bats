#!/usr/bin/env bats
# --history FILE: a JSON line per controller and run, appended whole; one that cannot be written
# is said before anything is sent.
load helpers

# Each line of the history is one whole JSON object.
whole_lines() {
    local line
    while IFS= read -r line; do
        [[ "$line" =~ ^\{\".*\}$ ]] || return 1
    done <history.jsonl
}

@test "two controllers flashed at once: a line for each, with what was sent and what came back" {
    in_fresh_folder
    start_simulator
    start_other_simulator --device-id 1234
    run korvane-cli --port "$port" --port "$other_port" --all --fast flash "$firmware" --yes --history history.jsonl
    [ "$status" -eq 0 ]
    same "$(wc -l <history.jsonl)" 2
    whole_lines
    local sha
    sha=$(sha256sum "$firmware" | cut -d' ' -f1)
    for device in "$port BEEF" "$other_port 1234"; do
        local line
        line=$(grep -F "\"port\":\"${device% *}\"" history.jsonl)
        [[ "$line" == *"\"deviceId\":\"${device#* }\""* ]]
        [[ "$line" == *"\"command\":\"flash $firmware --yes\""* ]]
        [[ "$line" == *"\"file\":\"$firmware\",\"fileSha256\":\"$sha\""* ]]
        [[ "$line" == *'"result":"ok"'* ]]
        [[ "$line" == *'"software":7,"softwareAfter":8,"time":"'* ]]
        [[ "$line" == *"\"host\":\"$(hostname)\""* ]]
        [[ "$line" =~ \"time\":\"[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9:]{8}Z\" ]]
    done
}

@test "a history that cannot be written: status 2, and nothing sent" {
    start_simulator
    run --separate-stderr korvane-cli --port "$port" info --history /nonexistent/history.jsonl
    [ "$status" -eq 2 ]
    same "$stderr" "Could not append to the history /nonexistent/history.jsonl: No such file or directory"
    same "$(requests)" ""
}
