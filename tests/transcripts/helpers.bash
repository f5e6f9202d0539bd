# What every transcript shares: the programs under test, and korvane-sim on a pseudo-terminal.
# ctest passes the programs' paths; by hand: KORVANE_BUILD=build bats tests/transcripts
: "${KORVANE_CLI:=${KORVANE_BUILD:-build}/korvane-cli}"
: "${KORVANE_SIM:=${KORVANE_BUILD:-build}/korvane-sim}"
: "${KORVANE_CONFIG:=${KORVANE_BUILD:-build}/korvane-config}"
: "${KORVANE_SOURCE_DIR:=$(cd "$BATS_TEST_DIRNAME/../.." && pwd)}"
KORVANE_CLI=$(realpath "$KORVANE_CLI")
KORVANE_SIM=$(realpath "$KORVANE_SIM")
KORVANE_CONFIG=$(realpath "$KORVANE_CONFIG")
# The firmware file the examples ship: software 08, 103 records.
firmware="$KORVANE_SOURCE_DIR/examples/demo-firmware.hex"

# A folder of the test's own to work in.
in_fresh_folder() {
    mkdir -p "$BATS_TEST_TMPDIR/work"
    cd "$BATS_TEST_TMPDIR/work"
}

bats_require_minimum_version 1.5.0

# `same ACTUAL EXPECTED`: equal, or the difference is shown.
same() {
    [ "$1" = "$2" ] && return 0
    diff <(printf '%s\n' "$2") <(printf '%s\n' "$1") | sed 's/^/# /' >&3
    return 1
}

# Runs korvane-cli as a user types it: `korvane-cli ARGS...`. A command that hangs is stopped
# after a minute and fails its case with status 124, rather than holding up the whole suite.
korvane-cli() { timeout --foreground 60 "$KORVANE_CLI" "$@"; }

# `transcript <<EOF ... EOF`: a terminal session. Each "$ COMMAND" line is run as typed (after the
# here-document's expansion of $port and the like) and followed by all it must print: plain lines
# on stdout, lines after "2> " on stderr, and "exit N" unless its status is 0.
transcript() {
    local line command="" out="" err="" code=0
    while IFS= read -r line; do
        case $line in
        '$ '*)
            [ -z "$command" ] || typed "$command" "$code" "$out" "$err" || return 1
            command=${line#'$ '} out="" err="" code=0
            ;;
        '2> '*) err+=${line#'2> '}$'\n' ;;
        'exit '*) code=${line#exit } ;;
        *) out+=$line$'\n' ;;
        esac
    done
    typed "$command" "$code" "$out" "$err"
}

# `typed COMMAND STATUS OUT ERR`: COMMAND (a pipeline fails with its last failing command)
# ends with STATUS and prints exactly OUT and ERR.
typed() {
    run --separate-stderr eval "set -o pipefail; $1"
    same "$status" "$2" && same "$output" "$(printf %s "$3")" &&
        same "$stderr" "$(printf %s "$4")" && return 0
    echo "# in: \$ $1" >&3
    return 1
}

# `usage_error REASON ARGS...`: korvane-cli ARGS... is wrong usage: status 2, nothing on stdout,
# and on stderr the REASON and where to read more. sim_usage_error: the same of korvane-sim.
usage_error() { wrong_usage "$KORVANE_CLI" "$@"; }
sim_usage_error() { wrong_usage "$KORVANE_SIM" "$@"; }
wrong_usage() {
    local program
    program=$(basename "$1")
    # A program that took the switches may serve until stopped: the time limit keeps it from hanging.
    run --separate-stderr timeout 10 "$1" "${@:3}"
    same "$status" 2 && same "$output" "" && same "$stderr" "$program: $2
Try '$program --help'"
}

# Starts korvane-sim with the given switches, its output in $BATS_TEST_TMPDIR/NAME.out and
# NAME.log; its link's path in $launched, its process in $launched_pid.
launch_simulator() {
    local name=$1
    shift
    # There before the simulator opens it: the first look may come first.
    : >"$BATS_TEST_TMPDIR/$name.out"
    "$KORVANE_SIM" --verbose "$@" >"$BATS_TEST_TMPDIR/$name.out" 2>"$BATS_TEST_TMPDIR/$name.log" &
    launched_pid=$!
    if ! await grep -q '^Serving the simulated controller on ' "$BATS_TEST_TMPDIR/$name.out"; then
        echo "korvane-sim did not start: $(cat "$BATS_TEST_TMPDIR/$name.log")" >&2
        return 1
    fi
    launched=$(sed -n 's/^Serving the simulated controller on //p' "$BATS_TEST_TMPDIR/$name.out")
}

# Starts korvane-sim with the given switches; its link's path is in $port, its log in
# $BATS_TEST_TMPDIR/sim.log.
start_simulator() {
    launch_simulator sim "$@" || return 1
    port=$launched
    simulator_pid=$launched_pid
}

# A second controller: its link's path in $other_port, its log in $BATS_TEST_TMPDIR/other.log.
start_other_simulator() {
    launch_simulator other "$@" || return 1
    other_port=$launched
    other_pid=$launched_pid
}

stop_simulator() {
    local pid
    for pid in "${simulator_pid:-}" "${other_pid:-}"; do
        if [ -n "$pid" ]; then
            kill "$pid" 2>/dev/null || true
            wait "$pid" 2>/dev/null || true
        fi
    done
    simulator_pid=""
    other_pid=""
}

# The requests the simulator received, one "request <55 0X" per line.
requests() { grep -o 'request <55 [0-9A-F][0-9A-F]' "$BATS_TEST_TMPDIR/sim.log" || true; }

# Waits up to 20 s, looking every 10 ms, until the command ARGS... succeeds.
await() {
    local tries
    for ((tries = 0; tries < 2000; tries++)); do
        "$@" && return 0
        sleep 0.01
    done
    return 1
}

# Waits until the simulator has received COUNT requests with the command code CODE.
await_requests() { await received "$@"; }
received() { [ "$(grep -c "request <55 $1" "$BATS_TEST_TMPDIR/sim.log")" -ge "$2" ]; }

# Waits until FILE (in $BATS_TEST_TMPDIR) holds TEXT.
await_text() { await grep -qF -- "$1" "$BATS_TEST_TMPDIR/$2"; }

# Starts korvane-cli ARGS... in the background (itself, so that a signal reaches it); what it
# writes goes to $BATS_TEST_TMPDIR/out and err.
start_cli() {
    "$KORVANE_CLI" "$@" >"$BATS_TEST_TMPDIR/out" 2>"$BATS_TEST_TMPDIR/err" &
    cli=$!
}

# Sends SIGNAL to the korvane-cli start_cli started; its status in $status, what it wrote in
# $output and $stderr.
signal_cli() {
    kill "-$1" "$cli"
    status=0
    wait "$cli" || status=$?
    output=$(cat "$BATS_TEST_TMPDIR/out")
    stderr=$(cat "$BATS_TEST_TMPDIR/err")
}

teardown() { stop_simulator; }
