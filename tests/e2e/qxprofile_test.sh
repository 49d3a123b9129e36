#!/usr/bin/env bash
# qxprofile on profile files written here: what the reader makes of comments, quotes, headers,
# bare keys, numbers and STRINGS references, and the tool's exit statuses.
set -euo pipefail

: "${QXPROFILE:?QXPROFILE must name the qxprofile binary}"

work=$(mktemp -d)
machine=$(mktemp -d)
trap 'rm -rf "$work" "$machine"' EXIT
export QXSETUP_MACHINE=$machine
unset QXSETUP_TRANSIENT_DRIVES

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# crlf FILE LINE...: writes the lines with CR LF breaks.
crlf() {
    local file=$1
    shift
    printf '%s\r\n' "$@" >"$work/$file"
}

# expect STATUS OUTPUT ARGS...: runs qxprofile and compares its exit status and output.
expect() {
    local want_status=$1 want_out=$2
    shift 2
    local out status
    set +e
    out=$(cd "$work" && "$QXPROFILE" "$@" 2>"$work/stderr")
    status=$?
    set -e
    if [[ $status != "$want_status" || $out != "$want_out" ]]; then
        fail "qxprofile $* gave status $status and '$out', wanted $want_status and '$want_out'" \
            "(stderr: $(cat "$work/stderr"))"
    fi
}

# expect_reason STATUS ARGS...: a failure with a one-line reason on stderr and nothing on stdout.
expect_reason() {
    local want_status=$1
    shift
    expect "$want_status" "" "$@"
    local lines
    lines=$(wc -l <"$work/stderr")
    if [[ $lines != 1 ]]; then
        fail "qxprofile $* wrote $lines lines to stderr, wanted one reason"
    fi
}

crlf main.ini \
    '// the author notes this file' \
    '[Main]' \
    'Path = C:\x // trailing comment' \
    'Url = "http://host/a" // comment after a quoted value' \
    'Flag' \
    '/* block */Key=1' \
    '[Other]' \
    'X = 9' \
    '[ main ]' \
    'Later = 2' \
    'Ref = %A%!' \
    'Missing = %Z%' \
    'Esc = a\nb' \
    'Dup = first' \
    'Dup = second' \
    '[STRINGS]' \
    '%A% = "x%B%"' \
    '%B% = y'
crlf second.str '[STRINGS]' '%B% = "second"'

expect 0 $'Main\nOther\nSTRINGS' sections main.ini
expect 0 $'Path = C:\\x\nUrl = "http://host/a"\nFlag\nKey = 1\nLater = 2\nRef = xy!\nMissing = %Z%\nEsc = a\nb\nDup = first\nDup = second' \
    keys main.ini MAIN
expect 0 'C:\x' get main.ini Main Path
expect 0 '"http://host/a"' get main.ini Main Url
expect 0 '' get main.ini main flag
expect 0 '1' get main.ini Main Key
expect 0 '2' get main.ini Main Later
expect 0 'xy!' get main.ini Main Ref
expect 0 'xsecond!' get --second second.str main.ini Main Ref
expect 0 '%Z%' get main.ini Main Missing
expect 0 'a\nb' get main.ini Main Esc
expect 0 $'a\nb' get --escapes main.ini Main Esc
expect 0 'first' get main.ini Main Dup
expect 0 '9' get "$work/main.ini" Other X
expect_reason 13 get main.ini Main Nope
expect_reason 13 get main.ini Nope X
expect_reason 13 keys main.ini Nope
expect_reason 13 dword main.ini Main Nope

crlf numbers.ini '[N]' 'a = 0x1F' 'b = 0X1f' 'c = 12abc' 'd = 0x12G4' 'e = 0x123456789' \
    'f = -5' 'g = abc' 'h = 31'
expect 0 31 dword numbers.ini N a
expect 0 31 dword numbers.ini N b
expect 0 12 dword numbers.ini N c
expect 0 4612 dword numbers.ini N d
expect 0 $((0x23456789)) dword numbers.ini N e
expect 0 4294967291 dword numbers.ini N f
expect 0 0 dword numbers.ini N g
expect 0 31 dword numbers.ini N h

# An odd quote makes every later comment marker text.
crlf quote.ini '[S]' 'A = "open' 'B = 1 // kept' 'C = /* kept */'
expect 0 '1 // kept' get quote.ini S B
expect 0 '/* kept */' get quote.ini S C

# An unterminated block comment hides the rest of the file.
crlf open.ini '[S]' 'A = 1 /* never closed' '[T]' 'B = 2'
expect 0 'S' sections open.ini
expect 0 '1' get open.ini S A

# A line over 4095 bytes ends the reading; what came before stays.
long=$(head -c 4998 /dev/zero | tr '\0' x)
crlf long.ini '[S]' 'A = 1' "L=$long" '[T]' 'B = 2'
expect 0 'S' sections long.ini
expect 0 '1' get long.ini S A

# Bytes after a NUL are not read.
printf '[S]\r\nA = 1\r\nB = x\0y\r\n[T]\r\n' >"$work/binary.ini"
expect 0 'S' sections binary.ini
expect 0 'x' get binary.ini S B

: >"$work/empty.ini"
expect_reason 13 sections empty.ini

# Names with spaces and Windows-unfriendly host folders still map into the machine.
mkdir -p "$work/sub dir"
crlf "sub dir/spaced name.ini" '[S]' 'A = spaced'
expect 0 'spaced' get "sub dir/spaced name.ini" S A

# Usage.
expect_reason 2
expect_reason 2 frobnicate main.ini
expect_reason 2 get main.ini Main
expect_reason 2 get --second
expect_reason 2 get --bogus main.ini Main Path
expect_reason 2 sections
expect_reason 1 get missing.ini Main Path
expect_reason 1 get --second missing.str main.ini Main Path
expect_reason 1 sections "$work"
for command in '' sections keys get dword; do
    set +e
    help=$(cd "$work" && "$QXPROFILE" $command --help 2>&1)
    status=$?
    set -e
    if [[ $status != 0 || $help != Usage:* ]]; then
        fail "qxprofile $command --help gave status $status and '$help'"
    fi
done

if ((failures > 0)); then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "qxprofile: all checks passed"
