#!/usr/bin/env bash
# Several operators on one computer, each with a login of their own, set up as the README
# says: a group made with groupadd, the logins put in it with usermod -aG, the installation
# given to it with the setup tool's --gruppo, the administrator's environment file beside the
# program (as /etc/KestorEx.ini, which no operator may write) and a shared TEMP folder.
# - A company another login made for itself: the program says, at the opening, what the
#   administrator must run; run, the program opens it.
# - In a company folder that does not hand its group down, the log and its index that one
#   login's program made are written by another's (the operator's program, offscreen).
# - Under Xvfb, the real program as each login (runuser): each saves a client while the
#   other has the company open, each exports its search with Ctrl+F5, neither can read the
#   other's list, and each one's search reopens where that login left it.
# Usage: utenti_reali.sh PROGRAM SETUP OPERATORE
# Makes and removes two logins and a group: root only (skipped with 77 otherwise).
set -euo pipefail

if [ "$(id -u)" != 0 ]; then
    echo "making logins takes root: skipped"
    exit 77
fi

# ----------------------------------------------------------------- both halves

fallito() {
    echo "logins: $*" >&2
    exit 1
}

# A command as that login, with the environment a login of its own gives it.
come() {
    local u=$1
    shift
    runuser -u "$u" -- env -i PATH=/usr/bin:/bin HOME="$dir/casa/$u" USER="$u" LOGNAME="$u" \
        LANG=C.UTF-8 QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-xcb}" DISPLAY="${DISPLAY:-}" \
        ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS="${UBSAN_OPTIONS:-}" "$@"
}

sql() { sqlite3 "$dir/dati/$1/Completo.mdb" "$2"; }

# ----------------------------------------------------------------- the X session

# The program as a login, in the background: its pid in $pid.
avvia() {
    come "$1" "$dir/bin/anagrafica" "$2" >>"$dir/$1.log" 2>&1 &
    pid=""
    # The login runs one program at a time.
    for _ in $(seq 50); do
        pid=$(pgrep -u "$1" -x anagrafica) || true
        [ -n "$pid" ] && break
        sleep 0.1
    done
    [ -n "$pid" ] || fallito "the program of $1 did not start: $(cat "$dir/$1.log")"
    programmi+=("$pid")
}

# The window of that program whose name matches the regular expression.
finestra() {
    local id
    for _ in $(seq 50); do
        id=$(xdotool search --all --pid "$1" --name "$2" 2>/dev/null | head -1) || true
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.2
    done
    echo "no window '$2' of $1; windows:" >&2
    for w in $(xdotool search --onlyvisible --name . 2>/dev/null); do
        xdotool getwindowname "$w" >&2
    done
    return 1
}

premi() {
    local id=$1
    shift
    xdotool windowfocus "$id"
    sleep 0.2
    for k in "$@"; do
        xdotool key "$k"
        sleep 0.4
    done
}

scrivi() {
    xdotool windowfocus "$1"
    sleep 0.2
    xdotool type --delay 30 "$2"
    sleep 0.4
}

# The program has ended within five seconds.
finito() {
    for _ in $(seq 25); do
        kill -0 "$1" 2>/dev/null || return 0
        sleep 0.2
    done
    fallito "the program $1 did not end with $2"
}

principale() { finestra "$1" "^\(0$2\)   GESTIONE ANAGRAFICHE - KESTOR \($3\)\$"; }
ricerca() { finestra "$1" '^\(01\) RICERCA ANAGRAFICHE - KESTOR '; }

# A new client named $2 on the client form $1, saved; then it is in the database.
nuovo() {
    premi "$1" Return Down Down Down
    scrivi "$1" "$2"
    premi "$1" alt+i
    for _ in $(seq 25); do
        [ "$(sql 01 "SELECT count(*) FROM Clienti WHERE CliRagsoc = '${2^^}'")" = 1 ] && return 0
        sleep 0.2
    done
    fallito "the client ${2^^} was not saved; windows: $(xdotool search --onlyvisible --name . getwindowname %@ 2>/dev/null | tr '\n' '|')"
}

# Login $1 (program $2, client form $3): a search for $4, exported, and the search window
# moved to $5 and closed there. Its geometry in geometria[$1].
esporta() {
    local u=$1 p=$2 w=$3 r
    r=$(ricerca "$p") || fallito "no search for $u"
    premi "$r" Down Down
    scrivi "$r" "$4"
    premi "$r" alt+e ctrl+F5
    for _ in $(seq 25); do
        [ -s "$dir/casa/$u/argomenti" ] && break
        sleep 0.2
    done
    [ -s "$dir/casa/$u/argomenti" ] || fallito "the export of $u started no spreadsheet"
    xdotool windowmove "$r" "${5%,*}" "${5#*,}" windowsize "$r" 640 480
    sleep 0.5
    geometria[$u]=$(xdotool getwindowgeometry "$r" | tail -n +2 | tr -s ' ')
    premi "$r" alt+u
}

