// The server's failures as the engine's error numbers (engine/Errori.h). A failed
// statement is told by its SQLSTATE, the standard five-character code the server gives:
// a unique violation is 3022, a lock not granted in time, a deadlock or a serialization
// failure 3218 (the program's writers take turns, so the operator just tries again), a
// missing table 3078, a text too long 3163, no privilege 3051, a read-only server 3027. A
// connection that is gone (class 08, or no answer at all) is 3146, whatever the statement:
// what the transaction held is gone with it, and the next call connects again.

#include "engine/postgres/Interno.h"

namespace motore::postgres {

namespace {

// The SQLSTATEs the program tells apart; whole classes by their first two characters.
constexpr char kChiaveDuplicata[] = "23505";
constexpr char kBloccoNonOttenuto[] = "55P03";
constexpr char kStallo[] = "40P01";
constexpr char kSerializzazione[] = "40001";
constexpr char kTabellaMancante[] = "42P01";
constexpr char kTestoTroppoLungo[] = "22001";
constexpr char kSenzaPrivilegi[] = "42501";
constexpr char kSolaLettura[] = "25006";
constexpr char kClasseConnessione[] = "08";
constexpr char kClasseRisorse[] = "53";
constexpr char kClasseInterno[] = "XX";
constexpr char kClasseSintassi[] = "42";

}  // namespace

Errore ErroreDa(const PGresult* r, const QString& schema) {
    const char* stato = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
    const QString codice = stato ? QString::fromLatin1(stato) : QString();
    const QString testo = r ? MessaggioRisultato(r) : QString();
    if (codice == QLatin1String(kChiaveDuplicata)) return ErroreChiaveDuplicata();
    if (codice == QLatin1String(kBloccoNonOttenuto) || codice == QLatin1String(kStallo) ||
        codice == QLatin1String(kSerializzazione))
        return Errore(ErrBloccato, QStringLiteral("Il database '%1' è attualmente bloccato da un "
                                                  "altro utente (%2).")
                                       .arg(schema, testo));
    if (codice == QLatin1String(kTabellaMancante))
        return Errore(
            ErrTabellaMancante,
            QStringLiteral("Impossibile trovare la tabella o la query di input (%1).").arg(testo));
    if (codice == QLatin1String(kTestoTroppoLungo))
        return Errore(ErrCampoTroppoPiccolo,
                      QStringLiteral("Il campo è troppo piccolo per accettare la quantità di dati "
                                     "che si sta tentando di aggiungere (%1).")
                          .arg(testo));
    if (codice == QLatin1String(kSenzaPrivilegi))
        return Errore(ErrAccesso,
                      QStringLiteral("Manca il permesso di accesso al database '%1' (%2).")
                          .arg(schema, testo));
    if (codice == QLatin1String(kSolaLettura))
        return Errore(ErrSolaLettura,
                      QStringLiteral("Impossibile aggiornare. Il database '%1' è di sola lettura "
                                     "(%2).")
                          .arg(schema, testo));
    if (codice.startsWith(QLatin1String(kClasseRisorse)))
        return Errore(ErrDiscoPieno,
                      QStringLiteral("Risorse del server insufficienti (%1).").arg(testo));
    if (codice.startsWith(QLatin1String(kClasseInterno)))
        return Errore(ErrDanneggiato,
                      QStringLiteral("Il database '%1' è danneggiato (%2).").arg(schema, testo));
    if (codice.startsWith(QLatin1String(kClasseSintassi)))
        return Errore(ErrSintassi, QStringLiteral("Errore nell'istruzione SQL (%1).").arg(testo));
    return Errore(ErrGenerico, QStringLiteral("Errore del server di database (%1).").arg(testo));
}

bool Interrotta(const PGconn* c, const PGresult* r) {
    if (!r || PQstatus(c) == CONNECTION_BAD) return true;
    const char* stato = PQresultErrorField(r, PG_DIAG_SQLSTATE);
    return stato && qstrncmp(stato, kClasseConnessione, 2) == 0;
}

void DatabasePg::Solleva(PGconn* c, const PGresult* r) {
    if (Interrotta(c, r)) {
        // The server or the line went away: whatever the transaction held is gone with it,
        // and the next call connects again.
        Perso(c, r   ? MessaggioRisultato(r)
                 : c ? Messaggio(c)
                     : QStringLiteral("il collegamento è stato chiuso"));
    }
    throw ErroreDa(r, schema_);
}

void DatabasePg::Perso(PGconn* c, const QString& causa) {
    const QString mostrabile = Maschera(causa, collegamento_);
    if (c) Lascia(c);
    throw Errore(ErrChiamata, QStringLiteral("Collegamento con il server '%1' interrotto: %2")
                                  .arg(collegamento_.mostrabile, mostrabile));
}

}  // namespace motore::postgres
