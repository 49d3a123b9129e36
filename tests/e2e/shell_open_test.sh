#!/usr/bin/env bash
# The machine's shell: qxmachine init seeds the associations and the helper they run; the
# helper records what it opens and hands it to the host's xdg-open when asked to.
. "$(dirname "$0")/lib.sh"

Q="$QXBIN/qxmachine"
TAB=$'\t'

for os in win7x64 win98; do
    new_machine --os "$os"
    windows=$(machine_info windows)
    helper="$windows\\qxshellopen.exe"
    expect_eq "$os helper command" "=REG_SZ:\"$helper\" \"%1\"" \
        "$("$Q" reg query 'HKLM\Software\Classes\txtfile\shell\open\command')"
    expect_eq "$os .html" "=REG_SZ:htmlfile" "$("$Q" reg query 'HKCR\.html')"
    for cls in http https Folder Directory; do
        expect_eq "$os $cls" "=REG_SZ:\"$helper\" \"%1\"" \
            "$("$Q" reg query "HKCR\\$cls\\shell\\open\\command")"
    done
    browser=$("$Q" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\App Paths\IEXPLORE.EXE')
    expect_contains <(echo "$browser") 'Internet Explorer\iexplore.exe'
    [ -x "$("$Q" path "${browser#=REG_SZ:}")" ] || fail "$os: the browser is not in the machine"

    # The helper, run as an association runs it, records its arguments.
    host_helper=$("$Q" path "$helper")
    [ -x "$host_helper" ] || fail "$os: $helper is not in the machine"
    "$host_helper" 'C:\docs\read me.txt'
    "$host_helper" 'http://printer.test/' extra
    expect_eq "$os record" "open${TAB}C:\\docs\\read me.txt
open${TAB}http://printer.test/${TAB}extra" "$(cat "$QXSETUP_MACHINE/run/shell-open.log")"
done

# With QXSETUP_HOST_OPEN=1 the target goes to xdg-open, a Windows path as its host path.
mkdir -p "$QX_WORK/bin"
cat > "$QX_WORK/bin/xdg-open" <<SH
#!/bin/sh
printf '%s\n' "\$@" >> "$QX_WORK/xdg-open.txt"
SH
chmod +x "$QX_WORK/bin/xdg-open"
new_machine --os win7x64
host_helper=$("$Q" path 'C:\Windows\qxshellopen.exe')
PATH="$QX_WORK/bin:$PATH" QXSETUP_HOST_OPEN=1 "$host_helper" 'C:\Windows\notes.txt'
PATH="$QX_WORK/bin:$PATH" QXSETUP_HOST_OPEN=1 "$host_helper" 'http://printer.test/a b'
# Without the switch the host is left alone.
PATH="$QX_WORK/bin:$PATH" "$host_helper" 'C:\Windows\quiet.txt'
expect_eq "xdg-open" "$("$Q" path 'C:\Windows')/notes.txt
http://printer.test/a b" "$(cat "$QX_WORK/xdg-open.txt")"
expect_contains "$QXSETUP_MACHINE/run/shell-open.log" "open${TAB}C:\\Windows\\quiet.txt"
echo "shell_open: ok"
