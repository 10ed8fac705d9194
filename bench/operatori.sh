#!/usr/bin/env bash
# Several operators at once, at full counts, on files and on a local server: 1, 2 and 8
# programs each inserting 1,000 clients through the client form (inserts per second, every
# client stored once under a code of its own, each operator told of a changed code), then
# 100 cycles of a program killed in the middle of its saves while another writes, with the
# server restarted every fifth cycle. Prints the figures.
# Usage: bench/operatori.sh [BUILD]   (default build-release, else build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-release}
[ -x "$build/bin/anagrafica_operatore" ] || build=build
operatore=$build/bin/anagrafica_operatore
setup=$build/bin/anagrafica-setup
inserimenti=${INSERIMENTI:-1000}
cicli=${CICLI:-100}

dir=$(mktemp -d)
chmod 755 "$dir"
fine() {
    jobs -p | xargs -r kill -9 2>/dev/null || true
    scripts/pg_prova.sh ferma "$dir/pg"
    rm -rf "$dir"
}
trap fine EXIT
server=$(scripts/pg_prova.sh avvia "$dir/pg")

for motore in file server; do
    for programmi in 1 2 8; do
        radice="$dir/$motore$programmi"
        mkdir -p "$radice/bin"
        if [ $motore = server ]; then
            base="$server dbname=p$programmi"
            psql "$server" -XAtqc "CREATE DATABASE p$programmi"
            "$setup" --server "$base" 01 >/dev/null
            sql() { psql "$base options=-csearch_path=ditta_01" -XAtqc "$1"; }
        else
            base=""
            "$setup" "$radice/dati" 01 >/dev/null
            sql() { sqlite3 "$radice/dati/01/Completo.mdb" "$1"; }
        fi
        printf '[PATH]\nDIRINI=%s/dati/\n[BASE]\nDITTA=01\nSERVER=%s\n' "$radice" "$base" \
            >"$radice/bin/KestorEx.ini"
        inizio=$(date +%s.%N)
        for p in $(seq $programmi); do
            "$operatore" "$radice/bin" inserisci "$inserimenti" "P$p" >"$radice/P$p.out" 2>&1 &
        done
        wait
        durata=$(echo "$(date +%s.%N) - $inizio" | bc)
        attesi=$((programmi * inserimenti))
        righe=$(sql "SELECT count(*) || ' ' || count(DISTINCT CliCodice) || ' ' || count(DISTINCT CliRagsoc) FROM Clienti")
        cambiati=$(cat "$radice"/P*.out | awk '/^I / && $2 != $3 { n++ } END { print n + 0 }')
        detti=$(cat "$radice"/P*.out | awk '/^I / && $2 != $3 && $4 == 1 { n++ } END { print n + 0 }')
        for f in "$radice"/P*.out; do
            awk -v n="$(basename "$f" .out)" '/^I / { i++; print n " " i "|" $3 }' "$f"
        done | sort >"$radice/detti"
        sql "SELECT trim(CliRagsoc) || '|' || CliCodice FROM Clienti" | sort >"$radice/presenti"
        diversi=$(comm -3 "$radice/detti" "$radice/presenti" | wc -l)
        printf '%-6s %d program(s) x %d: %.1f inserts/s; rows, codes, names: %s (of %d); codes changed %d, told %d; mismatches %d\n' \
            $motore "$programmi" "$inserimenti" "$(echo "$attesi / $durata" | bc -l)" "$righe" \
            $attesi "$cambiati" "$detti" "$diversi"
    done
done
for motore in file server; do
    tests/operatore/guasti.sh "$operatore" "$setup" $motore "$cicli"
done
