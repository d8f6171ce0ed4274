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

# A group with what spreadsheets like to change: leading zeros, a number's forms, a
# date's, a truth value, a formula's start, spaces at the start and doubled, letters
# beyond ASCII.
printf 'slot,vehicle,trailer\n0,0012,007\n1,1E5,TR-0001\n2, SP,A  B\n3,Zoë 7,Müller-Straße\n4,0000000000000001,12-5\n5,TRUE,MAR 12\n6,="-A1",5 PM\n7,123456789012345,1 2\n95,ÿ—Ä,\n' \
    > group.csv
"$tool" import group.csv Check >/dev/null
"$tool" export --plain Check expected.csv
"$tool" export Check out.xlsx
"$tool" export Check out.ods
"$tool" export --plain Check plain.csv
"$tool" export Check out.csv
"$tool" export --separator semicolon --encoding windows-1252 Check out-1252.csv

# LibreOffice's view of each file, as UTF-8 CSV with every text cell in quotes.
as_csv='csv:Text - txt - csv (StarCalc):44,34,76,1,,0,true'
mkdir seen again
lo --convert-to "$as_csv" --outdir seen out.xlsx
lo --convert-to "$as_csv" --outdir seen/ods out.ods
lo --infilter='CSV:44,34,76,1,1/2/2/2/3/2' --convert-to "$as_csv" --outdir seen/csv plain.csv
# The CSV export writes by default, as a double-click opens it: every setting
# LibreOffice's default (standard columns, no special numbers, formulas evaluated) but
# the separator and the character set, which its import dialog takes from the file
# (headless, without a dialog, it would take the system's and pass over the mark).
lo --infilter='CSV:44,34,76' --convert-to "$as_csv" --outdir seen/default out.csv
lo --infilter='CSV:59,34,1' --convert-to "$as_csv" --outdir seen/1252 out-1252.csv
# Saved again by LibreOffice, then imported: the IDs must come back unchanged.
lo --convert-to xlsx --outdir again out.xlsx
lo --convert-to ods --outdir again out.ods
failed=0
for f in again/out.xlsx again/out.ods; do
    name="Again $(basename "$f")"
    "$tool" import "$f" "$name" >/dev/null && "$tool" export --plain "$name" back.csv
    if cmp -s back.csv expected.csv; then echo "ok: $f, saved by LibreOffice, imports unchanged"
    else echo "FAILED: $f, saved by LibreOffice, imports differently"; failed=1; fi
done
# The same file without its ="…", as CSV used to be written: what it proves is lost.
lo --infilter='CSV:44,34,76' --convert-to "$as_csv" --outdir seen/plain-default plain.csv
changed=$(python3 - seen/plain-default/plain.csv seen/default/out.csv <<'PY'
import csv, sys
a, b = (list(csv.reader(open(f, encoding="utf-8", newline=""))) for f in sys.argv[1:3])
print(sum(x != y for ra, rb in zip(a, b) for x, y in zip(ra[1:], rb[1:])))
PY
)
if [ "$changed" -eq 0 ]; then
    echo "FAILED: the plain CSV opens as the default one does: the check proves nothing"
    failed=1
else
    echo "ok: the plain CSV, opened so, changes $changed ID cells; the default one none"
fi
for f in seen/out.csv seen/ods/out.csv seen/csv/plain.csv seen/default/out.csv \
    seen/1252/out-1252.csv; do
    if python3 - expected.csv "$f" <<'PY'
import csv, sys
# The plain form keeps ="-A1" for a cell a spreadsheet would run: its text is -A1.
def text(cell):
    return cell[2:-1].replace('""', '"') if cell.startswith('="') and cell.endswith('"') else cell
# Opened with every column as text, a spreadsheet shows the plain form's ="-A1" as it
# stands (what that form is for: programs).
raw = sys.argv[2].endswith("plain.csv")
expected = [[c if raw else text(c) for c in row]
            for row in csv.reader(open(sys.argv[1], encoding="utf-8", newline=""))]
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
