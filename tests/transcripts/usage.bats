#!/usr/bin/env bats
# Wrong usage: the reason on one line, where to read more, status 2, nothing on stdout.
load helpers

@test "each wrong use names what is wrong" {
    usage_error "no command given"
    usage_error 'unknown command "frobnicate"' --demo frobnicate
    usage_error 'the speed in mph must be a whole number from 1 to 30, not "31"' set speed 31
    usage_error 'the speed in km/h must be a whole number from 1 to 50, not "0"' set speed 0 --kmh
    usage_error 'the configuration must be a whole number from 1 to 3, not "2x"' set config 2x
    usage_error 'automatic mode is on or off, not "maybe"' set auto maybe
    usage_error 'there is no setting "colour"; choose auto, config or speed' set colour red
    usage_error "--port: 1 required PATH missing" info --port
    usage_error "--expect works with --all" --expect 2 info
    usage_error "--expect: Value 0 not in range 1 to 9999" --all --expect 0 info
    usage_error "--all works with info, set, reset, flash, verify and settings load" --all ports
}

@test "--port takes one path each time it is given" {
    usage_error 'unknown command "bogus"' --port /dev/null bogus
    usage_error "The following argument was not expected: B" --demo --port A B info
}

@test "help and a command's help are no errors" {
    run korvane-cli --help
    [ "$status" -eq 0 ]
    [[ "$output" == "usage: korvane-cli "* ]]
    run korvane-cli set --help
    [ "$status" -eq 0 ]
}

@test "korvane-config's help and version need no display" {
    for option in --help:"The Korvane controller's settings" --version:"korvane-config 0."; do
        run --separate-stderr env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$KORVANE_CONFIG" "${option%%:*}"
        [ "$status" -eq 0 ]
        [[ "$output" == "${option#*:}"* ]]
    done
}
