#!/usr/bin/env bash
# The Debian package as an office gets it: dependencies computed from the binaries, its
# files in place and valid, lintian without errors; then, unpacked into a scratch root
# (dpkg -x), the setup tool creates a company and imports a list into it, and the program
# opens its first window under Xvfb and leaves it with F2.
# Usage: prova_pacchetto.sh PACKAGE.deb
set -euo pipefail
deb=$(realpath "$1")
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fallito() {
    echo "package test: $*" >&2
    exit 1
}

dipendenze=$(dpkg-deb -f "$deb" Depends)
for p in libqt6widgets6 libsqlite3-0 libpq5 libc6; do
    [[ $dipendenze == *"$p"* ]] || fallito "Depends lacks $p: $dipendenze"
done
[[ $dipendenze != *-dev* ]] || fallito "Depends names a development package: $dipendenze"

radice="$dir/radice"
dpkg -x "$deb" "$radice"
id=it.kestor.anagrafica
for f in usr/bin/anagrafica usr/bin/anagrafica-setup usr/share/applications/$id.desktop \
    usr/share/icons/hicolor/scalable/apps/$id.svg usr/share/metainfo/$id.metainfo.xml \
    usr/share/man/man1/anagrafica.1.gz usr/share/man/man1/anagrafica-setup.1.gz \
    usr/share/man/it/man1/anagrafica-setup.1.gz \
    usr/share/doc/anagrafica/copyright usr/share/doc/anagrafica/examples/KestorEx.ini; do
    [ -f "$radice/$f" ] || fallito "the package lacks /$f"
done
# The pages as a reader sees them: paths whole, the example environment file named.
pagina() { LC_ALL=C.UTF-8 MANWIDTH=200 man -l "$radice/usr/share/man/$1" 2>/dev/null; }
testo=$(pagina man1/anagrafica.1.gz)
[[ $testo == *"DIRINI/tabkes.mdb"* ]] || fallito "anagrafica(1) does not show DIRINI/tabkes.mdb"
for p in man1/anagrafica.1.gz man1/anagrafica-setup.1.gz it/man1/anagrafica-setup.1.gz; do
    testo=$(pagina $p)
    [[ $testo == *"/usr/share/doc/anagrafica/examples/KestorEx.ini"* ]] ||
        fallito "$p does not name the example environment file"
done
[[ $(pagina it/man1/anagrafica-setup.1.gz) == *"importa elenchi di clienti"* ]] ||
    fallito "the Italian page of anagrafica-setup"
appstreamcli validate --no-net --pedantic "$radice/usr/share/metainfo/$id.metainfo.xml" ||
    fallito "AppStream metadata"
grep -q '^Name=Anagrafica clienti$' "$radice/usr/share/applications/$id.desktop"
grep -q '^Categories=Office;$' "$radice/usr/share/applications/$id.desktop"
# lintian checks the desktop entry and the manual pages too. (desktop-file-utils would do
# it as well, but its cache of the desktop's file types changes which program the tests'
# exports open.)
lintian --fail-on error "$deb" || fallito "lintian found errors"

bin="$radice/usr/bin"
"$bin/anagrafica-setup" "$dir/dati" 01 --sample-clients 3 >/dev/null
printf 'CliRagsoc;CliNazione;CliProvincia\nnuovo cliente;380;rm\n' > "$dir/lista.csv"
uscita=$("$bin/anagrafica-setup" "$dir/dati" 01 --importa-clienti "$dir/lista.csv")
[[ $uscita == *"righe lette: 1, importate: 1, scartate: 0"* ]] || fallito "import: $uscita"
riga=$(sqlite3 "$dir/dati/01/Completo.mdb" \
    "SELECT CliCodice || ':' || CliProvincia || ':' || CliNazione FROM Clienti WHERE CliRagsoc = 'NUOVO CLIENTE'")
[ "$riga" = "4:RM :IT " ] || fallito "imported row: '$riga'"

# The environment file beside the program: the first place it looks (then /etc/).
printf '[PATH]\nDIRINI=%s/dati/\n[BASE]\nDITTA=01\n' "$dir" > "$bin/KestorEx.ini"
cat > "$dir/sessione.sh" <<'SESSIONE'
#!/usr/bin/env bash
"$1" E &
pid=$!
for _ in $(seq 150); do
    id=$(xdotool search --name '^\(01\)   GESTIONE ANAGRAFICHE - KESTOR \(EXPORT\)$' 2>/dev/null | head -1)
    [ -n "$id" ] && break
    sleep 0.2
done
if [ -z "$id" ]; then
    kill $pid
    echo "no first window" >&2
    exit 1
fi
# A key can arrive before the window has the focus on a loaded machine: press again.
for _ in $(seq 5); do
    xdotool windowfocus "$id" 2>/dev/null
    sleep 0.5
    xdotool key F2
    for _ in $(seq 15); do
        kill -0 $pid 2>/dev/null || exit 0
        sleep 0.2
    done
done
kill $pid
echo "the program did not end with F2" >&2
exit 1
SESSIONE
chmod +x "$dir/sessione.sh"
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24" "$dir/sessione.sh" "$bin/anagrafica" ||
    fallito "the installed program"
echo "package test: passed"
