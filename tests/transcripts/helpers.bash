# What every transcript shares: the programs under test, and korvane-sim on a pseudo-terminal.
# ctest passes the programs' paths; by hand: KORVANE_BUILD=build bats tests/transcripts
: "${KORVANE_CLI:=${KORVANE_BUILD:-build}/korvane-cli}"
: "${KORVANE_SIM:=${KORVANE_BUILD:-build}/korvane-sim}"
: "${KORVANE_CONFIG:=${KORVANE_BUILD:-build}/korvane-config}"
: "${KORVANE_SOURCE_DIR:=$(cd "$BATS_TEST_DIRNAME/../.." && pwd)}"
KORVANE_CLI=$(realpath "$KORVANE_CLI") KORVANE_SIM=$(realpath "$KORVANE_SIM")
KORVANE_CONFIG=$(realpath "$KORVANE_CONFIG")
# The firmware file the examples ship: software 08, 103 records.
firmware="$KORVANE_SOURCE_DIR/examples/demo-firmware.hex"
bats_require_minimum_version 1.5.0

# `same ACTUAL EXPECTED`: equal, or the difference is shown.
same() {
    [ "$1" = "$2" ] && return 0
    diff <(printf '%s\n' "$2") <(printf '%s\n' "$1") | sed 's/^/# /' >&3
    return 1
}

# korvane-cli as typed, stopped after a minute (status 124) rather than holding up the suite. It
# yields the processor to korvane-sim: it waits for a reply a number of its own polls, so on a busy
# machine a simulator starved behind it would answer too late.
korvane-cli() { timeout --foreground 60 nice -n 10 "$KORVANE_CLI" "$@"; }

# Starts korvane-sim with the given switches: its link's path in $port, its log in
# $BATS_TEST_TMPDIR/sim.log.
start_simulator() {
    : >"$BATS_TEST_TMPDIR/sim.out"
    "$KORVANE_SIM" --verbose "$@" >"$BATS_TEST_TMPDIR/sim.out" 2>"$BATS_TEST_TMPDIR/sim.log" &
    simulator_pid=$!
    await grep -q '^Serving the simulated controller on ' "$BATS_TEST_TMPDIR/sim.out" || return 1
    port=$(sed -n 's/^Serving the simulated controller on //p' "$BATS_TEST_TMPDIR/sim.out")
}
stop_simulator() { [ -z "${simulator_pid:-}" ] || { kill "$simulator_pid"; wait "$simulator_pid"; } 2>/dev/null || true; simulator_pid=""; }
teardown() { stop_simulator; }

# The requests the simulator received ("request <55 0X" each); waiting for COUNT of CODE.
requests() { grep -o 'request <55 [0-9A-F][0-9A-F]' "$BATS_TEST_TMPDIR/sim.log" || true; }
# Waits up to 20 s, looking every 10 ms, until the command ARGS... succeeds.
await() {
    local tries
    for ((tries = 0; tries < 2000; tries++)); do "$@" && return 0; sleep 0.01; done
    return 1
}
await_requests() { await received "$@"; }
received() { [ "$(grep -c "request <55 $1" "$BATS_TEST_TMPDIR/sim.log")" -ge "$2" ]; }

# Starts korvane-cli ARGS... itself in the background, so that a signal reaches it; then
# `signal_cli SIGNAL` leaves its status in $status and what it wrote in $output and $stderr.
start_cli() {
    nice -n 10 "$KORVANE_CLI" "$@" >"$BATS_TEST_TMPDIR/out" 2>"$BATS_TEST_TMPDIR/err" &
    cli=$!
}
signal_cli() {
    kill "-$1" "$cli"
    status=0
    wait "$cli" || status=$?
    output=$(cat "$BATS_TEST_TMPDIR/out")
    stderr=$(cat "$BATS_TEST_TMPDIR/err")
}
