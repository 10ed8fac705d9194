#!/usr/bin/env bash
# Builds everything and runs every test: once as shipped, once under AddressSanitizer and
# UndefinedBehaviorSanitizer (set SANITIZE=0 to skip that second run); in between it builds
# the Debian package and tries it as installed (set PACCHETTO=0 to skip that).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/dipendenze.sh

# A throw-away PostgreSQL cluster for the server tests; it stops when this script ends,
# whether the tests pass or not.
pg_dir=$(mktemp -d /tmp/anagrafica-pg.XXXXXX)
trap 'scripts/pg_prova.sh ferma "$pg_dir"' EXIT
ANAGRAFICA_PG_PROVA=$(scripts/pg_prova.sh avvia "$pg_dir")
export ANAGRAFICA_PG_PROVA

esegui() {
    local cartella=$1
    shift
    cmake -S . -B "$cartella" -G Ninja "$@" >/dev/null
    cmake --build "$cartella"
    (cd "$cartella" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)")
}

esegui build -DCMAKE_BUILD_TYPE=Debug
# The server's half once more over TCP, as an office reaches its server: a password
# (scram-sha-256) and TLS whose certificate is checked against the server's name.
(cd build && PGSERVICEFILE="$pg_dir/pg_service.conf" ANAGRAFICA_PG_PROVA=service=anagrafica_tcp \
    QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" -R '/Server( |$)')
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
