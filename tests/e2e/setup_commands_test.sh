#!/usr/bin/env bash
# The command sections a windowless run ends with: the start section's END_CMD, a registry
# row in it, and a section that runs itself, which is refused with one log line.
. "$(dirname "$0")/lib.sh"

reg32() { "$QXBIN/qxmachine" reg --32 "$@"; }

run_setup() {  # run_setup DISC ARGS...: the log, without time stamps and CRs, in last.log
    local disc=$1
    shift
    local temp_host
    temp_host=$(machine_info temp_host)
    rm -f "$temp_host"/Setup*.log
    "$disc/Setup" "$@"
    log_body "$temp_host/Setup.log" | sed 's/^\[T\]  //; s/\r$//' >"$QX_WORK/last.log"
}

new_machine --os xp
disc="$QX_WORK/commands"
rm -rf "$disc"
mkdir -p "$disc"
cp -r "$QXDISC/Setup" "$QXDISC/Setup.dat" "$QXDISC/Config.ini" "$QXDISC/data" "$disc/"
# The start section gains an END_CMD; the command file the sections it names.
python3 - "$disc/data/qxinst.qxi" "$disc/data/qxinst.cmd" <<'PY'
import sys
qxi, cmd = sys.argv[1], sys.argv[2]
text = open(qxi, 'rb').read().decode('latin-1')
text = text.replace('[INSTALL_START_INFO]\n', '[INSTALL_START_INFO]\nEND_CMD = E2E_END\n', 1)
text = text.replace('[INSTALL_START_INFO]\r\n', '[INSTALL_START_INFO]\r\nEND_CMD = E2E_END\r\n', 1)
assert 'END_CMD = E2E_END' in text
open(qxi, 'wb').write(text.encode('latin-1'))
with open(cmd, 'ab') as out:
    out.write(b'\r\n[E2E_END]\r\nCT_COMMAND = E2E_LOOP\r\nCT_ADDREG = E2E_REG\r\n'
              b'\r\n[E2E_LOOP]\r\nCT_COMMAND=E2E_LOOP\r\n'
              b'\r\n[E2E_REG]\r\nROOTKEY = HKLM\r\nKEYNAME = Software\\QxE2E\\EndCmd\r\n'
              b'VALUE = REG_SZ, Ran, yes\r\nVALUE = REG_DWORD, Count, 7\r\n')
PY

run_setup "$disc" /S
expect_eq "END_CMD value" yes "$(reg32 query 'HKLM\Software\QxE2E\EndCmd' Ran)"
expect_eq "END_CMD number" 7 "$(reg32 query 'HKLM\Software\QxE2E\EndCmd' Count)"
expect_contains "$QX_WORK/last.log" "Call Command : Type = CT_COMMAND, Param1=E2E_END,"
expect_eq "refusals" 1 "$(grep -c 'Command section \[E2E_LOOP\] refused' "$QX_WORK/last.log")"

# A silent uninstall has no end command.
reg32 delete 'HKLM\Software\QxE2E' >/dev/null 2>&1 || true
run_setup "$disc" /S /U
if grep -q "Param1=E2E_END" "$QX_WORK/last.log"; then fail "the uninstall ran END_CMD"; fi
echo "setup_commands: ok"
