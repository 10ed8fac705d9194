#!/usr/bin/env bash
# The program in a real X window (Xvfb): keys typed through X reach the fields, the title
# bars read exactly the captions (as _NET_WM_NAME and WM_NAME), an access key saves a new
# client with its locality from the localities form, the search from the code field hands
# a client to the form and exports its list and reopens five times where it was closed, the
# forced exit arrives as Ctrl+Alt+Shift+F2, F2 ends the program. Then a nation or province
# chosen in a lookup is checked as if typed, on every path (access key, Enter, double-click,
# mouse); the search left without a choice leaves the code typed open; the last code of the
# range is given once, and then the form says no code is free.
# Usage: finestra_reale.sh PROGRAM SETUP [openbox]
# With "openbox" the session runs under that window manager, which frames and activates the
# windows itself; without it there is no window manager at all. With FINESTRA_MOTORE=server
# it runs on a database of its own on the test server (ANAGRAFICA_PG_PROVA) instead of the
# files.
set -euo pipefail
programma=$1
setup=$2
gestore=${3:-}

dir=$(mktemp -d)
server=""
if [ "${FINESTRA_MOTORE:-file}" = server ]; then
    if [ -z "${ANAGRAFICA_PG_PROVA:-}" ]; then
        [ "${CI:-}" = true ] && { echo "ANAGRAFICA_PG_PROVA is not set" >&2; exit 1; }
        echo "no test server (ANAGRAFICA_PG_PROVA): skipped"
        exit 77
    fi
    database=finestra_$$
    psql "$ANAGRAFICA_PG_PROVA" -XAtqc "CREATE DATABASE $database"
    server="$ANAGRAFICA_PG_PROVA dbname=$database"
fi
fine() {
    rm -rf "$dir"
    [ -z "$server" ] || psql "$ANAGRAFICA_PG_PROVA" -XAtqc "DROP DATABASE $database WITH (FORCE)"
}
trap fine EXIT
# The company's database, on the files or on the server.
sql() {
    if [ -n "$server" ]; then
        psql "$server options=-csearch_path=ditta_01" -XAtqc "$1"
    else
        sqlite3 "$dir/dati/01/Completo.mdb" "$1"
    fi
}
# The code tables' database.
tabelle() {
    if [ -n "$server" ]; then
        psql "$server options=-csearch_path=tabkes" -XAtqc "$1"
    else
        sqlite3 "$dir/dati/tabkes.mdb" "$1"
    fi
}
if [ -n "$server" ]; then
    "$setup" --server "$server" 01 --sample-clients 5 >/dev/null
else
    "$setup" "$dir/dati" 01 --sample-clients 5 >/dev/null
fi
mkdir -p "$dir/bin"
cp "$programma" "$dir/bin/anagrafica"
mkdir -p "$dir/dati/temp"
# The spreadsheet: a script that notes what it was started with.
printf '#!/bin/sh\nfor a in "$@"; do echo "$a"; done > "%s/argomenti"\n' "$dir" > "$dir/bin/foglio"
chmod +x "$dir/bin/foglio"
printf '[PATH]\nDIRINI=%s/dati/\n[BASE]\nDITTA=01\nSERVER=%s\n[APPLICATIVI]\nExcel=%s/bin/foglio\n' "$dir" "$server" "$dir" > "$dir/bin/KestorEx.ini"
# The same, for the session: another program's statement while the form is up.
{ declare -p dir server; declare -f sql; } > "$dir/sql.sh"
omonimo=$(sql "SELECT trim(CliRagsoc) FROM Clienti WHERE CliCodice = 5")
# The search: the first word of client 2's name, typed in lower case; the grid shows first
# the lowest code that has it.
prefisso=$(sql "SELECT CliRagsoc FROM Clienti WHERE CliCodice = 2")
prefisso=${prefisso%% *}
prefisso=${prefisso,,}
scelto=$(sql "SELECT min(CliCodice) FROM Clienti WHERE lower(CliRagsoc) LIKE '$prefisso%'")
primo=$(sql "SELECT CliCodice || ';' || trim(CliRagsoc) || ';' FROM Clienti WHERE CliCodice = $scelto")
giorni=(domenica lunedì martedì mercoledì giovedì venerdì sabato)
mesi=(gennaio febbraio marzo aprile maggio giugno luglio agosto settembre ottobre novembre dicembre)
oggi="${giorni[$(date +%w)]} $(date +%-d) ${mesi[$(($(date +%-m) - 1))]} $(date +%Y)"

