# Shared helpers of the end-to-end scripts: a scratch folder, checks that say what differed.
set -euo pipefail

QX_WORK=$(mktemp -d /tmp/qxe2e-XXXXXX)
QX_PIDS=()
qx_cleanup() {
    for pid in "${QX_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
    if [ -z "${QXTEST_KEEP:-}" ]; then rm -rf "$QX_WORK"; else echo "kept $QX_WORK" >&2; fi
}
trap qx_cleanup EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

expect_eq() {  # expect_eq WHAT EXPECTED ACTUAL
    [ "$2" == "$3" ] || fail "$1: expected [$2], got [$3]"
}

expect_contains() {  # expect_contains FILE TEXT
    grep -qF -- "$2" "$1" || fail "$1 does not contain [$2]"
}

expect_lacks() {  # expect_lacks FILE TEXT
    if grep -qF -- "$2" "$1"; then fail "$1 contains [$2]"; fi
}

# A fresh machine in the scratch folder; extra arguments go to qxmachine init.
new_machine() {
    export QXSETUP_MACHINE="$QX_WORK/machine-$RANDOM"
    unset QXSETUP_TRANSIENT_DRIVES
    "$QXBIN/qxmachine" init "$@" >/dev/null
}

machine_info() { "$QXBIN/qxmachine" info | sed -n "s/^$1=//p"; }

# The log body with each line's time replaced by T, so it can be compared whole.
log_body() {
    python3 - "$1" <<'PY'
import re, sys
data = open(sys.argv[1], 'rb').read()
body = data[data.index(b'\r\n\r\n\r\n') + 6:]
sys.stdout.write(re.sub(rb'\[\d\d\.\d\d\.\d\d\]  ', b'[T]  ', body).decode('latin-1'))
PY
}
