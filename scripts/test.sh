#!/usr/bin/env bash
# Builds everything and runs every test: once as shipped, once under AddressSanitizer and
# UndefinedBehaviorSanitizer (set SANITIZE=0 to skip that second run); in between it builds
# the Debian package and tries it as installed (set PACCHETTO=0 to skip that).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/dipendenze.sh

# A throw-away PostgreSQL cluster for the server tests: in a temporary folder, run by an
# unprivileged user (initdb refuses root), reachable only through its Unix socket there.
# It stops when this script ends, whether the tests pass or not.
pg_bin=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -1)
pg_dir=$(mktemp -d /tmp/anagrafica-pg.XXXXXX)
pg_utente=""
if [ "$(id -u)" -eq 0 ]; then
    pg_utente=postgres
    id -u "$pg_utente" >/dev/null 2>&1 || useradd --system --no-create-home "$pg_utente"
    chown "$pg_utente" "$pg_dir"
fi
come_pg() {
    if [ -n "$pg_utente" ]; then runuser -u "$pg_utente" -- "$@"; else "$@"; fi
}
ferma_pg() {
    come_pg "$pg_bin/pg_ctl" -D "$pg_dir/dati" -m immediate stop >/dev/null 2>&1 || true
    rm -rf "$pg_dir"
}
trap ferma_pg EXIT
come_pg "$pg_bin/initdb" -D "$pg_dir/dati" -A trust -U postgres -E UTF8 --locale=C.UTF-8 \
    --no-sync >"$pg_dir/initdb.log"
# One role must give its password, so that a wrong one can be tried.
come_pg sed -i '1i local all anagrafica_password scram-sha-256' "$pg_dir/dati/pg_hba.conf"
# Durability is not what these tests are about: the cluster is thrown away.
come_pg "$pg_bin/pg_ctl" -D "$pg_dir/dati" -l "$pg_dir/server.log" -w -o \
    "-c listen_addresses='' -k $pg_dir -c fsync=off -c synchronous_commit=off \
     -c full_page_writes=off -c max_connections=300" start >/dev/null
export ANAGRAFICA_PG_PROVA="host=$pg_dir user=postgres dbname=postgres"

esegui() {
    local cartella=$1
    shift
    cmake -S . -B "$cartella" -G Ninja "$@" >/dev/null
    cmake --build "$cartella"
    (cd "$cartella" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)")
}

esegui build -DCMAKE_BUILD_TYPE=Debug
if [ "${PACCHETTO:-1}" != 0 ]; then
    scripts/pacchetto.sh
    tests/pacchetto/prova_pacchetto.sh build-pacchetto/anagrafica_*.deb
fi
if [ "${SANITIZE:-1}" != 0 ]; then
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
    export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    esegui build-asan -DCMAKE_BUILD_TYPE=Debug -DANAGRAFICA_SANITIZE=ON -DANAGRAFICA_BENCH=OFF
fi
