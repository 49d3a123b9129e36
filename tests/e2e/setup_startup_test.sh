#!/usr/bin/env bash
# Setup started from the sample disc: log files, header, command line, single instance.
. "$(dirname "$0")/lib.sh"

new_machine --os xp
temp_host=$(machine_info temp_host)

# Two runs leave Setup.log and Setup0.log.
"$QXDISC/Setup" /S /U
"$QXDISC/Setup"
[ -f "$temp_host/Setup.log" ] || fail "no Setup.log in $temp_host"
[ -f "$temp_host/Setup0.log" ] || fail "no Setup0.log in $temp_host"

expected_header=$(printf '%s\r\n' \
    "////////////////////////////////////////////////////////////" \
    "//                                                        //" \
    "// Velmora Printer Installer Program                      //" \
    "//                                                        //" \
    "////////////////////////////////////////////////////////////" \
    "")
actual_header=$(head -c ${#expected_header} "$temp_host/Setup.log")
expect_eq "log header" "$expected_header" "$actual_header"
date_line=$(sed -n '7p' "$temp_host/Setup.log" | tr -d '\r')
[[ "$date_line" =~ ^Data\ :\ (Sunday|Monday|Tuesday|Wednesday|Thursday|Friday|Saturday),\ [A-Z][a-z]+\ [0-9]{2},\ [0-9]{4}$ ]] ||
    fail "date line [$date_line]"
expect_eq "first run ends" "$(printf '[T]  Parameter : /S /U\r\n[T]  End of installation\r')" \
    "$(log_body "$temp_host/Setup.log" | tail -n 2)"
expect_eq "second run ends" \
    "$(printf '[T]  Parameter : \r\n[T]  Call GetDiskFreeSpaceQX()\r\n[T]  End of installation\r')" \
    "$(log_body "$temp_host/Setup0.log" | tail -n 3)"

# A running instance without a window: the second start ends at once.
# The class and mutex are named after the product title the disc gives.
class="Velmora VP-2200 Series Printer Software Installer Program"
"$QXHOLDER" "$class" >"$QX_WORK/holder1.out" &
QX_PIDS+=($!)
for _ in $(seq 100); do grep -q ready "$QX_WORK/holder1.out" && break; sleep 0.05; done
"$QXDISC/Setup" /S
expect_eq "second instance" \
    "$(printf '[T]  There is a previous running instance of this application, so it is terminated.\r\n[T]  End of installation\r')" \
    "$(log_body "$temp_host/Setup1.log" | tail -n 2)"
expect_lacks "$temp_host/Setup1.log" "Parameter :"
kill "${QX_PIDS[-1]}"; wait "${QX_PIDS[-1]}" 2>/dev/null || true

# A running instance with its window: that window is activated and the start goes on.
"$QXHOLDER" "$class" --window >"$QX_WORK/holder2.out" &
QX_PIDS+=($!)
for _ in $(seq 100); do grep -q ready "$QX_WORK/holder2.out" && break; sleep 0.05; done
"$QXDISC/Setup" /S
expect_contains "$QX_WORK/holder2.out" "message 0x802"
expect_lacks "$temp_host/Setup2.log" "previous running instance"
expect_contains "$temp_host/Setup2.log" "Parameter : /S"

# The mutex went with the holder: a later start is a first instance again.
kill "${QX_PIDS[-1]}"; wait "${QX_PIDS[-1]}" 2>/dev/null || true
"$QXDISC/Setup" /S
expect_lacks "$temp_host/Setup3.log" "previous running instance"
echo "setup_startup: ok"
