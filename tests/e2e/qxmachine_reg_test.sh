#!/usr/bin/env bash
# qxmachine reg: query, set, delete, deny-delete, export/import round trip, views and refusals.
. "$(dirname "$0")/lib.sh"

Q="$QXBIN/qxmachine"
new_machine --os win7x64

# Values of every type, read back alone and as a listing.
"$Q" reg set 'HKLM\Software\QxE2E' text REG_SZ 'hello world'
"$Q" reg set 'HKEY_LOCAL_MACHINE\Software\QxE2E' path REG_EXPAND_SZ '%SystemRoot%\x'
"$Q" reg set 'HKLM\Software\QxE2E' hexnum REG_DWORD 0x2a
"$Q" reg set 'HKLM\Software\QxE2E' decnum REG_DWORD 4294967295
"$Q" reg set 'HKLM\Software\QxE2E' bytes REG_BINARY '01 ab,FF'
"$Q" reg set 'HKLM\Software\QxE2E' list REG_MULTI_SZ 'one|two||three'
"$Q" reg set 'hklm\software\qxe2e\Child' '' REG_SZ 'default'
"$Q" reg set 'HKLM\Software\QxE2E' dash REG_SZ -- '-h'
expect_eq "one value" 42 "$("$Q" reg query 'HKLM\Software\QxE2E' hexnum)"
expect_eq "multi" 'one|two|three' "$("$Q" reg query 'HKLM\Software\QxE2E' list)"
expect_eq "dash" '-h' "$("$Q" reg query 'HKLM\Software\QxE2E' dash)"
expect_eq "listing" "text=REG_SZ:hello world
path=REG_EXPAND_SZ:%SystemRoot%\x
hexnum=REG_DWORD:42
decnum=REG_DWORD:4294967295
bytes=REG_BINARY:01abff
list=REG_MULTI_SZ:one|two|three
dash=REG_SZ:-h
Child\\" "$("$Q" reg query 'HKLM\Software\QxE2E')"
expect_eq "default value" "=REG_SZ:default" "$("$Q" reg query 'HKLM\Software\QxE2E\Child')"

# Views: the native view by default, --32 for what the 32-bit program sees.
"$Q" reg --32 set 'HKLM\Software\QxView' v REG_SZ program
expect_eq "32-bit view" program "$("$Q" reg --32 query 'HKLM\Software\QxView' v)"
expect_eq "native path" program "$("$Q" reg query 'HKLM\Software\Wow6432Node\QxView' v)"

# Export and import round trip through the program's registry file format.
"$Q" reg --32 set 'HKLM\Software\QxRound' v REG_SZ x
"$Q" reg --32 set 'HKLM\Software\QxRound' w REG_DWORD 255
"$Q" reg --32 set 'HKLM\Software\QxRound' b REG_BINARY 0102
"$Q" reg --32 set 'HKLM\Software\QxRound\Sub' p REG_SZ 'C:\new\readme.txt'
"$Q" reg export 'HKLM\Software\QxRound' "$QX_WORK/round.reg"
printf '[HKEY_LOCAL_MACHINE\\Software\\QxRound]\r\n"v"="x"\r\n"w"=dword:000000ff\r\n"b"=hex:\r\n[HKEY_LOCAL_MACHINE\\Software\\QxRound\\Sub]\r\n"p"="C:\\new\\readme.txt"\r\n' \
    >"$QX_WORK/expected.reg"
cmp -s "$QX_WORK/expected.reg" "$QX_WORK/round.reg" || fail "exported file: $(cat -A "$QX_WORK/round.reg")"
"$Q" reg --32 delete 'HKLM\Software\QxRound'
"$Q" reg import "$QX_WORK/round.reg"
expect_eq "imported listing" "v=REG_SZ:x
w=REG_DWORD:255
Sub\\" "$("$Q" reg --32 query 'HKLM\Software\QxRound')"
expect_eq "imported path" 'C:\new\readme.txt' "$("$Q" reg --32 query 'HKLM\Software\QxRound\Sub' p)"

# Deleting values and trees; the deny rule refuses until lifted.
"$Q" reg delete 'HKLM\Software\QxE2E' text
"$Q" reg deny-delete 'HKLM\Software\QxE2E\Child' 1

check_refusal() {  # check_refusal TEXT ARGS...
    local text=$1
    shift
    if "$Q" "$@" 2>"$QX_WORK/err" >/dev/null; then fail "qxmachine $* succeeded"; fi
    expect_eq "lines of qxmachine $*" 1 "$(wc -l <"$QX_WORK/err")"
    expect_contains "$QX_WORK/err" "$text"
}
check_refusal "error 2: The system cannot find the file specified." \
    reg query 'HKLM\Software\QxE2E' text
check_refusal "error 5: Access is denied." reg delete 'HKLM\Software\QxE2E'
"$Q" reg query 'HKLM\Software\QxE2E\Child' >/dev/null || fail "a refused delete removed the key"
"$Q" reg deny-delete 'HKLM\Software\QxE2E\Child' 0
"$Q" reg delete 'HKLM\Software\QxE2E'
check_refusal "error 2" reg query 'HKLM\Software\QxE2E'

# A file that exists is never replaced; unknown lines fail the import after the rest loaded.
check_refusal "error 80: The file exists." reg export 'HKLM\Software\QxRound' "$QX_WORK/round.reg"
printf '[HKEY_CURRENT_USER\\Software\\QxBad]\r\n"good"="1"\r\n"bad"=qword:5\r\n' >"$QX_WORK/bad.reg"
check_refusal "error 13: The data is invalid." reg import "$QX_WORK/bad.reg"
expect_eq "good line loaded" 1 "$("$Q" reg query 'HKCU\Software\QxBad' good)"
check_refusal "error 2" reg import "$QX_WORK/none.reg"
check_refusal "error 3" reg export 'HKLM\Software\QxRound' "$QX_WORK/no/such/dir.reg"

# Usage errors.
check_refusal "starts with no registry root" reg query 'HKXX\Software'
check_refusal "unknown type 'REG_QWORD'" reg set 'HKLM\Software\X' n REG_QWORD 1
check_refusal "is no REG_DWORD data" reg set 'HKLM\Software\X' n REG_DWORD 0x100000000
check_refusal "is no REG_BINARY data" reg set 'HKLM\Software\X' n REG_BINARY 0g
check_refusal "a root key cannot be deleted" reg delete 'HKCU'
check_refusal "HKEY_USERS has no name" reg export 'HKU\x' "$QX_WORK/users.reg"
check_refusal "has no command 'frob'" reg frob
check_refusal "deny-delete wants KEY 0|1" reg deny-delete 'HKLM\Software' 2

"$Q" reg --help | grep -q "usage: qxmachine reg" || fail "reg --help"
for sub in query set delete deny-delete export import; do
    "$Q" reg "$sub" --help | grep -q "usage: qxmachine reg.* $sub" || fail "reg $sub --help"
done
echo "qxmachine_reg: ok"
