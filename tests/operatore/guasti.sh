#!/usr/bin/env bash
# Faults in the middle of saves: an operator's program killed (kill -9) again and again
# while another program writes; on the server also the server restarted, fast and
# immediate, during the saves. Afterwards: no damaged database, no partial row, no committed
# row lost, and the program that stayed open works again on its next action.
# Usage: guasti.sh OPERATORE SETUP file|server [CYCLES]
# Prints one line of figures: cycles, restarts, rows told committed, lost, partial, damaged.
set -euo pipefail
operatore=$1
setup=$2
motore=$3
cicli=${4:-10}
script=$(cd "$(dirname "$0")/../../scripts" && pwd)
dir=$(mktemp -d)
chmod 755 "$dir"
pg="$dir/pg"
server=""
fine() {
    jobs -p | xargs -r kill -9 2>/dev/null || true
    wait 2>/dev/null || true
    [ -z "$server" ] || "$script/pg_prova.sh" ferma "$pg"
    rm -rf "$dir"
}
trap fine EXIT
fallito() {
    echo "faults ($motore): $*" >&2
    exit 1
}

mkdir -p "$dir/bin" "$dir/dati/temp"
if [ "$motore" = server ]; then
    server=$("$script/pg_prova.sh" avvia "$pg")
    "$setup" --server "$server" 01 >/dev/null
    sql() { psql "$server options=-csearch_path=ditta_01" -XAtqc "$1"; }
else
    "$setup" "$dir/dati" 01 >/dev/null
    sql() { sqlite3 "$dir/dati/01/Completo.mdb" "$1"; }
fi
printf '[PATH]\nDIRINI=%s/dati/\nTEMP=%s/dati/temp/\n[BASE]\nDITTA=01\nSERVER=%s\n' \
    "$dir" "$dir" "$server" >"$dir/bin/KestorEx.ini"

salvati() {
    local n
    n=$(grep -c '^I ' "$1" 2>/dev/null) || true
    echo "${n:-0}"
}
# Kills a program at once and collects it, without the shell's report of the signal.
uccidi() { { kill -9 "$1" && wait "$1"; } 2>/dev/null || true; }
# Waits until the program writing to $1 has told $2 saves in all; false when it ended first.
fino_a() {
    local file=$1 quanti=$2 pid=$3
    for _ in $(seq 1200); do
        [ "$(salvati "$file")" -ge "$quanti" ] && return 0
        kill -0 "$pid" 2>/dev/null || return 1
        sleep 0.05
    done
    return 1
}

"$operatore" "$dir/bin" inserisci 1000000 CONTINUO >"$dir/CONTINUO.out" 2>"$dir/continuo.err" &
continuo=$!
riavvii=0
for c in $(seq "$cicli"); do
    "$operatore" "$dir/bin" inserisci 1000000 "UCCISO$c" >"$dir/UCCISO$c.out" 2>/dev/null &
    pid=$!
    # Killed at a moment of its saves: after one to four of them, and a part of the next.
    fino_a "$dir/UCCISO$c.out" $((RANDOM % 4 + 1)) $pid || fallito "cycle $c: the program stopped saving"
    sleep "0.0$((RANDOM % 10))"
    uccidi $pid
    if [ -n "$server" ] && [ $((c % 5)) -eq 0 ]; then
        modo=fast
        [ $((c % 10)) -eq 0 ] && modo=immediate
        prima=$(salvati "$dir/CONTINUO.out")
        "$script/pg_prova.sh" riavvia "$pg" $modo
        riavvii=$((riavvii + 1))
        # The program that stayed open works again once the server is back.
        fino_a "$dir/CONTINUO.out" $((prima + 2)) $continuo ||
            fallito "after a $modo restart the open program saves no more: $(tail -3 "$dir/continuo.err")"
    fi
done
fino_a "$dir/CONTINUO.out" $(($(salvati "$dir/CONTINUO.out") + 2)) $continuo ||
    fallito "the program writing throughout stopped: $(tail -3 "$dir/continuo.err")"
uccidi $continuo

danneggiati=0
if [ -z "$server" ]; then
    [ "$(sql 'PRAGMA integrity_check')" = ok ] || danneggiati=1
fi
# A save writes every column: a row missing one was cut short.
parziali=$(sql "SELECT count(*) FROM Clienti WHERE $(printf '%s IS NULL OR ' CliRagsoc \
    CliRagsocEstesa CliIndirizzo CliLocalita CliCap CliProvincia CliNazione CliPartitaIva \
    CliCodiceFiscale CliCategoria CliTelefono CliContabile CliAcronimo CliEsenzioneNum)CliEsenzioneDat IS NULL")
# Every save a program told of (the line comes after the commit) is there, under its code.
for f in "$dir"/*.out; do
    nome=$(basename "$f" .out)
    awk -v n="$nome" '/^I / { i++; print n " " i "|" $3 }' "$f"
done | sort >"$dir/detti"
sql "SELECT trim(CliRagsoc) || '|' || CliCodice FROM Clienti" | sort >"$dir/presenti"
persi=$(comm -23 "$dir/detti" "$dir/presenti" | wc -l)
doppi=$(sql "SELECT count(*) - count(DISTINCT CliRagsoc) FROM Clienti")
echo "faults ($motore): cycles $cicli, restarts $riavvii, saves told $(wc -l <"$dir/detti"), rows" \
    "$(sql 'SELECT count(*) FROM Clienti'), lost $persi, partial $parziali, damaged" \
    "$danneggiati, saved twice after a restart $doppi"
[ "$persi" -eq 0 ] || fallito "committed rows lost: $(comm -23 "$dir/detti" "$dir/presenti" | head -5)"
[ "$parziali" -eq 0 ] || fallito "$parziali partial rows"
[ "$danneggiati" -eq 0 ] || fallito "damaged database: $(sql 'PRAGMA integrity_check' | head -5)"
# Without a restart no save is ever in doubt, so none may be made twice.
[ -n "$server" ] || [ "$doppi" -eq 0 ] || fallito "$doppi clients saved twice"
