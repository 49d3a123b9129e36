#!/usr/bin/env bash
# Setup's start-up on machines of several Windows versions: the OS define string and its
# search, the command line's A, L and P switches, the administrator and requirement checks and
# the run information a silent run records.
. "$(dirname "$0")/lib.sh"

product='Software\Velmora\Velmora VP-2200 Series Printer Software'

# Runs DISC/Setup with the arguments; its log, without time stamps and CRs, is $QX_WORK/last.log.
run_setup() {
    local disc=$1
    shift
    local temp_host
    temp_host=$(machine_info temp_host)
    rm -f "$temp_host"/Setup*.log
    "$disc/Setup" "$@"
    log_body "$temp_host/Setup.log" | sed 's/^\[T\]  //; s/\r$//' >"$QX_WORK/last.log"
}

expect_line() {  # expect_line TEXT: the last run's log has a line that is exactly TEXT
    grep -qxF -- "$1" "$QX_WORK/last.log" || fail "no line [$1] in the log:$(printf '\n')$(cat "$QX_WORK/last.log")"
}

expect_no_line() {  # expect_no_line TEXT
    if grep -qF -- "$1" "$QX_WORK/last.log"; then fail "the log has [$1]"; fi
}

# A copy of the sample disc to change for one case.
fixture_disc() {
    local disc="$QX_WORK/$1"
    rm -rf "$disc"
    mkdir -p "$disc"
    cp -r "$QXDISC/Setup" "$QXDISC/Setup.dat" "$QXDISC/Config.ini" "$QXDISC/data" "$disc/"
    echo "$disc"
}

# set_section FILE SECTION LINES: replaces a section's lines (adds the section when missing).
set_section() {
    python3 - "$@" <<'PY'
import re, sys
path, section, lines = sys.argv[1], sys.argv[2], sys.argv[3]
text = open(path, 'rb').read().decode('latin-1').replace('\r\n', '\n')
body = '[%s]\n%s\n' % (section, lines.strip('\n'))
pattern = re.compile(r'^\[%s\]\n(?:(?!\[).*\n?)*' % re.escape(section), re.M)
if pattern.search(text):
    text = pattern.sub(lambda m: body + '\n', text, count=1)
else:
    text += '\n' + body
open(path, 'wb').write(text.replace('\n', '\r\n').encode('latin-1'))
PY
}

# drop_key FILE KEY: removes every line of that key.
drop_key() {
    sed -i "/^$2[ \t]*=/d" "$1"
}

reg32() { "$QXBIN/qxmachine" reg --32 "$@"; }

# --- The OS define string of the sample disc on every version -------------------------------
# check_define OS DEFINE FOLDER: 64-bit Windows is told apart through IsWow64Process.
check_define() {
    new_machine --os "$1"
    run_setup "$QXDISC" /S /U
    expect_eq "define on $1" "$2" "$(sed -n 's/^OS Define String = //p' "$QX_WORK/last.log")"
    expect_line "OS Directory = $3"
    expect_no_line "Find Define"
}
check_define win95 W95 Win9x
check_define win95osr2 W95 Win9x
check_define win98 W98 Win9x
check_define win98se W98 Win9x
check_define winme WME Win9x
check_define nt4 NT4 NT4
check_define win2000 W2K Win2K_XP
check_define xp WXP Win2K_XP
check_define xp64 WXP64 x64
check_define server2003 W2K3 Win2K_XP
check_define vista WVISTA Vista
check_define vista64 WVISTA64 x64
check_define win7 WIN7 Vista
check_define win7x64 WIN7_64 x64

# --- The downward search for an older version --------------------------------------------------
# check_search OS TABLE EXPECTED-LINES: the lines from the search's start to the OS folder.
check_search() {
    local disc
    disc=$(fixture_disc search)
    set_section "$disc/Setup.dat" OS_DEFINE "$2"
    run_setup "$disc" /S /U
    local actual
    actual=$(sed -n '/^OS Define not found/,/^OS Directory = /p' "$QX_WORK/last.log")
    expect_eq "search on $1" "$3" "$actual"
}

