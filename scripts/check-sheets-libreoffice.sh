#!/bin/sh
# Proof by hand (make sheets-libreoffice-check) that the files the groups tool writes
# open in LibreOffice with the same cells, every one of them text, and that a file
# LibreOffice saves again imports unchanged. Needs libreoffice-calc-nogui; make test
# never runs this.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD:-$top/build}
tool=$build/tools/haltguard-ids-groups
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config"
"$build/tools/haltguard-ids-setup" --quiet
lo() { soffice -env:UserInstallation="file://$work/profile" --headless "$@" >/dev/null 2>&1; }
cd "$work"

# A group with what spreadsheets like to change: leading zeros, a number's form,
# spaces at the ends and doubled, letters beyond ASCII.
printf 'slot,vehicle,trailer\n0,0012,007\n1,1E5,TR-0001\n2, SP ,A  B\n3,Zoë 7,Müller-Straße\n95,ÿ—Ä,\n' \
    > group.csv
"$tool" import group.csv Check >/dev/null
"$tool" export Check expected.csv
"$tool" export Check out.xlsx
"$tool" export Check out.ods
"$tool" export Check out.csv
"$tool" export --separator semicolon --encoding windows-1252 Check out-1252.csv

# LibreOffice's view of each file, as UTF-8 CSV with every text cell in quotes.
as_csv='csv:Text - txt - csv (StarCalc):44,34,76,1,,0,true'
mkdir seen again
lo --convert-to "$as_csv" --outdir seen out.xlsx
lo --convert-to "$as_csv" --outdir seen/ods out.ods
lo --infilter='CSV:44,34,76,1,1/2/2/2/3/2' --convert-to "$as_csv" --outdir seen/csv out.csv
lo --infilter='CSV:59,34,1,1,1/2/2/2/3/2' --convert-to "$as_csv" --outdir seen/1252 out-1252.csv
# Saved again by LibreOffice, then imported: the IDs must come back unchanged.
lo --convert-to xlsx --outdir again out.xlsx
lo --convert-to ods --outdir again out.ods
failed=0
for f in again/out.xlsx again/out.ods; do
    name="Again $(basename "$f")"
    "$tool" import "$f" "$name" >/dev/null && "$tool" export "$name" back.csv
    if cmp -s back.csv expected.csv; then echo "ok: $f, saved by LibreOffice, imports unchanged"
    else echo "FAILED: $f, saved by LibreOffice, imports differently"; failed=1; fi
done
for f in seen/out.csv seen/ods/out.csv seen/csv/out.csv seen/1252/out-1252.csv; do
    if python3 - expected.csv "$f" <<'PY'
import csv, sys
expected = list(csv.reader(open(sys.argv[1], encoding="utf-8", newline="")))
raw = open(sys.argv[2], encoding="utf-8", newline="").read().splitlines()
seen = list(csv.reader(raw))
seen = [row + [""] * (3 - len(row)) for row in seen]
quoted = all(f.startswith('"') for line in raw for f in line.split(",") if f)
sys.exit(0 if seen == expected and quoted else 1)
PY
    then echo "ok: $f: the same cells, all text"
    else echo "FAILED: $f differs:"; diff "$f" expected.csv | head -8; failed=1; fi
done
exit $failed
