#!/usr/bin/env bash
# Damaged or hostile disc files: Setup falls back, logs and ends normally; it never crashes.
. "$(dirname "$0")/lib.sh"

# A copy of the sample disc whose data file is replaced by the text on stdin.
disc_with_data() {
    local disc="$QX_WORK/disc-$RANDOM"
    cp -r "$QXDISC" "$disc"
    cat >"$disc/Setup.dat"
    echo "$disc"
}

run_setup() {  # run_setup DISC ARGS...: runs it and prints the log's path
    local disc=$1; shift
    "$disc/Setup" "$@" >/dev/null 2>&1 || fail "Setup exited with $? on $disc"
    ls -t "$(machine_info temp_host)"/Setup*.log | head -n 1
}

new_machine --os xp

# A STRINGS loop, garbage numbers and an OS table that knows no system.
disc=$(disc_with_data <<'DAT'
[INSTALLER_FILE_INFO]
CONFIGURE_FILE = .\data\qxinst.qxi
COMMAND_FILE = .\data\qxinst.cmd
[PROGRAM_INFO]
MFG = Velmora
MDL = %LOOP_A%
VIDPID = VID_2F1A&PID_0220
PROGRAM_NAME = Loop Test
[OPTION]
NETWORK = banana
COMMUNITY_SIZE = -x-
USB_ONLY = 0xZZZZ
[OS_DEFINE]
0X00990909 = NOWHERE
[PROGRAM_LANG_INFO]
garbage
0x0409
[STRINGS]
%LOOP_A% = "a%LOOP_B%"
%LOOP_B% = "b%LOOP_A%"
DAT
)
log=$(run_setup "$disc" /S)
expect_contains "$log" "NETWORK Option is OFF"
expect_contains "$log" "Community Name size = 14"
expect_contains "$log" "OS Define not found, so installer finds Lastest Version OS Define"
expect_contains "$log" " OS String = "
expect_contains "$log" "End of installation"

# A data file that names files the disc does not have.
disc=$(disc_with_data <<'DAT'
[INSTALLER_FILE_INFO]
CONFIGURE_FILE = .\data\missing.qxi
[PROGRAM_INFO]
MFG = Velmora
MDL = VP
VIDPID = V
DAT
)
log=$(run_setup "$disc" /S)
expect_contains "$log" "(D:\\data\\missing.qxi) file does not exist."
expect_contains "$log" "Initialize Profiles fail!!"
expect_contains "$log" "Initilize global variable fail"

# Binary junk as the data file, and no data file at all.
disc=$(head -c 20000 /dev/urandom | disc_with_data)
log=$(run_setup "$disc" /S)
expect_contains "$log" "End of installation"
rm "$disc/Setup.dat"
log=$(run_setup "$disc" /S)
expect_contains "$log" "Initialize Profiles fail!!"

# A string file written in another code page than the machine's (Korean on a 1252 machine).
log=$(run_setup "$QXDISC" /S /L0x412)
expect_contains "$log" "Set Language : String file		= Lang_KR.str"
expect_contains "$log" "End of installation"
echo "setup_bad_input: ok"
