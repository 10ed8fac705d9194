// A table or a snapshot read from the server. A table recordset stands on one row, found
// again by its place (ctid) and walked in its index's own order, nulls where the index
// keeps them, so that the index serves every move; inside a transaction the row read is
// locked (FOR UPDATE) and a row changed or deleted meanwhile is 3197. Its first read waits
// until something looks at the row, since a seek usually comes first. A snapshot streams
// on the second connection, from a cursor in a read-only transaction of its own, and stops
// the server when closed early.

#include "engine/Sql.h"
#include "engine/postgres/Interno.h"

#include <QDate>

namespace motore::postgres {

void RecordsetPg::Chiudi() {
    FermaFlusso();
    risultato_.reset();
    if (db_) db_->Rimuovi(this);
    db_ = nullptr;
}

namespace {

// Reads away what has already arrived, without waiting: true when that was the whole
// answer (a short one often is), and the connection is free.
bool Arrivata(PGconn* c) {
    if (!PQconsumeInput(c)) return false;
    while (!PQisBusy(c)) {
        PGresult* r = PQgetResult(c);
        if (!r) return true;
        PQclear(r);
    }
    return false;
}

}  // namespace

void RecordsetPg::FermaFlusso(bool breve) {
    if (!inFlusso_ || !db_) return;
    inFlusso_ = false;
    const bool inAttesa = !breve && !attesi_.empty();
    attesi_.clear();
    db_->FineFlusso(this);
    PGconn* c = db_->FlussoAttuale();
    if (!c) return;
    // Batches are still coming: the server stops sending them, and what is on the way is
    // read and dropped, away from the operator's wait.
    if (inAttesa && !Arrivata(c)) {
        db_->Rilascia(c);
        return;
    }
    db_->Svuota(c);
    // The cursor goes with its transaction; the answer is read before the next use.
    if (db_->FlussoAttuale() == c && PQtransactionStatus(c) != PQTRANS_IDLE)
        PQsendQuery(c, "ROLLBACK");
}

bool RecordsetPg::ChiediLotti(std::span<const int> lotti, QByteArray testo) {
    for (const int n : lotti) {
        testo += "FETCH " + QByteArray::number(n) + " FROM " + kCursore + ';';
        attesi_.push_back(n);
    }
    db_->ContaViaggio();
    PGconn* c = db_->FlussoAttuale();
    if (c && PQsendQuery(c, testo.constData())) return true;
    attesi_.clear();
    return false;
}

void RecordsetPg::Segui(bool pieno) {
    // The cursor is at its end: the batches still asked for come empty, and are read away.
    if (!pieno) {
        FermaFlusso(true);
        return;
    }
    if (!attesi_.empty()) return;
    // The last batch asked for: its request is over, and the next goes before its rows
    // are read. One that could not be sent fails when its rows are wanted.
    PGconn* c = db_->FlussoAttuale();
    if (!c) return;
    while (Risultato r = db_->Prossimo(c)) {
    }
    static constexpr Lotti kAltri = LottiDellaRichiesta(false);
    ChiediLotti(kAltri);
}

void RecordsetPg::Risolvi() const {
    if (!daPosizionare_) return;
    auto* io = const_cast<RecordsetPg*>(this);
    io->daPosizionare_ = false;
    io->eof_ = !io->Posiziona(Selezione() + QStringLiteral(" ORDER BY ") + Ordine(false) +
                                  QStringLiteral(" LIMIT 1") + PerAggiornare(),
                              {});
}

QString RecordsetPg::Selezione() const {
    QString s = QStringLiteral("SELECT ctid");
    for (const QString& k : indice_.chiavi) s += QStringLiteral(", ") + k;
    return s + QStringLiteral(", * FROM ") + QuotaNome(relname_);
}

QString RecordsetPg::Ordine(bool discendente) const {
    QStringList parti;
    const QString verso = discendente ? QStringLiteral(" DESC") : QString();
    // The index's own order, its nulls where it keeps them, so that it serves.
    for (size_t i = 0; i < size_t(indice_.chiavi.size()); ++i)
        parti << indice_.chiavi[qsizetype(i)] + verso +
                     (indice_.nulliPrima[i] != discendente ? QStringLiteral(" NULLS FIRST")
                                                           : QStringLiteral(" NULLS LAST"));
    // Equal keys of an index that allows them are told apart by their place in the table.
    if (!indice_.unico || indice_.chiavi.isEmpty()) parti << QStringLiteral("ctid") + verso;
    return parti.join(QStringLiteral(", "));
}

QString RecordsetPg::PerAggiornare() const {
    // Inside a transaction the row read is the row written: nobody changes it in between.
    // The transaction's first statement is sent after its text is made: it begins it too.
    return db_->PerLaTransazione() ? QStringLiteral(" FOR UPDATE") : QString();
}

void RecordsetPg::CaricaRiga(const PGresult* r, int riga) {
    const int k = int(indice_.chiavi.size());
    ctid_ = QString::fromLatin1(PQgetvalue(r, riga, 0));
    chiaviRiga_.clear();
    // The keys go back to the server as the text it gave.
    for (int i = 0; i < k; ++i)
        chiaviRiga_ << (PQgetisnull(r, riga, 1 + i)
                            ? QVariant()
                            : QVariant(QString::fromUtf8(PQgetvalue(r, riga, 1 + i))));
    riga_.resize(colonne_.size());
    for (size_t i = 0; i < colonne_.size(); ++i) riga_[i] = ValoreDi(r, riga, 1 + k + int(i));
    haRiga_ = true;
}

bool RecordsetPg::Posiziona(const QString& sql, const QVariantList& parametri) {
    Risultato r = db_->Invia(sql, parametri, true);
    if (PQntuples(r.get()) == 0) {
        haRiga_ = false;
        return false;
    }
    CaricaRiga(r.get(), 0);
    // Read FOR UPDATE: nobody else changes or deletes it before the transaction ends.
    bloccata_ = db_->InTransazione() ? db_->Serie() : 0;
    return true;
}

bool RecordsetPg::Primo() {
    // Put off until something looks at the row: a seek usually comes first.
    daPosizionare_ = true;
    haRiga_ = false;
    return true;
}

QStringList RecordsetPg::ColonneIndice(const QString& nome) {
    indice_ = db_->IndiceDi(oid_, relname_, nome);
    return indice_.chiavi;
}

bool RecordsetPg::Cerca(const QString& op, const QVariantList& chiavi) {
    daPosizionare_ = false;
    const int k = int(chiavi.size());
    QStringList espressioni, segnaposto;
    QVariantList valori;
    for (int i = 0; i < k; ++i) {
        espressioni << indice_.chiavi[i];
        segnaposto << Segnaposto('$', i + 1);
        // As text, which the server reads as the key's own type; texts are compared without
        // their trailing blanks, as the index holds them.
        if (chiavi[i].isNull()) {
            valori << QVariant();
            continue;
        }
        QString t = chiavi[i].typeId() == QMetaType::QDate
                        ? QString::number(QDate(1899, 12, 30).daysTo(chiavi[i].toDate()))
                        : chiavi[i].toString();
        while (t.endsWith(' ')) t.chop(1);
        valori << t;
    }
    const QString condizione = CondizioneSeek(op, espressioni, segnaposto);
    const bool indietro = op.startsWith('<');
    return Posiziona(Selezione() + QStringLiteral(" WHERE ") + condizione +
                         QStringLiteral(" ORDER BY ") + Ordine(indietro) +
                         QStringLiteral(" LIMIT 1") + PerAggiornare(),
                     valori);
}

bool RecordsetPg::Successivo() {
    const int k = int(indice_.chiavi.size());
    QVariantList valori = chiaviRiga_;
    QStringList segnaposto;
    for (int i = 0; i < k; ++i) segnaposto << Segnaposto('$', i + 1);
    const QString chiavi = '(' + indice_.chiavi.join(", ") + ')';
    const QString posti = '(' + segnaposto.join(", ") + ')';
    QString condizione;
    if (k == 0) {
        condizione = QStringLiteral("ctid > $1::tid");
        valori = {ctid_};
    } else if (indice_.unico) {
        condizione = chiavi + QStringLiteral(" > ") + posti;
    } else {
        // The keys alone seek the index; the row's place settles equal keys.
        valori << ctid_;
        condizione = chiavi + QStringLiteral(" >= ") + posti + QStringLiteral(" AND (") + chiavi +
                     QStringLiteral(" > ") + posti +
                     QStringLiteral(" OR ctid > $%1::tid)").arg(k + 1);
    }
    return Posiziona(Selezione() + QStringLiteral(" WHERE ") + condizione +
                         QStringLiteral(" ORDER BY ") + Ordine(false) + QStringLiteral(" LIMIT 1") +
                         PerAggiornare(),
                     valori);
}

void RecordsetPg::Inserisci(const std::vector<int>& colonne, const QVariantList& valori) {
    const QString sql = TestoInserimento(relname_, NomiDi(colonne), '$');
    // The transaction's last write travels with its COMMIT; a refused row (a key taken)
    // fails there and the COMMIT does not run.
    if (ultimaScrittura_ && db_->InTransazione()) {
        db_->Rinvia({sql.toUtf8(), valori, nullptr, nullptr, true});
        return;
    }
    db_->Invia(sql, valori);
}

void RecordsetPg::Aggiorna(const std::vector<int>& colonne, const QVariantList& valori) {
    QVariantList parametri = valori;
    parametri << ctid_;
    QString ritorno = QStringLiteral("ctid");
    for (const QString& k : indice_.chiavi) ritorno += QStringLiteral(", ") + k;
    // The row comes back as stored, at its new place.
    const QString sql = TestoAggiornamento(relname_, NomiDi(colonne), '$') +
                        QStringLiteral(" WHERE ctid = %1::tid RETURNING %2, *")
                            .arg(Segnaposto('$', int(parametri.size())), ritorno);
    auto esito = [](const PGresult* r, RecordsetPg* rs) {
        if (PQntuples(r) == 0)
            throw Errore(ErrConflitto, QStringLiteral("Il record è stato cambiato o cancellato da "
                                                      "un altro utente dopo la lettura."));
        if (rs) rs->CaricaRiga(r, 0);
    };
    // The transaction's last write travels with its COMMIT, but only over a row this
    // transaction holds locked: that update cannot miss it, and a miss found after the
    // COMMIT would come too late.
    if (ultimaScrittura_ && db_->InTransazione() && bloccata_ == db_->Serie()) {
        db_->Rinvia({sql.toUtf8(), parametri, esito, this, true});
        return;
    }
    Risultato r = db_->Invia(sql, parametri);
    esito(r.get(), this);
}

void RecordsetPg::Cancella() {
    Risultato r = db_->Invia(
        QStringLiteral("DELETE FROM %1 WHERE ctid = $1::tid").arg(QuotaNome(relname_)), {ctid_});
    if (QByteArray(PQcmdTuples(r.get())) == "0")
        throw Errore(ErrConflitto, QStringLiteral("Il record è stato cambiato o cancellato da un "
                                                  "altro utente dopo la lettura."));
}

bool RecordsetPg::AvanzaSnapshot() {
    if (risultato_ && rigaCorrente_ + 1 < PQntuples(risultato_.get())) {
        ++rigaCorrente_;
        haRiga_ = true;
        return true;
    }
    haRiga_ = false;
    risultato_.reset();
    rigaCorrente_ = 0;
    if (!inFlusso_) return false;
    PGconn* c = db_->FlussoAttuale();
    // A stream whose connection was given up ends in an error, never as if the rows were
    // all read.
    if (!c || attesi_.empty()) {
        eof_ = true;
        FermaFlusso();
        db_->Solleva(c && db_->FlussoAttuale() == c ? c : nullptr, nullptr);
    }
    Risultato lotto = db_->Prossimo(c);
    const int atteso = attesi_.front();
    attesi_.pop_front();
    if (PQresultStatus(lotto.get()) != PGRES_TUPLES_OK) {
        eof_ = true;
        // After a failure the server skips the batches still asked for.
        FermaFlusso(true);
        // The connection may have gone while the rest was read.
        db_->Solleva(db_->FlussoAttuale() == c ? c : nullptr, lotto.get());
    }
    const int righe = PQntuples(lotto.get());
    risultato_ = std::move(lotto);
    Segui(righe == atteso);
    haRiga_ = righe > 0;
    return haRiga_;
}

QByteArrayView RecordsetPg::Utf8Snapshot(int indice, bool* nullo) const {
    const PGresult* r = risultato_.get();
    const int lunghezza = PQgetlength(r, rigaCorrente_, indice);
    // Only an empty value may be a null: the others need not be asked.
    const bool vuoto = lunghezza == 0 && PQgetisnull(r, rigaCorrente_, indice);
    if (nullo) *nullo = vuoto;
    if (vuoto) return {};
    return QByteArrayView(PQgetvalue(r, rigaCorrente_, indice), lunghezza);
}

}  // namespace motore::postgres