new_machine --os vista
check_search vista "0X00020501 = WXP" "$(printf '%s\n' \
    'OS Define not found, so installer finds Lastest Version OS Define' \
    'OS Major Version [0x0006] , minor version [0x0000], 64bit [0]' \
    'Find Define ==> (0X00020600.PRO)' 'Find Define ==> (0X00020600)' \
    'Find Define ==> (0X00020505.PRO)' 'Find Define ==> (0X00020505)' \
    'Find Define ==> (0X00020504.PRO)' 'Find Define ==> (0X00020504)' \
    'Find Define ==> (0X00020503.PRO)' 'Find Define ==> (0X00020503)' \
    'Find Define ==> (0X00020502.PRO)' 'Find Define ==> (0X00020502)' \
    'Find Define ==> (0X00020501.PRO)' 'Find Define ==> (0X00020501)' \
    'OS String was found ==> [WXP]' 'OS Define String = WXP' 'OS Directory = Win2K_XP')"

# A domain controller tries .DOM before .SER, never both.
new_machine --os server2003
sed -i 's/^PRODUCT_TYPE = .*/PRODUCT_TYPE = 2/' "$QXSETUP_MACHINE/machine.ini"
check_search "server2003 as a domain controller" "0X00020500 = W2K" "$(printf '%s\n' \
    'OS Define not found, so installer finds Lastest Version OS Define' \
    'OS Major Version [0x0005] , minor version [0x0002], 64bit [0]' \
    'Find Define ==> (0X00020502.DOM)' 'Find Define ==> (0X00020502.SER)' \
    'Find Define ==> (0X00020502)' \
    'Find Define ==> (0X00020501.DOM)' 'Find Define ==> (0X00020501.SER)' \
    'Find Define ==> (0X00020501)' \
    'Find Define ==> (0X00020500.DOM)' 'Find Define ==> (0X00020500.SER)' \
    'Find Define ==> (0X00020500)' \
    'OS String was found ==> [W2K]' 'OS Define String = W2K' 'OS Directory = Win2K_XP')"

# A server's own key with its suffix is found directly.
new_machine --os server2003
disc=$(fixture_disc server)
set_section "$disc/Setup.dat" OS_DEFINE "$(printf '%s\n' '0X00020502.SER = SRV' '0X00020502 = W2K3')"
run_setup "$disc" /S /U
expect_line "OS Define String = W2K3"

# On 64-bit Windows the 64-bit keys come first, with the product type's suffix after .64.
sed -i 's/^IS_64BIT = .*/IS_64BIT = 1/; s/^WOW64 = .*/WOW64 = 1/' "$QXSETUP_MACHINE/machine.ini"
set_section "$disc/Setup.dat" OS_DEFINE "$(printf '%s\n' '0X00020502 = W2K3' '0X00020502.64.SER = SRV64')"
run_setup "$disc" /S /U
expect_line "OS Define String = SRV64"

# Windows 98 that reports 4.90 in VersionNumber is Windows Me.
new_machine --os win98
"$QXBIN/qxmachine" reg set 'HKLM\Software\Microsoft\Windows\CurrentVersion' VersionNumber \
    REG_SZ 4.90.3000 >/dev/null
run_setup "$QXDISC" /S /U
expect_line "OS Define String = WME"

# A 9x version the table does not know has no define string and no search.
new_machine --os win98
disc=$(fixture_disc nine_x)
set_section "$disc/Setup.dat" OS_DEFINE "0X00010400 = W95"
run_setup "$disc" /S /U
expect_no_line "OS Define"
expect_no_line "Find Define"
expect_line " OS String = "

