#!/usr/bin/env bash
# A throw-away PostgreSQL cluster for tests, in a folder of its own, run by an unprivileged
# user (initdb refuses root). It listens on its Unix socket in that folder, with trust, and
# on 127.0.0.1 at a free port, as an office's server does: TLS only, with a certificate of a
# CA made here for the name localhost, and passwords (scram-sha-256).
#   pg_prova.sh avvia DIR     creates and starts it; prints its connection string (socket)
#   pg_prova.sh tcp DIR       prints the connection string over TCP (verify-full); the
#                             same is the service anagrafica_tcp of DIR/pg_service.conf
#                             (PGSERVICEFILE), short enough for an environment file
#   pg_prova.sh replica DIR PRIMARY
#                             creates and starts in DIR a standby that streams from the
#                             cluster in PRIMARY, which from then on waits for it at each
#                             commit; prints its connection string (socket)
#   pg_prova.sh promuovi DIR  makes the standby in DIR a primary
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
# The CA and the server's certificate, for the name the clients ask for.
certificati() {
    local c=$dir/cert
    mkdir -p "$c"
    openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 -subj "/CN=Anagrafica prova CA" \
        -keyout "$c/ca.key" -out "$dir/ca.crt" 2>/dev/null
    openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -subj "/CN=localhost" -keyout "$c/server.key" \
        -out "$c/server.csr" 2>/dev/null
    printf 'subjectAltName=DNS:localhost\n' >"$c/est.cnf"
    openssl x509 -req -in "$c/server.csr" -CA "$dir/ca.crt" -CAkey "$c/ca.key" \
        -CAcreateserial -days 2 -extfile "$c/est.cnf" -out "$c/server.crt" 2>/dev/null
    cp "$c/server.crt" "$c/server.key" "$dir/dati/"
    chmod 600 "$dir/dati/server.key"
    [ -z "$utente" ] || chown "$utente" "$dir/dati/server.crt" "$dir/dati/server.key"
    chmod 644 "$dir/ca.crt"
    rm -rf "$c"
}
case "$azione" in
    avvia)
        mkdir -p "$dir"
        [ -z "$utente" ] || chown "$utente" "$dir"
        come_pg "$pg_bin/initdb" -D "$dir/dati" -A trust -U postgres -E UTF8 \
            --locale=C.UTF-8 --no-sync >"$dir/initdb.log"
        # One role must give its password on the socket too, so that a wrong one can be
        # tried; over TCP every role gives it, over TLS only.
        come_pg sed -i '1i local all anagrafica_password scram-sha-256' "$dir/dati/pg_hba.conf"
        come_pg sed -i '/^host/d' "$dir/dati/pg_hba.conf"
        echo 'hostssl all all 127.0.0.1/32 scram-sha-256' |
            come_pg tee -a "$dir/dati/pg_hba.conf" >/dev/null
        certificati
        # A free port: another cluster may take the one tried first.
        for _ in $(seq 20); do
            porta=$(shuf -i 20000-60000 -n 1)
            if come_pg "$pg_bin/pg_ctl" -D "$dir/dati" -l "$dir/server.log" -w -o \
                "-c listen_addresses=127.0.0.1 -p $porta -k $dir -c fsync=off \
                 -c full_page_writes=off -c max_connections=300 -c ssl=on" start >/dev/null; then
                break
            fi
            porta=""
        done
        [ -n "$porta" ] || { echo "pg_prova.sh: the server did not start" >&2; exit 1; }
        password=$(openssl rand -hex 12)
        "$pg_bin/psql" "host=$dir port=$porta user=postgres dbname=postgres" -XAtqc \
            "ALTER ROLE postgres PASSWORD '$password'" >/dev/null
        printf '[anagrafica_tcp]\nhost=localhost\nhostaddr=127.0.0.1\nport=%s\nuser=postgres\n' \
            "$porta" >"$dir/pg_service.conf"
        printf 'password=%s\nsslmode=verify-full\nsslrootcert=%s/ca.crt\ndbname=postgres\n' \
            "$password" "$dir" >>"$dir/pg_service.conf"
        echo "host=$dir port=$porta user=postgres dbname=postgres"
        ;;
    replica)
        primario=$3
        porta_primario=$(sed -n 4p "$primario/dati/postmaster.pid")
        mkdir -p "$dir"
        [ -z "$utente" ] || chown "$utente" "$dir"
        come_pg "$pg_bin/pg_basebackup" -D "$dir/dati" -R -X stream -h "$primario" \
            -p "$porta_primario" -U postgres
        porta=""
        for _ in $(seq 20); do
            porta=$(shuf -i 20000-60000 -n 1)
            if come_pg "$pg_bin/pg_ctl" -D "$dir/dati" -l "$dir/server.log" -w -o \
                "-c listen_addresses='' -p $porta -k $dir -c fsync=off \
                 -c full_page_writes=off -c max_connections=300" start >/dev/null; then
                break
            fi
            porta=""
        done
        [ -n "$porta" ] || { echo "pg_prova.sh: the standby did not start" >&2; exit 1; }
        # A commit returns once the standby has it: a standby that takes over misses none.
        "$pg_bin/psql" "host=$primario port=$porta_primario user=postgres dbname=postgres" -XAtq \
            -c "ALTER SYSTEM SET synchronous_standby_names = '*'" -c "SELECT pg_reload_conf()" \
            >/dev/null
        echo "host=$dir port=$porta user=postgres dbname=postgres"
        ;;
    promuovi)
        come_pg "$pg_bin/pg_ctl" -D "$dir/dati" -w promote >/dev/null
        ;;
    tcp)
        grep -v '^\[' "$dir/pg_service.conf" | paste -sd ' '
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
        echo "usage: $0 avvia|tcp|replica|promuovi|ferma|riavvia DIR [fast|immediate|PRIMARY]" >&2
        exit 2
        ;;
esac
