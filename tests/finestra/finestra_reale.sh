#!/usr/bin/env bash
# The program in a real X window (Xvfb): keys typed through X reach the fields, an access
# key saves a new client, F2 ends the program. Usage: finestra_reale.sh PROGRAM SETUP
set -euo pipefail
programma=$1
setup=$2

dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
"$setup" "$dir/dati" 01 --sample-clients 5 >/dev/null
mkdir -p "$dir/bin"
cp "$programma" "$dir/bin/anagrafica"
printf '[PATH]\nDIRINI=%s/dati/\n[BASE]\nDITTA=01\n' "$dir" > "$dir/bin/KestorEx.ini"

cat > "$dir/sessione.sh" <<SESSIONE
#!/usr/bin/env bash
"$dir/bin/anagrafica" E &
pid=\$!
for _ in \$(seq 50); do
    xdotool search --name KESTOR >/dev/null 2>&1 && break
    sleep 0.2
done
xdotool search --name KESTOR windowfocus
sleep 0.5
passo() { xdotool "\$@"; sleep 0.4; }
passo key Return                      # empty code: a new client, 6
passo key Down
passo key Down
passo key Down                        # the company name
passo type --delay 30 "prova xvfb"
passo key Down                        # leaving it checks for homonyms
passo key alt+i                       # INSERISCI through its access key
passo key F2                          # USCITA through Alt+U
for _ in \$(seq 25); do
    kill -0 \$pid 2>/dev/null || exit 0
    sleep 0.2
done
kill \$pid
echo "the program did not end with F2" >&2
exit 1
SESSIONE
chmod +x "$dir/sessione.sh"

xvfb-run -a -s "-screen 0 1024x768x24" "$dir/sessione.sh"
riga=$(sqlite3 "$dir/dati/01/Completo.mdb" "SELECT CliCodice || ':' || CliRagsoc FROM Clienti WHERE CliCodice = 6")
if [ "$riga" != "6:PROVA XVFB" ]; then
    echo "expected client 6 PROVA XVFB, found '$riga'" >&2
    exit 1
fi