# RIGHT_ALIGN is forced off on Windows 95 and NT 4.
disc=$(fixture_disc rtl)
set_section "$disc/Setup.dat" OPTION "$(printf '%s\n' 'RIGHT_ALIGN = 1' 'DEVICE_INSTALL = 1')"
for os in win95 win95osr2 nt4; do
    new_machine --os "$os"
    run_setup "$disc" /S /U
    expect_line "RIGHT ALIGN Option is OFF"
done
for os in win98 xp; do
    new_machine --os "$os"
    run_setup "$disc" /S /U
    expect_line "RIGHT ALIGN Option is ON"
done

# --- Command line switches ---------------------------------------------------------------------
new_machine --os xp
run_setup "$QXDISC" /S /L0x412
expect_line "Parameter : /S /L0x412"
expect_line $'Set Language : Language Abbr\t\t= KR'
expect_line $'Set Language : String file\t\t= Lang_KR.str'
expect_eq "LangAbbr after /L" KR "$(reg32 query "HKLM\\$product\\Installing" LangAbbr)"
expect_eq "LangCode after /L" 1042 "$(reg32 query "HKLM\\$product\\Installing" LangCode)"

# The dash in a folder also separates switches: X-Y becomes X, and Y is an ignored token.
new_machine --os xp
run_setup "$QXDISC" /S '/A c:\Program Files\X-Y'
expect_line 'Set Destination ==> c:\Program Files\X'
expect_eq "Dest_Dir after /A" 'c:\Program Files\X' \
    "$(reg32 query "HKLM\\$product\\Installing" Dest_Dir)"
pf_host=$("$QXBIN/qxmachine" path 'C:\Program Files')
[ -d "$pf_host/X" ] || fail "c:\\Program Files\\X was not created"
[ ! -d "$pf_host/Velmora" ] || fail "the emptied default destination was left behind"

# Moving away empties the default destination's chain, but Program Files itself stays.
new_machine --os xp
run_setup "$QXDISC" /S '/A C:\Elsewhere'
expect_line 'Set Destination ==> C:\Elsewhere'
[ -d "$("$QXBIN/qxmachine" path 'C:\Program Files')" ] || fail "Program Files was removed"

new_machine --os xp
run_setup "$QXDISC" /S /PLPT2:
expect_line "Set Port : LPT2:"

# --- Administrator check -----------------------------------------------------------------------
new_machine --os xp --admin 0
run_setup "$QXDISC" /S
expect_contains "$QX_WORK/last.log" \
    "Installing Velmora VP-2200 Series Printer Software needs administrator rights."
expect_eq "a refused run ends at once" "End of installation" "$(tail -n 1 "$QX_WORK/last.log")"
expect_no_line "Parameter :"
[ -z "$(find "$QXSETUP_MACHINE/run" -type s 2>/dev/null)" ] || fail "a window was created"
if reg32 query "HKLM\\$product\\Installing" MFG >/dev/null 2>&1; then
    fail "a refused run wrote its run information"
fi

# Without the text the start goes on.
disc=$(fixture_disc no_admin_text)
drop_key "$disc/Setup.dat" MSG_IS_NOT_ADMIN
new_machine --os xp --admin 0
run_setup "$disc" /S
expect_no_line "administrator rights"
expect_line "Parameter : /S"
expect_eq "run information" Velmora "$(reg32 query "HKLM\\$product\\Installing" MFG)"

# No check on Windows 9x, nor without DEVICE_INSTALL.
new_machine --os win98 --admin 0
run_setup "$QXDISC" /S
expect_line "Parameter : /S"
disc=$(fixture_disc no_device)
set_section "$disc/Setup.dat" OPTION "DEVICE_INSTALL = 0"
new_machine --os xp --admin 0
run_setup "$disc" /S
expect_line "Parameter : /S"

# --- Requirement check -------------------------------------------------------------------------
new_machine --os win95
run_setup "$QXDISC" /S
expect_eq "requirement failure ends the run" "$(printf '%s\n' \
    'Parameter : /S' \
    'Call GetDiskFreeSpaceQX()' \
    'This system could not satisfy the installer Minimum Requirement!' \
    'End of installation')" "$(tail -n 4 "$QX_WORK/last.log")"