sessione() {
    programmi=()
    trap 'for p in "${programmi[@]}"; do kill "$p" 2>/dev/null || true; done' EXIT
    declare -A geometria

    # Company 02, made by a login for itself: nobody else may write it.
    come "$a" "$dir/bin/anagrafica-setup" "$dir/dati" 02 >/dev/null
    avvia "$b" I
    w=$(finestra "$pid" '^NORVAL - ERRORE$') || fallito "no word of what to run"
    premi "$w" Return
    w=$(principale "$pid" 2 IMPORT) || fallito "company 02 not open for consulting"
    premi "$w" F2
    finito "$pid" F2
    # Run, the program opens it with nothing to say.
    "$dir/bin/anagrafica-setup" "$dir/dati" --gruppo "$gruppo" >/dev/null
    avvia "$b" I
    w=$(principale "$pid" 2 IMPORT) || fallito "company 02 not open"
    premi "$w" F2
    finito "$pid" F2

    # Both at company 01: each saves while the other has it open.
    avvia "$a" E
    local pa=$pid wa wb pb
    wa=$(principale "$pa" 1 EXPORT) || fallito "company 01 not open for $a"
    avvia "$b" E
    pb=$pid
    wb=$(principale "$pb" 1 EXPORT) || fallito "company 01 not open for $b"
    nuovo "$wb" "bobuno srl"
    nuovo "$wa" "aliceuno srl"

    # Both places keep the whole search on the 1024x768 screen, where the program brings back
    # a window left partly off it.
    premi "$wa" F4
    esporta "$a" "$pa" "$wa" aliceuno 40,30
    premi "$wb" F4
    esporta "$b" "$pb" "$wb" bobuno 100,150
    # Each search reopens where its login left it.
    for u in "$a" "$b"; do
        local p=$pa w=$wa r g
        [ "$u" = "$b" ] && p=$pb w=$wb
        premi "$w" F4
        r=$(ricerca "$p") || fallito "no search for $u"
        g=$(xdotool getwindowgeometry "$r" | tail -n +2 | tr -s ' ')
        [ "$g" = "${geometria[$u]}" ] || fallito "the search of $u reopened at '$g', left at '${geometria[$u]}'"
        premi "$r" alt+u
    done
    [ "${geometria[$a]}" != "${geometria[$b]}" ] || fallito "both searches at one place"
    premi "$wa" F2
    finito "$pa" F2
    premi "$wb" F2
    finito "$pb" F2
}

if [ "${1:-}" = --sessione ]; then
    dir=$2 a=$3 b=$4 gruppo=$5
    sessione
    exit 0
fi

# ----------------------------------------------------------------- the administrator

programma=$1
setup=$2
operatore=$3
a=anagr_alice$$
b=anagr_bob$$
c=anagr_carla$$ # not in the group
gruppo=anagr_uff$$
dir=$(mktemp -d)
chmod 755 "$dir"
fine() {
    jobs -p | xargs -r kill 2>/dev/null || true
    wait 2>/dev/null || true
    for u in "$a" "$b" "$c"; do
        id "$u" >/dev/null 2>&1 && userdel -f "$u" 2>/dev/null
    done
    getent group "$gruppo" >/dev/null && groupdel "$gruppo"
    rm -rf "$dir"
}
trap fine EXIT

groupadd "$gruppo"
for u in "$a" "$b" "$c"; do
    useradd -m -d "$dir/casa/$u" -s /bin/bash "$u"
    [ "$u" = "$c" ] || usermod -aG "$gruppo" "$u"
done
mkdir "$dir/bin"
cp "$programma" "$dir/bin/anagrafica"
cp "$setup" "$dir/bin/anagrafica-setup"
cp "$operatore" "$dir/bin/anagrafica_operatore"
# The spreadsheet: a script that notes, in the login's home, what it was started with.
cat >"$dir/bin/foglio" <<'FOGLIO'
#!/bin/sh
printf '%s\n' "$@" >"$HOME/argomenti"
FOGLIO
chmod 755 "$dir/bin/foglio"
for m in Ex:01 Im:02; do
    printf '[PATH]\nDIRINI=%s/dati/\nTEMP=%s/dati/temp/\n[BASE]\nDITTA=%s\n[APPLICATIVI]\nExcel=%s/bin/foglio\n' \
        "$dir" "$dir" "${m#*:}" "$dir" >"$dir/bin/Kestor${m%:*}.ini"
