#!/usr/bin/env python3
"""Fiscal codes and VAT numbers, generated here, judged by the program (the binary given as
the first argument) and by python-stdnum: the two must agree on every one."""

import random
import subprocess
import sys

try:
    from stdnum import luhn
    from stdnum.it import codicefiscale, iva
except ImportError:
    print("python3-stdnum is missing (scripts/dipendenze.sh installs it)")
    sys.exit(77)

QUANTI = 20000
LETTERE = "ABCDEFGHIJKLMNOPQRSTUVWXYZ"
OMOCODICI = "LMNPQRSTUV"  # the letters that stand for 0 to 9 in an omocode
MESI = "ABCDEHLMPRST"


def numero(caso, cifre):
    """Digits, each one now and then as its omocode letter."""
    return "".join(OMOCODICI[int(c)] if caso.random() < 0.15 else c for c in cifre)


def codice_fiscale(caso):
    giorno = caso.randint(1, 28) + caso.choice((0, 40))
    primi = ("".join(caso.choice(LETTERE) for _ in range(6))
             + numero(caso, "%02d" % caso.randint(0, 99)) + caso.choice(MESI)
             + numero(caso, "%02d" % giorno) + caso.choice(LETTERE)
             + numero(caso, "%03d" % caso.randint(0, 999)))
    controllo = codicefiscale.calc_check_digit(primi)
    return primi + (controllo if caso.random() < 0.5 else caso.choice(LETTERE))


def partita_iva(caso):
    # Offices around every edge of the valid ones, and any other.
    ufficio = caso.choice((caso.randint(0, 999), caso.randint(0, 2), caso.randint(98, 123),
                           caso.randint(886, 890), caso.randint(997, 999)))
    primi = "%07d%03d" % (caso.randint(1, 9999999), ufficio)
    controllo = luhn.calc_check_digit(primi)
    return primi + (controllo if caso.random() < 0.5 else str(caso.randint(0, 9)))


def main():
    caso = random.Random(24)
    righe = ["CF " + codice_fiscale(caso) for _ in range(QUANTI)]
    righe += ["CF " + partita_iva(caso) for _ in range(QUANTI // 4)]
    righe += ["IVA " + partita_iva(caso) for _ in range(QUANTI)]
    uscita = subprocess.run([sys.argv[1]], input="\n".join(righe) + "\n", capture_output=True,
                            text=True, check=True, timeout=120).stdout.splitlines()
    if len(uscita) != len(righe):
        print("%d answers to %d lines" % (len(uscita), len(righe)))
        return 1
    diversi = 0
    for riga, risposta in zip(righe, uscita):
        tipo, valore = riga.split(" ")
        atteso = (codicefiscale if tipo == "CF" else iva).is_valid(valore)
        if risposta != "%s %d" % (riga, atteso):
            diversi += 1
            if diversi <= 20:
                print("%s: program %s, stdnum %s" % (riga, risposta.split(" ")[-1], atteso))
    validi = sum(r.endswith(" 1") for r in uscita)
    print("%d codes, %d valid, %d judged otherwise" % (len(righe), validi, diversi))
    return 1 if diversi else 0


sys.exit(main())
