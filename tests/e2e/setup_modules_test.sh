#!/usr/bin/env bash
# Setup with the sample disc's modules: the pre-installer sees the command line the program
# builds, the requirement check asks the utility module for free space and USB, and a module
# that crashes costs a log line, not the run.
. "$(dirname "$0")/lib.sh"

run_setup() {  # run_setup DISC ARGS...: the log, without times and CRs, is $QX_WORK/last.log
    local disc=$1
    shift
    local temp_host
    temp_host=$(machine_info temp_host)
    rm -f "$temp_host"/Setup*.log
    "$disc/Setup" "$@" || true
    log_body "$temp_host/Setup.log" | sed 's/^\[T\]  //; s/\r$//' >"$QX_WORK/last.log"
}

expect_line() {
    grep -qxF -- "$1" "$QX_WORK/last.log" || fail "no line [$1] in the log:$(printf '\n')$(cat "$QX_WORK/last.log")"
}

expect_no_line() {
    if grep -qxF -- "$1" "$QX_WORK/last.log"; then fail "the log has [$1]"; fi
}

summary() {  # summary LABEL: the value of a summary line of the last log
    sed -n "s/^ $1 = \(.*\)\$/\1/p; s/^ $1 \[\(.*\)\]\$/\1/p" "$QX_WORK/last.log" | head -n 1
}

fixture_disc() {
    local disc="$QX_WORK/$1"
    rm -rf "$disc"
    mkdir -p "$disc"
    cp -r "$QXDISC/Setup" "$QXDISC/Setup.dat" "$QXDISC/Config.ini" "$QXDISC/data" "$disc/"
    echo "$disc"
}

preinstall_value() {
    "$QXBIN/qxmachine" reg query --32 'HKLM\Software\qxsetup\Preinstall' LastCommandLine
}

# A silent install hands the pre-installer the data file, module folder, destination, history
# key, language folder and abbreviation, in that order.
new_machine --os win7x64
run_setup "$QXDISC" /S
data_file=$(summary 'm_cstrDataFile file name is')
source_dir=$(summary 'Source Directroy')
dest_dir=$(summary 'Destination Directroy')
lang_dir=$(summary 'Language directory')
installing=$(summary 'Current Installing registry root key')
expected="/P $data_file /S $source_dir /D $dest_dir /R $installing\\InstHistory /L $lang_dir /A EN"
expect_eq "data file" 'D:\Setup.dat' "$data_file"
expect_line "Call Pre-Installer : Command ==> $expected"
expect_eq "LastCommandLine" "$expected" "$(preinstall_value)"
expect_eq "LastCommandLine" \
    '/P D:\Setup.dat /S D: /D C:\Program Files (x86)\Velmora\VP-2200 /R Software\Velmora\Velmora VP-2200 Series Printer Software\Installing\InstHistory /L English /A EN' \
    "$(preinstall_value)"

# The command line's destination and language reach the pre-installer too.
new_machine --os win7x64
run_setup "$QXDISC" '/S /A C:\Elsewhere'
expect_eq "LastCommandLine with /A" \
    "/P D:\\Setup.dat /S D: /D C:\\Elsewhere /R $installing\\InstHistory /L English /A EN" \
    "$(preinstall_value)"

# The machine reports 150 MB free on C:, the disc wants 200: the run ends before anything is
# installed or handed to the pre-installer.
new_machine --os win7x64
printf '\r\n[FREE_SPACE]\r\nC = %d\r\n' $((150 * 1024 * 1024)) >>"$QXSETUP_MACHINE/machine.ini"
run_setup "$QXDISC" /S
expect_line "Call GetDiskFreeSpaceQX()"
expect_line "This system could not satisfy the installer Minimum Requirement!"
if preinstall_value >/dev/null 2>&1; then fail "the pre-installer ran after a failed check"; fi

# Enough space (250 MB) passes.
new_machine --os win7x64
printf '\r\n[FREE_SPACE]\r\nC = %d\r\n' $((250 * 1024 * 1024)) >>"$QXSETUP_MACHINE/machine.ini"
run_setup "$QXDISC" /S
expect_no_line "This system could not satisfy the installer Minimum Requirement!"
expect_eq "LastCommandLine after the check" "$expected" "$(preinstall_value)"

# A utility module that faults in its free-space answer has no answer: the check passes, and a
# pre-installer that overflows its stack costs its line; the run ends normally.
new_machine --os win7x64
disc=$(fixture_disc crash)
cp "$QXCRASH" "$disc/data/Qxutil.dll"
cp "$QXCRASH" "$disc/data/QXpre.dll"
run_setup "$disc" /S
expect_line "Call GetDiskFreeSpaceQX() ==> GPF!!!!"
expect_line "Call Preinstall() ==> GPF!!!!"
expect_line "End of installation"

# Module paths that are a folder and a text file fail to load, one line each.
new_machine --os win7x64
disc=$(fixture_disc badpaths)
rm "$disc/data/Qxutil.dll"
mkdir "$disc/data/Qxutil.dll"
printf 'not a module\r\n' >"$disc/data/QXpre.dll"
run_setup "$disc" /S
expect_line 'Load Utility DLL fail (D:\data\Qxutil.dll)'
expect_line 'Load Preinstaller DLL fail (D:\data\QXpre.dll)'
expect_line 'Call Preinstall ==> NULL'
expect_line "End of installation"

# USB-only products on a Windows without USB printing fail the check with the USB message.
new_machine --os nt4
disc=$(fixture_disc usbonly)
python3 - "$disc/Setup.dat" <<'PY'
import re, sys
path = sys.argv[1]
text = open(path, 'rb').read().decode('latin-1')
text = re.sub(r'(?m)^USB_ONLY +=.*$', 'USB_ONLY = 1\r', text, count=1)
text = re.sub(r'(?m)^NETWORK +=.*$', 'NETWORK = 0\r', text, count=1)
text = re.sub(r'(?m)^UNSUPPORTED_OS +=.*$', 'UNSUPPORTED_OS = NONE\r', text, count=1)
open(path, 'wb').write(text.encode('latin-1'))
PY
grep -q 'USB_ONLY = 1' "$disc/Setup.dat" || fail "the fixture has no [OPTION] section to change"
run_setup "$disc" /S
expect_line "Call GetDevicePort(Velmora,VP-2200 Series,VID_2F1A&PID_0220)"
expect_line "This system could not satisfy the installer Minimum Requirement!"

echo "setup_modules: ok"
