#!/usr/bin/env bash
# qxmachine: init per OS, info, path, refusals with one-line reasons.
. "$(dirname "$0")/lib.sh"

new_machine --os win98 --lang 0x0412 --codepage 949 --admin 0
expect_eq os win98 "$(machine_info os)"
expect_eq windows 'C:\WINDOWS' "$(machine_info windows)"
expect_eq system 'C:\WINDOWS\SYSTEM' "$(machine_info system)"
expect_eq temp 'C:\WINDOWS\TEMP' "$(machine_info temp)"
expect_eq lang 0x0412 "$(machine_info system_language)"
expect_eq codepage 949 "$(machine_info code_page)"
expect_eq admin 0 "$(machine_info administrator)"
[ -d "$(machine_info temp_host)" ] || fail "temp_host is not a folder"
[ -d "$(machine_info windows_host)" ] || fail "windows_host is not a folder"
expect_eq "path" "$QXSETUP_MACHINE/drive_c/WINDOWS/SYSTEM" "$("$QXBIN/qxmachine" path 'c:\windows\system')"

# Refusals: non-zero exit and one line saying why.
check_refusal() {  # check_refusal TEXT ARGS...
    local text=$1; shift
    if "$QXBIN/qxmachine" "$@" 2>"$QX_WORK/err"; then fail "qxmachine $* succeeded"; fi
    expect_eq "lines of qxmachine $*" 1 "$(wc -l <"$QX_WORK/err")"
    expect_contains "$QX_WORK/err" "$text"
}
check_refusal "already exists" init --os xp
check_refusal "unknown OS 'win10'" init --os win10 --force
check_refusal "--os NAME is required" init
check_refusal "--lang wants" init --os xp --lang korean --force
check_refusal "unknown command" frobnicate
check_refusal "on no drive" path 'Q:\x'
"$QXBIN/qxmachine" init --os vista64 --force >/dev/null
expect_eq program_files 'C:\Program Files (x86)' "$(machine_info program_files)"

for sub in init info path; do
    "$QXBIN/qxmachine" "$sub" --help | grep -q "usage: qxmachine $sub" || fail "$sub --help"
done

# A damaged machine.ini is reported, not replaced.
printf '[OS]\r\nNAME = beos\r\n' >"$QXSETUP_MACHINE/machine.ini"
check_refusal "unknown OS 'beos'" info
echo "qxmachine_cli: ok"