done
cp "$dir/bin/KestorEx.ini" "$dir/ambiente"

"$dir/bin/anagrafica-setup" "$dir/dati" 01 --gruppo "$gruppo" --sample-clients 5 >/dev/null

# A company folder given to the group by hand, without the set-group-ID bit: the log and
# the index that one login's program makes still take the database's group.
chmod g-s "$dir/dati/01"
mkfifo "$dir/via"
QT_QPA_PLATFORM=offscreen come "$a" "$dir/bin/anagrafica_operatore" "$dir/bin" modifica 1 4 \
    ALICEDUE attendi <"$dir/via" >"$dir/tiene.out" 2>&1 &
tiene=$!
exec 3>"$dir/via"
for _ in $(seq 100); do
    grep -q PRONTO "$dir/tiene.out" && break
    kill -0 $tiene 2>/dev/null || break
    sleep 0.1
done
grep -q PRONTO "$dir/tiene.out" || fallito "the first login's program: $(cat "$dir/tiene.out")"
for f in -wal -shm; do
    [ "$(stat -c %G "$dir/dati/01/Completo.mdb$f")" = "$gruppo" ] ||
        fallito "Completo.mdb$f belongs to $(stat -c %G "$dir/dati/01/Completo.mdb$f")"
done
QT_QPA_PLATFORM=offscreen come "$b" timeout 60 "$dir/bin/anagrafica_operatore" "$dir/bin" \
    inserisci 1 BOBDUE >"$dir/inserisce.out" 2>&1 ||
    fallito "the second login's save: $(cat "$dir/inserisce.out")"
echo via >&3
exec 3>&-
for _ in $(seq 100); do
    kill -0 $tiene 2>/dev/null || break
    sleep 0.1
done
kill -0 $tiene 2>/dev/null && fallito "the first login's program did not end"
wait $tiene || fallito "the first login's save: $(cat "$dir/tiene.out")"
[ "$(sql 01 "SELECT count(*) FROM Clienti WHERE CliRagsoc IN ('ALICEDUE', 'BOBDUE 1')")" = 2 ] ||
    fallito "a save is missing: $(sql 01 "SELECT CliCodice, CliRagsoc FROM Clienti")"
chmod g+s "$dir/dati/01"

QT_QPA_PLATFORM=xcb xvfb-run -a -s "-ac -screen 0 1024x768x24" "$0" --sessione "$dir" "$a" "$b" "$gruppo"

# Each list is its login's alone; the first to export kept the usual name.
for u in "$a" "$b"; do
    csv="$dir/dati/temp/E_ChkCliC.csv"
    [ "$u" = "$b" ] && csv="$dir/dati/temp/E_ChkCliC_$b.csv"
    [ "$(cat "$dir/casa/$u/argomenti")" = "$csv" ] ||
        fallito "the spreadsheet of $u was started on '$(cat "$dir/casa/$u/argomenti")', not $csv"
    [ "$(stat -c '%U %a' "$csv")" = "$u 600" ] || fallito "$csv: $(stat -c '%U %a' "$csv")"
    cliente=ALICEUNO
    [ "$u" = "$b" ] && cliente=BOBUNO
    grep -q "^[0-9]*;$cliente SRL;" "$csv" || fallito "$csv lacks the client of $u"
    altro=$a
    [ "$u" = "$a" ] && altro=$b
    if come "$altro" cat "$csv" >/dev/null 2>&1; then fallito "$altro reads the list of $u"; fi
    grep -q '^POSX=' "$dir/casa/$u/.config/anagrafica/KestorEx.ini" ||
        fallito "no placement of $u in its own file"
done
# A login outside the group is told the database is there but closed to it, and what puts
# it among the operators.
QT_QPA_PLATFORM=offscreen come "$c" timeout 5 "$dir/bin/anagrafica_operatore" "$dir/bin" sql ditta "SELECT 1" \
    >"$dir/estraneo.out" 2>&1 || true
messaggio=$(grep -m1 '^M ' "$dir/estraneo.out" || true)
case "$messaggio" in
*INESISTENTE*) fallito "a login outside the group is told the database is missing: $messaggio" ;;
*"usermod -aG $gruppo $c"*) ;;
*) fallito "a login outside the group is not told what to run: $messaggio $(head -c 600 "$dir/estraneo.out")" ;;
esac
cmp -s "$dir/bin/KestorEx.ini" "$dir/ambiente" || fallito "the environment file was written"
[ "$(sql 01 'PRAGMA integrity_check')" = ok ] || fallito "the database is damaged"
echo "logins: passed"