cat > "$dir/sessione.sh" <<SESSIONE
#!/usr/bin/env bash
set -u
if [ -n "$gestore" ]; then
    $gestore >/dev/null 2>&1 &
    # Ready once it has claimed the screen.
    for _ in \$(seq 50); do
        xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
        sleep 0.1
    done
fi
# The id of the window whose name matches exactly, once it is up.
finestra() {
    for _ in \$(seq 50); do
        id=\$(xdotool search --name "^\$1\\\$" 2>/dev/null | head -1)
        [ -n "\$id" ] && { echo "\$id"; return; }
        sleep 0.2
    done
    echo "no window named '\$1'; windows:" >&2
    # Set FINESTRA_SCATTI to a folder to keep a picture of the screen as it was.
    [ -n "${FINESTRA_SCATTI:-}" ] && xwd -root -silent > "${FINESTRA_SCATTI:-}/schermo.xwd"
    for w in \$(xdotool search --onlyvisible --name . 2>/dev/null); do xdotool getwindowname \$w >&2; done
    exit 1
}
# Both names the window system keeps for a window, one per line.
nomi() {
    for p in _NET_WM_NAME WM_NAME; do
        xprop -id "\$1" "\$p" | sed -e 's/^[^"]*"//' -e 's/"\$//'
    done
}
controlla() {
    local attesi
    id=\$(finestra "\$(printf '%s' "\$1" | sed 's/[.()]/\\\\&/g')")
    attesi=\$(printf '%s\n%s' "\$1" "\$1")
    if [ "\$(nomi "\$id")" != "\$attesi" ]; then
        echo "window names: \$(nomi "\$id" | tr '\n' '|') expected '\$1'" >&2
        kill \$pid
        exit 1
    fi
}
# The program started, its client form up and focused.
apri() {
    "$dir/bin/anagrafica" E &
    pid=\$!
    controlla "(01)   GESTIONE ANAGRAFICHE - KESTOR (EXPORT)"
    # The pointer on it, as an operator's is; the program activates the window itself.
    xdotool mousemove --window "\$id" 100 100
    sleep 0.5
}
passo() { xdotool "\$@"; sleep 0.4; }
# The program has ended, within five seconds, after what \$1 names.
finito() {
    for _ in \$(seq 25); do
        kill -0 \$pid 2>/dev/null || return 0
        sleep 0.2
    done
    kill \$pid
    echo "the program did not end with \$1" >&2
    exit 1
}
apri
# The client form opens centred on the screen, with the frame a window manager adds to it.
centrata() {
    local g e sw sh x y w h
    g=(\$(xwininfo -id "\$id" | sed -n 's/.*Absolute upper-left [XY]: *//p; s/^ *Width: *//p; s/^ *Height: *//p'))
    e=(\$(xprop -id "\$id" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.*= *//p' | tr ',' ' '))
    [ \${#e[@]} -eq 4 ] || e=(0 0 0 0)
    x=\$((g[0] - e[0])); y=\$((g[1] - e[2])); w=\$((g[2] + e[0] + e[1])); h=\$((g[3] + e[2] + e[3]))
    read -r sw sh < <(xdpyinfo | sed -n 's/.*dimensions: *\([0-9]*\)x\([0-9]*\).*/\1 \2/p')
    if [ \$(( (2 * x - sw + w) ** 2 )) -gt 4 ] || [ \$(( (2 * y - sh + h) ** 2 )) -gt 4 ]; then
        echo "the client form is not centred: its frame at \$x,\$y, \${w}x\$h on \${sw}x\$sh" >&2
        kill \$pid
        exit 1
    fi
}
centrata
# Its access keys work from the start: F2 at once ends the program.
passo key F2
finito "F2 at start-up"
apri
# --- The localities form by keys alone: in the province lookup an Alt letter whose button
# is hidden types nothing; Enter from the prefix reaches CONFERMA, and Space presses it.
passo key ctrl+shift+l
controlla "GESTIONE DELLE LOCALITA' ITALIANE"
passo type --delay 30 "borgo prova"
passo key Return
controlla "KESTOR - INSERIMENTO"
passo key alt+s                       # Sì: a new locality
controlla "INSERIMENTO LOCALITA' ITALIANE"
passo key Return                      # from the region to the CAP
passo type --delay 30 "12345"         # full: on to the province
passo key F4
controlla "(KESTOR)            RICERCA TABELLA:  PROVINCIE"
passo key Tab                         # leaving the empty code: the description search
passo type --delay 30 "milano"        # one line: X SELEZIONA hidden
passo key alt+x
passo key alt+c                       # CONFERMA: MI into the province
passo key Return                      # the province checked, on to the prefix
passo type --delay 30 "02"
passo key Return                      # on to CONFERMA
passo key space                       # saved: the form is back to its search
controlla "GESTIONE DELLE LOCALITA' ITALIANE"
passo key F2
# --- end of the localities form by keys
passo key Return                      # empty code: a new client, 6
passo type --delay 30 "abc"
passo key Down                        # too short for a fiscal code
controlla "NORVAL - ERRORE N. 1"
passo key Return                      # OK; back to the fiscal code, its text selected
passo key BackSpace
controlla "INSERIMENTO ANAGRAFICHE - KESTOR"
passo key Down
passo key Down
passo key Down                        # the company name
passo type --delay 30 "$omonimo"
passo key Down                        # leaving it checks for homonyms
controlla "Clienti omonimi"
passo key Return                      # Yes, the default: a homonym accepted
for _ in 1 2 3; do passo key Down; done       # from the extended name to the locality
passo type --delay 30 "roma"
passo key F4                          # the localities form, on ROMA
controlla "GESTIONE DELLE LOCALITA' ITALIANE"
passo key Return                      # the first ROMA row
passo key alt+c                       # CONFERMA: CAP, locality and province come back;
                                      # the full province moves the focus onto it
passo key F4                          # the province lookup
controlla "(KESTOR)            RICERCA TABELLA:  PROVINCIE"
passo key F2                          # left without a choice: the field stays empty
passo key F4
controlla "(KESTOR)            RICERCA TABELLA:  PROVINCIE"
passo type --delay 30 "RM"            # the list follows the typing
passo key Return                      # on to CONFERMA (one line: X SELEZIONA hidden)
passo key Return                      # Enter presses it: the code into the field
passo key alt+i                       # INSERISCI through its access key
passo key F4                          # the search, from the empty code field
controlla "(01) RICERCA ANAGRAFICHE - KESTOR      $oggi"
passo key Down
passo key Down                        # the name
passo type --delay 30 "$prefisso"
passo key alt+e                       # ESEGUI
passo key ctrl+F5                     # the list to the spreadsheet
passo key alt+s                       # SELEZIONA: into the grid, on the first client
passo key Return                      # the choice
controlla "VARIAZIONE ANAGRAFICHE - KESTOR"
passo key alt+e                       # ELIMINA the client shown: the one chosen
controlla "NORVAL - CANCELLAZIONE"
passo key Return                      # Yes
# The search reopens five times at the size and place it was closed with: the frame a window
# manager adds must not make it grow. Saved below the screen, it first comes back to sit on
# the bottom edge (768 pixels of 15 twips), frame and all.
collocazione() {
    sed -n '/^\[ChkCliC\]/,/^\[/p' "$dir/bin/KestorEx.ini" | grep -E '^(DIMX|DIMY|POSX|POSY|WSTATE)=' | sort | tr '\n' ' '
}
sed -i '/^\[ChkCliC\]/,/^\[/s/^POSY=.*/POSY=20000/' "$dir/bin/KestorEx.ini"
for volta in 1 2 3 4 5; do
    passo key F4
    controlla "(01) RICERCA ANAGRAFICHE - KESTOR      $oggi"
    geometria=\$(xdotool getwindowgeometry "\$id" | tail -n +2 | tr -s ' ' | tr '\n' ' ')
    passo key alt+u                   # USCITA, from the grid where the last choice left it
    if [ \$volta -eq 1 ]; then
        salvata=\$(collocazione)
        posy=\$(echo "\$salvata" | sed -n 's/.*POSY=\([0-9]*\).*/\1/p')
        dimy=\$(echo "\$salvata" | sed -n 's/.*DIMY=\([0-9]*\).*/\1/p')
        if [ "\$((posy + dimy))" != 11520 ]; then
            echo "the search does not sit on the screen's bottom edge: \$salvata" >&2
            kill \$pid
            exit 1
        fi
    fi
    if [ "\$(collocazione)" != "\$salvata" ] || { [ \$volta -gt 1 ] && [ "\$geometria" != "\$prima" ]; }; then
        echo "opening \$volta moved the search: '\$(collocazione)' was '\$salvata'; '\$geometria' was '\${prima:-}'" >&2
        kill \$pid
        exit 1
    fi
    prima=\$geometria
done
# The system keeps Ctrl+Alt+F2 for itself; with Shift the forced exit arrives. No goes on.
passo key ctrl+alt+shift+F2
controlla "USCITA FORZATA"
passo key Return                      # No, the default
controlla "VARIAZIONE ANAGRAFICHE - KESTOR"     # still there: a reset keeps the caption
passo key F2                          # USCITA through Alt+U
finito "F2"
# Yes to the forced exit ends the program at once, writing nothing.
cp "$dir/bin/KestorEx.ini" "$dir/prima.ini"
apri
passo key F4
controlla "(01) RICERCA ANAGRAFICHE - KESTOR      $oggi"
passo key ctrl+alt+shift+F2
controlla "USCITA FORZATA"
passo key alt+s                       # Sì
finito "the forced exit"
cmp -s "$dir/bin/KestorEx.ini" "$dir/prima.ini" || { echo "the forced exit wrote the environment file" >&2; exit 1; }

# --- Lookups, the search left without a choice, the top of the code range ---------------
apri
# A value chosen in a lookup is checked as a typed one on every path: the nation number
# chosen becomes its ISO code. Each new client: Enter on the empty code and past the fiscal
# code, F4 on the nation, a path, then (the focus on the VAT number) the name.
nazioni() {
    passo key Return
    passo key Return
    passo key F4
    controlla "(KESTOR)            RICERCA TABELLA:  NAZIONI"
}
province() {
    passo key --delay 150 Down Down Down Down Down    # from the name to the province
    passo key F4
    controlla "(KESTOR)            RICERCA TABELLA:  PROVINCIE"
}
# The dialog's first line, and its CONFERMA (the middle of three buttons at the top right).
doppioclic() { passo mousemove --window "\$id" 40 72 click --repeat 2 --delay 80 1; }
conferma() {
    local larghezza
    larghezza=\$(xdotool getwindowgeometry "\$id" | sed -n 's/.*Geometry: \\([0-9]*\\)x.*/\\1/p')
    passo mousemove --window "\$id" \$((larghezza - 159)) 32 click 1
}
nazioni
passo key Tab                         # from the empty code to the description
passo type --delay 30 "germani"
passo key alt+c                       # the access key
passo key Down
passo type --delay 30 "LOOKUP A"
province
passo type --delay 30 "mi"
doppioclic
passo key alt+i
nazioni
passo key Tab
passo type --delay 30 "germani"
passo key Return                      # Enter in the description, then the access key
passo key alt+c
passo key Down
passo type --delay 30 "LOOKUP B"
province
passo type --delay 30 "m"
passo key alt+x                       # into the list, on its first line
passo key Down
passo key Return                      # Enter in the list: the second line
passo key alt+i
nazioni
passo type --delay 30 "674"
passo key alt+c
passo key Down                        # left with Down
passo type --delay 30 "LOOKUP C"
province
passo type --delay 30 "pd"
conferma                              # CONFERMA with the mouse
passo key alt+i
nazioni
passo key Tab
passo type --delay 30 "san mar"
doppioclic
passo key Down
passo type --delay 30 "LOOKUP D"
passo key alt+i
nazioni
passo type --delay 30 "276"
conferma
passo key Down
passo type --delay 30 "LOOKUP E"
passo key alt+i
# Typed ahead, with no pause: the keys after F4 reach the dialog as it opens.
passo key Return
passo key Return
passo key --delay 0 F4 6 7 4 alt+c
passo key Down
passo type --delay 30 "LOOKUP F"
passo key alt+i
# The search left without a choice leaves the code typed open, with the focus: F4 opens the
# search again from it, and at last Enter opens client 3.
passo type --delay 30 "3"
for uscita in alt+u mouse F2; do
    passo key F4
    controlla "(01) RICERCA ANAGRAFICHE - KESTOR      $oggi"
    if [ \$uscita = mouse ]; then
        passo mousemove --window "\$id" 707 38 click 1    # USCITA, at 9945, 405 twips
    else
        passo key \$uscita
    fi
done
controlla "INSERIMENTO ANAGRAFICHE - KESTOR"
passo key Return
controlla "VARIAZIONE ANAGRAFICHE - KESTOR"
passo key alt+a
# Typed ahead across the search: its access key closes it, the code typed after it opens
# that client.
passo key --delay 0 F4 alt+u 4 Return
controlla "VARIAZIONE ANAGRAFICHE - KESTOR"
passo key alt+a
# The top of the code range: the last code is taken once; then no code is free, and the
# form says so instead of offering it again.
. "$dir/sql.sh"
sql "INSERT INTO Clienti (CliCodice, CliRagsoc) VALUES (2147483646, 'PENULTIMO')"
passo key Return                      # a new client: 2147483647
passo key --delay 150 Down Down Down
passo type --delay 30 "ULTIMO CODICE"
passo key alt+i
passo key Return                      # another
controlla "NORVAL - INSERIMENTO"
passo key Return                      # OK: back on the empty code
passo key F2                          # leaving the empty code asks for one again
controlla "NORVAL - INSERIMENTO"
passo key Return                      # OK: only then does USCITA act
finito "F2"
exit 0
SESSIONE
chmod +x "$dir/sessione.sh"

xvfb-run -a -s "-screen 0 1024x768x24" "$dir/sessione.sh"
# What $3 names is $1, and should be $2.
uguale() {
    [ "$1" = "$2" ] || { echo "$3: '$1', expected '$2'" >&2; exit 1; }
}
uguale "$(sql "SELECT CliCodice || ':' || CliRagsoc || ':' || trim(CliCap) || ':' || trim(CliLocalita) || ':' || trim(CliProvincia) FROM Clienti WHERE CliCodice = 6")" \
    "6:$omonimo:00118:ROMA:RM" "client 6"
# --- The locality saved by keys alone.
uguale "$(tabelle "SELECT trim(LocLocalita) || ':' || trim(LocCAP) || ':' || trim(LocProvincia) || ':' || trim(LocPrefisso) FROM LOCALITA WHERE trim(LocLocalita) = 'BORGO PROVA'")" \
    "BORGO PROVA:12345:MI:02" "the locality saved by keys"
# --- end of the locality saved by keys alone
csv="$dir/dati/temp/E_ChkCliC.csv"
uguale "$(cat "$dir/argomenti" 2>/dev/null)" "$csv" "the spreadsheet's argument"
uguale "$(head -1 "$csv" | od -c)" "$(printf 'CODICE;RAGIONE SOCIALE;INDIRIZZO;CAP;LOCALITA'"'"';PV;NAZ;TELEFONO;PART. IVA;CODICE FISCALE;\r\n' | od -c)" \
    "the export's heading"
uguale "$(sed -n 2p "$csv" | cut -d';' -f1-2)" "${primo%;}" "the export's first client"
uguale "$(stat -c %a "$csv")" 600 "the export's mode"
uguale "$(sql "SELECT CliCodice FROM Clienti WHERE CliCodice <= 6 ORDER BY 1" | paste -sd,)" \
    "$(seq 1 6 | grep -vx "$scelto" | paste -sd,)" "the clients left once the search handed client $scelto to the form"
# --- Lookups, the top of the code range --------------------------------------------------
uguale "$(sql "SELECT trim(CliRagsoc) || ':' || trim(CliNazione) || ':' || trim(CliProvincia) FROM Clienti WHERE CliRagsoc LIKE 'LOOKUP %' ORDER BY CliRagsoc" | paste -sd,)" \
    "LOOKUP A:DE:MI,LOOKUP B:DE:MC,LOOKUP C:SM:PD,LOOKUP D:SM:,LOOKUP E:DE:,LOOKUP F:SM:" "the nations and provinces chosen in lookups"
uguale "$(sql "SELECT CliCodice || ':' || trim(CliRagsoc) FROM Clienti WHERE CliCodice > 2147483645 ORDER BY 1" | paste -sd,)" \
    "2147483646:PENULTIMO,2147483647:ULTIMO CODICE" "the top of the code range"
