#!/usr/bin/env bats
# flash FILE: the file is checked before any port is opened; what is said at the end is what the
# controller holds. check FILE says what a file holds without a controller.
load helpers

@test "a file that cannot be flashed is refused with status 2, and nothing is sent" {
    start_simulator
    in_fresh_folder
    printf ':0400000001020304F3\n:00000001FF\n' >broken.hex
    mkfifo fifo.hex
    mkdir folder
    for said in "broken.hex: line 1: checksum F3, should be F2" "folder: is a folder, not a file" \
        "fifo.hex: is not a regular file (a device, a pipe or a socket)" \
        "/dev/zero: is not a regular file (a device, a pipe or a socket)" \
        "missing.hex: No such file or directory"; do
        run --separate-stderr korvane-cli --port "$port" flash "${said%%: *}" --yes
        [ "$status" -eq 2 ]
        same "$stderr" "Invalid firmware file
$said"
    done
    usage_error "no terminal to confirm the update on: add --yes" --port "$port" flash "$firmware" </dev/null
    same "$(requests)" ""
    transcript <<EOF
$ korvane-cli check broken.hex --json
{"file":"broken.hex","reason":"line 1: checksum F3, should be F2","valid":false}
exit 2
EOF
}

@test "check and flash say which records will not be written, and a flash outlives its reader" {
    in_fresh_folder
    # Two program records, three in regions the controller does not have, and the version, 12.
    printf '%s\n' :101000003C3C3C3C3C3C3C3C3C3C3C3C3C3C3C3C20 :101010003C3C3C3C3C3C3C3C3C3C3C3C3C3C3C3C10 \
        :020000040005F5 :0100000001FE :020000040030CA :0100000001FE :020000040005F5 :0100000001FE \
        :020000040000FA :022000000C01D1 :00000001FF >skip.hex
    # The flash goes on when its reader (head) is gone: status 0, not death by SIGPIPE.
    transcript <<EOF
$ korvane-cli check "$firmware"
Valid firmware file: $firmware
Software version: 08
Program memory: 97 records, 1540 bytes, 0x1000-0x1603
Eprom: 2 records, 9 bytes, 0x0010-0x0107
Records not written: 0
$ korvane-cli check skip.hex
Valid firmware file: skip.hex
Software version: 12
Program memory: 3 records, 34 bytes, 0x1000-0x2001
Eprom: no records
Records not written: 3 (upper addresses 0x0005, 0x0030)
$ korvane-cli check skip.hex --json
{"epromBytes":0,"epromRecords":0,"file":"skip.hex","notWritten":3,"notWrittenUpperAddresses":["0x0005","0x0030"],"programBytes":34,"programFirst":"0x1000","programLast":"0x2001","programRecords":3,"software":12,"valid":true}
$ korvane-cli --demo flash skip.hex --yes | head -3
Records not written: 3 (upper addresses 0x0005, 0x0030)
The controller on /dev/ttyDEMO0 (software 07) will be erased and programmed with skip.hex (software 12).
Update firmware from file Software version: 12? Update
EOF
}

@test "a controller that refuses the records, or vanishes, leaves the flash failed: status 1" {
    start_simulator --refuse-writes
    run --separate-stderr korvane-cli --port "$port" flash "$firmware" --yes
    [ "$status" -eq 1 ]
    same "$stderr" "Could not update firmware
Record 2 of 103 failed (line 2, address 0x00001000): the controller's firmware is erased; flash again"
    stop_simulator
    # Gone at its tenth request, the fifth record's write.
    start_simulator --unplug-at 10
    run --separate-stderr korvane-cli --port "$port" flash "$firmware" --yes
    [ "$status" -eq 1 ]
    same "$stderr" "The device is disconnected
Firmware update interrupted after record 4 of 103, with record 5 not confirmed: the controller has no complete firmware; flash again"
}