# Only an install checks, and only without an earlier installation's folder.
run_setup "$QXDISC" /S /U
expect_no_line "Minimum Requirement"
"$QXBIN/qxmachine" reg set "HKLM\\$product\\Installed" Dest_Dir REG_SZ 'C:\Velmora' >/dev/null
run_setup "$QXDISC" /S
expect_no_line "Minimum Requirement"

# --- The setting file turns a plain start into a script installation --------------------------
disc=$(fixture_disc script)
printf '[INSTALL]\r\nSILENT=1\r\n' >"$disc/Config.ini"
new_machine --os xp
run_setup "$disc"
expect_eq "script run information" Velmora "$(reg32 query "HKLM\\$product\\Installing" MFG)"
new_machine --os xp
run_setup "$QXDISC"
if reg32 query "HKLM\\$product\\Installing" MFG >/dev/null 2>&1; then
    fail "a plain start with SILENT=0 wrote the run information"
fi
# ...but only after the requirement check.
new_machine --os win95
run_setup "$disc"
expect_line "This system could not satisfy the installer Minimum Requirement!"
if reg32 query "HKLM\\$product\\Installing" MFG >/dev/null 2>&1; then
    fail "a script run on an unsupported system wrote the run information"
fi

# --- Run information of a silent install -------------------------------------------------------
# check_run_info OS OS_VER: the values under Installing after "Setup /S".
check_run_info() {
    new_machine --os "$1"
    run_setup "$QXDISC" /S
    local windows temp pf
    windows=$(machine_info windows)
    temp=$(machine_info temp)
    pf=$(machine_info program_files)
    local key="HKLM\\$product\\Installing"
    expect_eq "MFG on $1" Velmora "$(reg32 query "$key" MFG)"
    expect_eq "MDL on $1" "VP-2200 Series" "$(reg32 query "$key" MDL)"
    expect_eq "VIDPID on $1" 'VID_2F1A&PID_0220' "$(reg32 query "$key" VIDPID)"
    expect_eq "Printer_Port on $1" 'VID_2F1A&PID_0220' "$(reg32 query "$key" Printer_Port)"
    expect_eq "Program_Name on $1" "Velmora VP-2200 Series Printer Software" \
        "$(reg32 query "$key" Program_Name)"
    expect_eq "LangCode on $1" 1033 "$(reg32 query "$key" LangCode)"
    expect_eq "LangAbbr on $1" EN "$(reg32 query "$key" LangAbbr)"
    expect_eq "Dest_Dir on $1" "$pf\\Velmora\\VP-2200" "$(reg32 query "$key" Dest_Dir)"
    expect_eq "Win_Dir on $1" "$windows" "$(reg32 query "$key" Win_Dir)"
    expect_eq "Temp_Dir on $1" "$temp" "$(reg32 query "$key" Temp_Dir)"
    expect_eq "STR_FILE on $1" 'D:\data\String\Lang_EN.str' "$(reg32 query "$key" STR_FILE)"
    expect_eq "OS_Ver on $1" "$2" "$(reg32 query "$key" OS_Ver)"
    expect_eq "Setup_Type on $1" "" "$(reg32 query "$key" Setup_Type 2>/dev/null || true)"
}
check_run_info win98 1
check_run_info nt4 2
check_run_info xp 4
check_run_info win7x64 5

# The 64-bit machine keeps the program's values in its 32-bit view.
expect_eq "native view" Velmora \
    "$("$QXBIN/qxmachine" reg query "HKLM\\Software\\Wow6432Node\\Velmora\\Velmora VP-2200 Series Printer Software\\Installing" MFG)"
if "$QXBIN/qxmachine" reg query 'HKLM\Software\Velmora' >/dev/null 2>&1; then
    fail "the 32-bit program's key appeared in the native view"
fi

echo "setup_context: ok"
