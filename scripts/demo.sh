#!/usr/bin/env bash
# Builds the program and starts it on a demo installation under build/demo/:
# code tables, company 01 with fifty sample clients, and KestorEx.ini beside the binary.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/dipendenze.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target anagrafica anagrafica-setup

radice="$PWD/build/demo"
mkdir -p "$radice/temp"
if [ ! -f "$radice/01/Completo.mdb" ]; then
    build/bin/anagrafica-setup "$radice" 01 --sample-clients 50
fi
if [ ! -f build/bin/KestorEx.ini ]; then
    cat > build/bin/KestorEx.ini <<INI
[PATH]
DIRINI=$radice/
TEMP=$radice/temp/
[BASE]
DITTA=01
[APPLICATIVI]
EXCEL=
EDITOR=
INI
fi
exec build/bin/anagrafica E "$@"
