#!/bin/sh
# Makes the spreadsheet files the sheets tests read, with LibreOffice itself
# (Debian's libreoffice-calc-nogui), from fleet-source.csv: columns in another order
# than the groups tool writes them, a column it does not read, and IDs a spreadsheet
# would turn into numbers ("0012", "1E5"). Run it by hand and commit the results:
#     tests/sheets/files/make-files.sh
set -eu
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
lo() { soffice -env:UserInstallation="file://$work/profile" --headless "$@" >/dev/null 2>&1; }

# Opened as UTF-8 with the ID columns as text (Vehicle, Notes and Trailer: format 2),
# then saved as .xlsx, .ods and as CSV with semicolons in Windows-1252 (charset 1).
text_columns='CSV:44,34,76,1,1/2/2/1/3/2/4/2'
lo --infilter="$text_columns" --convert-to xlsx --outdir "$work" fleet-source.csv
lo --infilter="$text_columns" --convert-to ods --outdir "$work" fleet-source.csv
lo --infilter="$text_columns" --convert-to 'csv:Text - txt - csv (StarCalc):59,34,1,1' \
    --outdir "$work" fleet-source.csv
mv "$work/fleet-source.xlsx" fleet.xlsx
mv "$work/fleet-source.ods" fleet.ods
mv "$work/fleet-source.csv" fleet-semicolon-1252.csv

# The mistake the import must refuse: the UTF-8 file opened as Windows-1252 with the
# default column types, saved again as UTF-8 CSV ("Zoë 7" becomes "ZoÃ« 7").
lo --infilter='CSV:44,34,1,1' --convert-to 'csv:Text - txt - csv (StarCalc):44,34,76,1' \
    --outdir "$work" fleet-source.csv
mv "$work/fleet-source.csv" fleet-mojibake.csv

# A sheet typed as spreadsheets type it by default: "0012" becomes the number 12 and
# "2026-12-07" a date.
lo --infilter='CSV:44,34,76,1' --convert-to xlsx --outdir "$work" typed-source.csv
lo --infilter='CSV:44,34,76,1' --convert-to ods --outdir "$work" typed-source.csv
mv "$work/typed-source.xlsx" typed.xlsx
mv "$work/typed-source.ods" typed.ods
ls -l fleet.xlsx fleet.ods fleet-semicolon-1252.csv fleet-mojibake.csv typed.xlsx typed.ods
