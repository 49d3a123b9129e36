#!/usr/bin/env bash
# The sample disc's start-up summary across Windows versions and system languages.
. "$(dirname "$0")/lib.sh"

declare -A os_string=([win98]=W98 [xp]=WXP [vista64]=WVISTA64 [win7x64]=WIN7_64)
declare -A os_folder=([win98]=Win9x [xp]=Win2K_XP [vista64]=x64 [win7x64]=x64)
# System language -> the id and abbreviation the disc runs in (Spanish is not on the disc).
declare -A lang_id=([0x0409]=0x0409 [0x0412]=0x0412 [0x0C0A]=0x0009)
declare -A lang_abbr=([0x0409]=EN [0x0412]=KR [0x0C0A]=EN)

for os in win98 xp vista64 win7x64; do
    for lang in 0x0409 0x0412 0x0C0A; do
        new_machine --os "$os" --lang "$lang"
        "$QXDISC/Setup" /S
        log="$(machine_info temp_host)/Setup.log"
        what="$os $lang"
        expect_contains "$log" " OS String = ${os_string[$os]}"
        expect_contains "$log" " OS Directroy = ${os_folder[$os]}"
        expect_contains "$log" " Windows Directroy = $(machine_info windows)"
        expect_contains "$log" " System Directroy = $(machine_info system)"
        expect_contains "$log" " Language ID = ${lang_id[$lang]}"
        expect_contains "$log" " Language Abbreviation = ${lang_abbr[$lang]}"
        expect_contains "$log" " String file Name is [D:\\data\\String\\Lang_${lang_abbr[$lang]}.str]"
        expect_contains "$log" "Set Language : System Language ID	= 0X${lang#0x}"
        expect_contains "$log" "End of installation"
        echo "ok: $what"
    done
done
echo "setup_matrix: ok"
