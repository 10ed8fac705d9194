#!/usr/bin/env python3
"""Converts the public reference data into the tab-separated files under data/.

Usage: converti_dati.py [--comuni PATH] [--iso-json PATH] [--iso-mo PATH] [--out DIR]

The defaults point at the shared municipality file and at Debian's iso-codes package.
Output is sorted and deterministic, so a rerun on the same input changes nothing.
"""

import argparse
import gettext
import json
import os
import sys
import unicodedata

MAX_LOCALITA = 50

REGIONI = {
    "ABRUZZO": "ABR",
    "BASILICATA": "BAS",
    "CALABRIA": "CAL",
    "CAMPANIA": "CAM",
    "EMILIA-ROMAGNA": "EMI",
    "FRIULI-VENEZIA GIULIA": "FRI",
    "LIGURIA": "LIG",
    "LAZIO": "LAZ",
    "LOMBARDIA": "LOM",
    "MARCHE": "MAR",
    "MOLISE": "MOL",
    "PIEMONTE": "PIE",
    "PUGLIA": "PUG",
    "SARDEGNA": "SAR",
    "SICILIA": "SIC",
    "TOSCANA": "TOS",
    "UMBRIA": "UMB",
    "VENETO": "VEN",
}

# Letters that Unicode does not decompose into a base letter plus a mark.
LETTERE_NON_SCOMPONIBILI = {
    "Æ": "AE", "æ": "ae", "Ø": "O", "ø": "o", "Œ": "OE", "œ": "oe",
    "ß": "ss", "Ł": "L", "ł": "l", "Đ": "D", "đ": "d", "Þ": "Th", "þ": "th",
}

VOCALI = set("AEIOU")


def maiuscolo(nome):
    """Upper-cases a name the way the old files spell it: plain ASCII, with a word-final
    accented vowel written as the vowel plus an apostrophe (CEFALU', FORLI')."""
    if "/" in nome:  # bilingual names: the Italian form comes first
        nome = nome.split("/", 1)[0]
    nome = " ".join(nome.split())
    out = []
    for i, ch in enumerate(nome):
        ch = LETTERE_NON_SCOMPONIBILI.get(ch, ch)
        scomposto = unicodedata.normalize("NFKD", ch)
        base = "".join(c for c in scomposto if not unicodedata.combining(c))
        accentato = base != scomposto
        base = base.upper()
        segue = nome[i + 1] if i + 1 < len(nome) else ""
        if accentato and base in VOCALI and not segue.isalpha():
            base += "'"
        out.append(base)
    testo = "".join(out)
    if not testo.isascii():
        raise ValueError(f"non-ASCII left in {nome!r} -> {testo!r}")
    return testo


def codice_regione(nome):
    chiave = maiuscolo(nome)
    if chiave.startswith("TRENTINO"):
        return "TRE"
    if chiave.startswith("VALLE D'AOSTA") or chiave.startswith("VALLE D AOSTA"):
        return "VAL"
    if chiave not in REGIONI:
        raise ValueError(f"unknown region: {nome!r}")
    return REGIONI[chiave]


def scrivi_tsv(percorso, righe):
    with open(percorso, "w", encoding="ascii", newline="\n") as f:
        for riga in righe:
            for campo in riga:
                if "\t" in campo or "\n" in campo:
                    raise ValueError(f"separator inside field {campo!r}")
            f.write("\t".join(riga) + "\n")


def converti_comuni(percorso):
    with open(percorso, encoding="utf-8") as f:
        comuni = json.load(f)
    localita = {}
    province = {}
    for c in comuni:
        nome = maiuscolo(c["nome"])
        if not nome or len(nome) > MAX_LOCALITA:
            raise ValueError(f"bad municipality name {c['nome']!r}")
        sigla = c["sigla"].strip().upper()
        if len(sigla) != 2:
            raise ValueError(f"bad province code {sigla!r}")
        regione = codice_regione(c["regione"]["nome"])
        catastale = c["codiceCatastale"].strip().upper()
        if len(catastale) != 4:
            raise ValueError(f"bad cadastral code {catastale!r}")
        provincia = maiuscolo(c["provincia"]["nome"])
        if province.setdefault(sigla, provincia) != provincia:
            raise ValueError(f"province {sigla} has two names")
        for cap in c["cap"]:
            if len(cap) != 5 or not cap.isdigit():
                raise ValueError(f"bad CAP {cap!r} for {c['nome']!r}")
            # Two municipalities may end up with one spelling and CAP; the first wins.
            localita.setdefault((nome, cap), (nome, cap, sigla, regione, catastale))
    return sorted(localita.values()), sorted(province.items())


def converti_nazioni(percorso_json, percorso_mo):
    with open(percorso_json, encoding="utf-8") as f:
        paesi = json.load(f)["3166-1"]
    with open(percorso_mo, "rb") as f:
        italiano = gettext.GNUTranslations(f)
    righe = []
    for p in paesi:
        numero = p["numeric"].zfill(3)
        if len(numero) != 3 or not numero.isdigit():
            raise ValueError(f"bad numeric code {p['numeric']!r}")
        # gettext returns the English msgid itself when there is no translation.
        nome = maiuscolo(italiano.gettext(p["name"]))
        righe.append((numero, nome, p["alpha_2"]))
    return sorted(righe)


def main():
    qui = os.path.dirname(os.path.abspath(__file__))
    radice = os.path.normpath(os.path.join(qui, "..", ".."))
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--comuni",
                    default=os.path.join(radice, "..", "shared", "data", "comuni", "comuni.json"))
    ap.add_argument("--iso-json", default="/usr/share/iso-codes/json/iso_3166-1.json")
    ap.add_argument("--iso-mo", default="/usr/share/locale/it/LC_MESSAGES/iso_3166-1.mo")
    ap.add_argument("--out", default=os.path.join(radice, "data"))
    args = ap.parse_args()

    localita, province = converti_comuni(args.comuni)
    nazioni = converti_nazioni(args.iso_json, args.iso_mo)
    os.makedirs(args.out, exist_ok=True)
    scrivi_tsv(os.path.join(args.out, "localita.tsv"), localita)
    scrivi_tsv(os.path.join(args.out, "province.tsv"), province)
    scrivi_tsv(os.path.join(args.out, "nazioni.tsv"), nazioni)
    print(f"localita {len(localita)}, province {len(province)}, nazioni {len(nazioni)}",
          file=sys.stderr)


if __name__ == "__main__":
    main()
