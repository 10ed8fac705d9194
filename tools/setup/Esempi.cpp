// Generated sample clients: each row depends on its code alone, the same on every platform,
// and passes the client form's own checks, with the homonyms and shared VAT prefixes that the
// similar-client lists and the searches need to show something.

#include <cstdint>
#include <iterator>
#include <span>

#include "Setup.h"
#include "data/RegoleCliente.h"

namespace setup {

namespace {

// splitmix64: tiny, fast and the same on every platform, unlike the standard engines'
// distributions.
class Casuale {
  public:
    explicit Casuale(std::uint64_t seme) : stato_(seme) {}
    std::uint64_t Prossimo() {
        std::uint64_t z = (stato_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int Sotto(int n) { return static_cast<int>(Prossimo() % static_cast<std::uint64_t>(n)); }
    int Tra(int da, int a) { return da + Sotto(a - da + 1); }
    bool Percento(int p) { return Sotto(100) < p; }
    template <typename T>
    const T& Scegli(std::span<const T> v) {
        return v[static_cast<std::size_t>(Sotto(static_cast<int>(v.size())))];
    }
    QString Cifre(int quante) {
        QString s;
        for (int i = 0; i < quante; ++i) s += QChar(u'0' + Sotto(10));
        return s;
    }

  private:
    std::uint64_t stato_;
};

// Separate streams per client, so that one part of a row can be rebuilt without the rest.
enum Flusso : std::uint64_t { FlussoNome = 1, FlussoDettagli = 2, FlussoGruppoIva = 3 };

Casuale Generatore(qint64 chiave, Flusso flusso) {
    return Casuale(static_cast<std::uint64_t>(chiave) * 0x2545F4914F6CDD1Dull +
                   flusso * 0x632BE5ABull);
}

using Lista = std::span<const char* const>;

constexpr const char* kCognomi[] = {
    "ROSSI",   "RUSSO",   "FERRARI",    "ESPOSITO",   "BIANCHI",    "ROMANO",   "COLOMBO",
    "RICCI",   "MARINO",  "GRECO",      "BRUNO",      "GALLO",      "CONTI",    "DE LUCA",
    "MANCINI", "COSTA",   "GIORDANO",   "RIZZO",      "LOMBARDI",   "MORETTI",  "BARBIERI",
    "FONTANA", "SANTORO", "MARIANI",    "RINALDI",    "CARUSO",     "FERRARA",  "GALLI",
    "MARTINI", "LEONE",   "LONGO",      "GENTILE",    "MARTINELLI", "VITALE",   "LOMBARDO",
    "SERRA",   "COPPOLA", "DE SANTIS",  "D'ANGELO",   "MARCHETTI",  "PARISI",   "VILLA",
    "CONTE",   "FERRO",   "FABBRI",     "BIANCO",     "MARINI",     "GRASSO",   "VALENTINI",
    "MESSINA", "SALA",    "DE ANGELIS", "GATTI",      "PELLEGRINI", "PALUMBO",  "SANNA",
    "FARINA",  "RIVA",    "MONTI",      "CATTANEO",   "MORELLI",    "AMATO",    "SILVESTRI",
    "MAZZA",   "TESTA",   "GRASSI",     "PELLEGRINO", "CARBONE",    "GIULIANI", "BENEDETTI",
    "VERDI",   "NERI",    "BASSI",      "ORLANDO",    "PIRAS",      "MELIS",    "ZANETTI",
};
constexpr const char* kNomiMaschili[] = {
    "MARIO",  "GIUSEPPE", "GIOVANNI", "ANTONIO",    "LUCA",      "MARCO",   "FRANCESCO",
    "ANDREA", "PAOLO",    "STEFANO",  "ALESSANDRO", "ROBERTO",   "MASSIMO", "DAVIDE",
    "SIMONE", "MATTEO",   "LORENZO",  "PIETRO",     "CARLO",     "FABIO",   "ENRICO",
    "NICOLA", "SERGIO",   "CLAUDIO",  "VINCENZO",   "SALVATORE", "GIORGIO", "EMANUELE",
};
constexpr const char* kNomiFemminili[] = {
    "MARIA",      "ANNA",     "GIULIA",    "FRANCESCA", "LAURA",    "CHIARA",   "SARA",
    "PAOLA",      "ELENA",    "VALENTINA", "SILVIA",    "FEDERICA", "MARTINA",  "ROBERTA",
    "ALESSANDRA", "CRISTINA", "BARBARA",   "MONICA",    "ELISA",    "GIOVANNA", "ROSA",
    "LUCIA",      "TERESA",   "ANGELA",    "SIMONA",    "DANIELA",
};
constexpr const char* kAttivita[] = {
    "FERRAMENTA",  "AUTOFFICINA", "PANIFICIO", "TIPOGRAFIA",       "ELETTRAUTO",  "FALEGNAMERIA",
    "MACELLERIA",  "TRASPORTI",   "IMPIANTI",  "AGRARIA",          "CARROZZERIA", "OTTICA",
    "TESSITURA",   "CERAMICHE",   "GELATERIA", "ARREDAMENTI",      "EDILIZIA",    "INFORMATICA",
    "COSTRUZIONI", "LEGNAMI",     "FARMACIA",  "ONORANZE FUNEBRI", "CASEIFICIO",  "OLEIFICIO",
};
constexpr const char* kStrade[] = {
    "ROMA",
    "GARIBALDI",
    "MAZZINI",
    "CAVOUR",
    "DANTE ALIGHIERI",
    "MATTEOTTI",
    "XX SETTEMBRE",
    "VITTORIO EMANUELE II",
    "DELLA REPUBBLICA",
    "NAZIONALE",
    "MARCONI",
    "GRAMSCI",
    "DEI MILLE",
    "VERDI",
    "DON MINZONI",
    "IV NOVEMBRE",
    "DELLA LIBERTA'",
    "GALILEI",
    "MANZONI",
    "LEOPARDI",
    "PUCCINI",
    "DELLE INDUSTRIE",
    "DEL LAVORO",
    "DELL'ARTIGIANATO",
    "SAN FRANCESCO",
    "DEI TIGLI",
    "DELLE ROSE",
    "KENNEDY",
    "ALDO MORO",
    "DEGLI ALPINI",
};
constexpr const char* kTipiStrada[] = {"VIA",   "VIA", "VIA",   "VIALE",  "PIAZZA",
                                       "CORSO", "VIA", "LARGO", "VICOLO", "VIA"};
constexpr const char* kCellulari[] = {"320", "328", "329", "333", "335", "338", "339",
                                      "340", "347", "348", "349", "366", "380", "392"};
constexpr const char* kCategorie[] = {"A1", "A2", "A3", "B1", "B2", "B3", "C1", "GDO"};
constexpr const char* kAggiunte[] = {"SOCIETA' UNIPERSONALE", "IN LIQUIDAZIONE",
                                     "DIVISIONE COMMERCIALE", "SEDE AMMINISTRATIVA",
                                     "CONSORZIO ARTIGIANI"};

struct Estero {
    const char* nazione;
    const char* prefissoTelefono;
    const char* citta[4];
    const char* cap[4];
    const char* strada;
    const char* forme[2];
    const char* cognomi[4];
};
constexpr Estero kEsteri[] = {
    {"DE",
     "+49",
     {"MUENCHEN", "BERLIN", "HAMBURG", "STUTTGART"},
     {"80331", "10115", "20095", "70173"},
     "BAHNHOFSTRASSE",
     {"GMBH", "KG"},
     {"MUELLER", "SCHMIDT", "SCHNEIDER", "FISCHER"}},
    {"FR",
     "+33",
     {"PARIS", "LYON", "NICE", "MARSEILLE"},
     {"75001", "69001", "06000", "13001"},
     "RUE DE LA PAIX",
     {"SARL", "SA"},
     {"MARTIN", "BERNARD", "DUBOIS", "MOREAU"}},
    {"CH",
     "+41",
     {"LUGANO", "ZUERICH", "GENEVE", "BASEL"},
     {"6900", "8001", "1201", "4001"},
     "VIA NASSA",
     {"AG", "SA"},
     {"KELLER", "MEIER", "BERNASCONI", "FONTANA"}},
    {"AT",
     "+43",
     {"WIEN", "GRAZ", "INNSBRUCK", "SALZBURG"},
     {"1010", "8010", "6020", "5020"},
     "HAUPTSTRASSE",
     {"GMBH", "KG"},
     {"HUBER", "GRUBER", "WAGNER", "PICHLER"}},
    {"ES",
     "+34",
     {"MADRID", "BARCELONA", "VALENCIA", "SEVILLA"},
     {"28001", "08001", "46001", "41001"},
     "CALLE MAYOR",
     {"SL", "SA"},
     {"GARCIA", "FERNANDEZ", "LOPEZ", "MARTINEZ"}},
};

// Telephone prefixes of the larger provinces; the others get a plausible made-up one.
struct Prefisso {
    const char* provincia;
    const char* prefisso;
};
constexpr Prefisso kPrefissi[] = {
    {"MI", "02"},  {"RM", "06"},  {"TO", "011"}, {"NA", "081"}, {"GE", "010"}, {"BO", "051"},
    {"FI", "055"}, {"VE", "041"}, {"PA", "091"}, {"BA", "080"}, {"CT", "095"}, {"VR", "045"},
    {"PD", "049"}, {"BS", "030"}, {"BG", "035"}, {"TS", "040"}, {"CA", "070"}, {"PG", "075"},
};

enum class Tipo { Persona, Societa, Estera };

struct Nominativo {
    Tipo tipo = Tipo::Societa;
    QString ragsoc;
    QString estesa;
    QString cognome;
    QString nome;
    bool femmina = false;
    int estero = 0;  // index into kEsteri
};

// Three consecutive codes in every fifty are companies whose VAT numbers share their first
// seven digits, so that a search by VAT prefix finds several.
bool NelGruppoIva(qint64 codice) {
    const qint64 r = codice % 50;
    return r >= 11 && r <= 13;
}

// Every code ending in 7 repeats the name of the code five below it (homonyms).
qint64 FonteNome(qint64 codice) {
    return (codice % 10 == 7) ? codice - 5 : codice;
}

QString Riempi(const QString& testo, int larghezza) {
    return testo.left(larghezza).leftJustified(larghezza, u' ');
}

Nominativo GeneraNominativo(qint64 codice) {
    Casuale r = Generatore(codice, FlussoNome);
    Nominativo n;
    const int dado = r.Sotto(100);
    if (NelGruppoIva(codice) || (dado >= 4 && dado < 62))
        n.tipo = Tipo::Societa;
    else if (dado < 4)
        n.tipo = Tipo::Estera;
    else
        n.tipo = Tipo::Persona;

    // A second partner never bears the first one's surname.
    const int quale = r.Sotto(int(std::size(kCognomi)));
    const QString cognome = QString::fromLatin1(kCognomi[quale]);
    const QString cognome2 = QString::fromLatin1(
        kCognomi[(quale + 1 + r.Sotto(int(std::size(kCognomi)) - 1)) % std::size(kCognomi)]);
    n.femmina = r.Percento(40);
    const QString nome = QString::fromLatin1(n.femmina ? r.Scegli(Lista(kNomiFemminili))
                                                       : r.Scegli(Lista(kNomiMaschili)));
    const QString attivita = QString::fromLatin1(r.Scegli(Lista(kAttivita)));

    switch (n.tipo) {
        case Tipo::Persona:
            n.cognome = cognome;
            n.nome = nome;
            n.ragsoc = cognome + u' ' + nome;
            break;
        case Tipo::Estera: {
            n.estero = r.Sotto(static_cast<int>(std::size(kEsteri)));
            const Estero& e = kEsteri[n.estero];
            n.ragsoc = QString::fromLatin1(e.cognomi[r.Sotto(4)]) + u' ' +
                       QString::fromLatin1(e.forme[r.Sotto(2)]);
            break;
        }
        case Tipo::Societa:
            switch (r.Sotto(9)) {
                case 0:
                    n.ragsoc = cognome + u' ' + nome + " & C. SNC";
                    break;
                case 1:
                    n.ragsoc = attivita + u' ' + cognome + " SRL";
                    break;
                case 2:
                    n.ragsoc = "STUDIO TECNICO " + cognome;
                    break;
                case 3:
                    n.ragsoc = cognome + " SPA";
                    break;
                case 4:
                    n.ragsoc = "F.LLI " + cognome + " SNC";
                    break;
                case 5:
                    n.ragsoc = cognome + " & " + cognome2 + " SAS";
                    break;
                case 6:
                    n.ragsoc = attivita + u' ' + cognome + " DI " + cognome + u' ' + nome;
                    break;
                case 7:
                    n.ragsoc = "STUDIO ASSOCIATO " + cognome + " E " + cognome2;
                    break;
                default:
                    n.ragsoc = cognome + u' ' + nome + " SRLS";
                    break;
            }
            if (n.ragsoc.size() > 35) {
                // What does not fit goes on to the second name line, as an operator would.
                const qsizetype taglio = n.ragsoc.lastIndexOf(u' ', 35);
                n.estesa = n.ragsoc.mid(taglio + 1);
                n.ragsoc = n.ragsoc.left(taglio);
            } else if (r.Percento(8)) {
                n.estesa = QString::fromLatin1(r.Scegli(Lista(kAggiunte)));
            }
            break;
    }
    return n;
}

// Seven-digit serial, three-digit tax office, check digit.
QString PartitaIva(const QString& seriale, int ufficio) {
    const QString dieci = seriale + QString::number(ufficio).rightJustified(3, u'0');
    return dieci + QChar(u'0' + CifraControlloPartitaIva(dieci));
}

QString SerialeIva(Casuale& r) {
    return QString::number(r.Tra(1, 9999999)).rightJustified(7, u'0');
}

QDate DataCasuale(Casuale& r, int annoDa, int annoA) {
    const int anno = r.Tra(annoDa, annoA);
    const int mese = r.Tra(1, 12);
    return QDate(anno, mese, r.Tra(1, QDate(anno, mese, 1).daysInMonth()));
}

QString Telefono(Casuale& r, const QString& provincia) {
    for (const Prefisso& p : kPrefissi)
        if (provincia == QLatin1String(p.provincia))
            return QString::fromLatin1(p.prefisso) + u' ' +
                   r.Cifre(9 - int(qstrlen(p.prefisso)) + 1);
    return u'0' + QString::number(r.Tra(300, 999)) + u' ' + r.Cifre(6);
}

// A real Italian locality that fits the client's 35-character column.
const Localita& LocalitaCasuale(Casuale& r) {
    static const std::vector<const Localita*> adatte = [] {
        std::vector<const Localita*> v;
        for (const Localita& l : DatiLocalita())
            if (l.nome.size() <= 35) v.push_back(&l);
        return v;
    }();
    return *adatte[static_cast<std::size_t>(r.Sotto(static_cast<int>(adatte.size())))];
}

}  // namespace

Cliente ClienteEsempio(qint64 codice) {
    const Nominativo n = GeneraNominativo(FonteNome(codice));
    Casuale r = Generatore(codice, FlussoDettagli);
    Cliente c;
    c.codice = codice;
    c.ragsoc = n.ragsoc;
    QString indirizzo, localita, cap, provincia, nazione, piva, cf, telefono, categoria;
    if (n.tipo == Tipo::Estera) {
        const Estero& e = kEsteri[n.estero];
        const int i = r.Sotto(4);
        indirizzo = QString::fromLatin1(e.strada) + u' ' + QString::number(r.Tra(1, 150));
        localita = QString::fromLatin1(e.citta[i]);
        cap = QString::fromLatin1(e.cap[i]);
        // No province: PROVINCIE holds only Italy's, and the form refuses any other code.
        nazione = QString::fromLatin1(e.nazione);
        if (nazione == "DE")
            piva = r.Cifre(9);
        else if (nazione == "FR")
            piva = r.Cifre(11);
        else if (nazione == "CH")
            piva = "CHE" + r.Cifre(9);
        else if (nazione == "AT")
            piva = u'U' + r.Cifre(8);
        else
            piva = QChar(u'A' + r.Sotto(8)) + r.Cifre(7) + QChar(u'A' + r.Sotto(26));
        telefono = QString::fromLatin1(e.prefissoTelefono) + u' ' + r.Cifre(9);
        categoria = QStringLiteral("EST");
    } else {
        const Localita& l = LocalitaCasuale(r);
        QString numero = QString::number(r.Tra(1, 250));
        if (r.Percento(10)) numero += "/" + QString(QChar(u'A' + r.Sotto(4)));
        indirizzo = QString::fromLatin1(r.Scegli(Lista(kTipiStrada))) + u' ' +
                    QString::fromLatin1(r.Scegli(Lista(kStrade))) + u' ' + numero;
        localita = l.nome;
        cap = l.cap;
        provincia = l.provincia;
        nazione = QStringLiteral("IT");
        telefono = (n.tipo == Tipo::Persona && r.Percento(30))
                       ? QString::fromLatin1(r.Scegli(Lista(kCellulari))) + u' ' + r.Cifre(7)
                       : Telefono(r, provincia);
        categoria = QString::fromLatin1(r.Scegli(Lista(kCategorie)));
        if (NelGruppoIva(codice)) {
            Casuale g = Generatore(codice / 50, FlussoGruppoIva);
            piva = PartitaIva(SerialeIva(g), static_cast<int>(codice % 50));
        } else if (n.tipo == Tipo::Societa || r.Percento(35)) {
            piva = PartitaIva(SerialeIva(r), r.Tra(1, 100));
        }
        if (n.tipo == Tipo::Persona) {
            const QString nascita =
                DatiLocalita()[static_cast<std::size_t>(r.Sotto(int(DatiLocalita().size())))]
                    .catastale;
            cf = CodiceFiscale(n.cognome, n.nome, DataCasuale(r, 1940, 2002), n.femmina, nascita);
        } else {
            cf = piva;
        }
        if (n.tipo == Tipo::Societa && r.Percento(6)) {
            const QDate data = DataCasuale(r, 2018, 2024);
            c.esenzioneNum = QString::number(data.year()) + u'/' + r.Cifre(6);
            c.esenzioneDat = NumeroGiorno(data);
        }
    }
    c.ragsocEstesa = Riempi(n.estesa, 35);
    c.indirizzo = Riempi(indirizzo, 35);
    c.localita = Riempi(localita, 35);
    c.cap = Riempi(cap, 9);
    c.provincia = Riempi(provincia, 3);
    c.nazione = Riempi(nazione, 3);
    c.partitaIva = Riempi(piva, 12);
    c.codiceFiscale = Riempi(cf, 16);
    c.categoria = Riempi(categoria, 4);
    c.telefono = Riempi(telefono, 14);
    c.contabile = Riempi(u'C' + QString::number(codice % 100000000).rightJustified(8, u'0'), 9);
    c.acronimo = Riempi(n.ragsoc.left(20).trimmed(), 20);
    c.esenzioneNum = Riempi(c.esenzioneNum, 12);
    return c;
}

}  // namespace setup
