#!/usr/bin/env bash
# A throw-away PostgreSQL cluster for tests, in a folder of its own, run by an unprivileged
# user (initdb refuses root), reachable only through its Unix socket in that folder.
#   pg_prova.sh avvia DIR     creates and starts it; prints its connection string
#   pg_prova.sh ferma DIR     stops it (immediately) and removes DIR
#   pg_prova.sh riavvia DIR fast|immediate
#                             stops it in that mode and starts it again
# Durability against a machine crash is not what the tests are about (fsync off); commits
# are still written before they return, so a killed server loses none.
set -euo pipefail
azione=$1
dir=$2
pg_bin=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -1)
utente=""
if [ "$(id -u)" -eq 0 ]; then
    utente=postgres
    id -u "$utente" >/dev/null 2>&1 || useradd --system --no-create-home "$utente"
fi
come_pg() {
    if [ -n "$utente" ]; then runuser -u "$utente" -- "$@"; else "$@"; fi
}
case "$azione" in
    avvia)
        mkdir -p "$dir"
        [ -z "$utente" ] || chown "$utente" "$dir"
        come_pg "$pg_bin/initdb" -D "$dir/dati" -A trust -U postgres -E UTF8 \
            --locale=C.UTF-8 --no-sync >"$dir/initdb.log"
        # One role must give its password, so that a wrong one can be tried.
        come_pg sed -i '1i local all anagrafica_password scram-sha-256' "$dir/dati/pg_hba.conf"
        come_pg "$pg_bin/pg_ctl" -D "$dir/dati" -l "$dir/server.log" -w -o \
            "-c listen_addresses='' -k $dir -c fsync=off -c full_page_writes=off \
             -c max_connections=300" start >/dev/null
        echo "host=$dir user=postgres dbname=postgres"
        ;;
    ferma)
        come_pg "$pg_bin/pg_ctl" -D "$dir/dati" -m immediate stop >/dev/null 2>&1 || true
        rm -rf "$dir"
        ;;
    riavvia)
        # restart, not stop and start: it keeps the options the server was started with.
        come_pg "$pg_bin/pg_ctl" -D "$dir/dati" -l "$dir/server.log" -m "$3" -w restart \
            >/dev/null
        ;;
    *)
        echo "usage: $0 avvia|ferma|riavvia DIR [fast|immediate]" >&2
        exit 2
        ;;
esac
