# What every transcript shares: the programs under test, and korvane-sim on a pseudo-terminal.
# ctest passes the programs' paths; by hand: KORVANE_BUILD=build bats tests/transcripts
: "${KORVANE_CLI:=${KORVANE_BUILD:-build}/korvane-cli}"
: "${KORVANE_SIM:=${KORVANE_BUILD:-build}/korvane-sim}"
: "${KORVANE_SOURCE_DIR:=$(cd "$BATS_TEST_DIRNAME/../.." && pwd)}"
KORVANE_CLI=$(realpath "$KORVANE_CLI")
KORVANE_SIM=$(realpath "$KORVANE_SIM")

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

# Runs korvane-cli as a user types it: `korvane-cli ARGS...`.
korvane-cli() { "$KORVANE_CLI" "$@"; }

# Starts korvane-sim with the given switches, its output in $BATS_TEST_TMPDIR/NAME.out and
# NAME.log; its link's path in $launched, its process in $launched_pid.
launch_simulator() {
    local name=$1
    shift
    # There before the simulator opens it: the first look may come first.
    : >"$BATS_TEST_TMPDIR/$name.out"
    "$KORVANE_SIM" --verbose "$@" >"$BATS_TEST_TMPDIR/$name.out" 2>"$BATS_TEST_TMPDIR/$name.log" &
    launched_pid=$!
    local tries
    for ((tries = 0; tries < 200; tries++)); do
        launched=$(sed -n 's/^Serving the simulated controller on //p' "$BATS_TEST_TMPDIR/$name.out")
        [ -n "$launched" ] && return 0
        sleep 0.05
    done
    echo "korvane-sim did not start: $(cat "$BATS_TEST_TMPDIR/$name.log")" >&2
    return 1
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

# Waits until the simulator has received COUNT requests with the command code CODE.
await_requests() {
    local tries
    for ((tries = 0; tries < 400; tries++)); do
        [ "$(requests | grep -c "55 $1")" -ge "$2" ] && return 0
        sleep 0.05
    done
    return 1
}

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
