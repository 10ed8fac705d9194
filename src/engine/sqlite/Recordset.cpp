// A table or a snapshot read from a file. A table recordset stands on one row, found
// again by its rowid and walked in its index's order with the rowid after the keys, so that
// equal keys have an order too; each move is one statement, never a cursor held open, so no
// read lock outlives the call. A snapshot steps one statement and reads its values only
// when asked; after a long read the file's mapping is made anew (see Rimappa).

#include "engine/Sql.h"
#include "engine/sqlite/Interno.h"

#include <charconv>

namespace motore::sqlite {

void RecordsetSqlite::Chiudi() {
    FineLettura();
    if (snapshot_) {
        sqlite3_finalize(snapshot_);
        snapshot_ = nullptr;
    }
    if (db_) db_->Rimuovi(this);
    db_ = nullptr;
}

void RecordsetSqlite::CaricaRiga(sqlite3_stmt* st, int primaColonna) {
    riga_.resize(colonne_.size());
    for (size_t i = 0; i < colonne_.size(); ++i)
        riga_[i] = ValoreColonna(st, int(i) + primaColonna);
}

QString RecordsetSqlite::Ordine(bool discendente) const {
    QStringList parti;
    const QString verso = discendente ? QStringLiteral(" DESC") : QString();
    for (const QString& c : colonneIndice_) parti << QuotaNome(c) + verso;
    parti << QStringLiteral("rowid") + verso;
    return parti.join(QStringLiteral(", "));
}

bool RecordsetSqlite::Posiziona(const QString& sql, const QVariantList& parametri) {
    db_->PrimaDiEseguire();
    sqlite3_stmt* st = db_->Prepara(sql);
    Azzera guardia{st};
    for (int i = 0; i < parametri.size(); ++i) Lega(st, i + 1, parametri[i]);
    int rc = sqlite3_step(st);
    if (rc == SQLITE_ROW) {
        rowid_ = sqlite3_column_int64(st, 0);
        CaricaRiga(st, 1);
        haRiga_ = true;
        return true;
    }
    if (rc != SQLITE_DONE) db_->Solleva(rc);
    haRiga_ = false;
    return false;
}

QString RecordsetSqlite::Selezione() const {
    return QStringLiteral("SELECT rowid, * FROM %1").arg(QuotaNome(nomeTabella_));
}

bool RecordsetSqlite::Primo() {
    return Posiziona(
        Selezione() + QStringLiteral(" ORDER BY ") + Ordine(false) + QStringLiteral(" LIMIT 1"),
        {});
}

QStringList RecordsetSqlite::ColonneIndice(const QString& nome) {
    const QString qualificato = nomeTabella_ + '.' + nome;
    QString trovato;
    for (const auto& r :
         db_->Righe(QStringLiteral("PRAGMA index_list(%1)").arg(QuotaNome(nomeTabella_)))) {
        const QString n = r.value(1).toString();
        if (n.compare(qualificato, Qt::CaseInsensitive) == 0 ||
            n.compare(nome, Qt::CaseInsensitive) == 0) {
            trovato = n;
            break;
        }
    }
    if (trovato.isEmpty()) throw ErroreIndiceMancante(nome);
    QStringList colonne;
    for (const auto& r :
         db_->Righe(QStringLiteral("PRAGMA index_info(%1)").arg(QuotaNome(trovato))))
        colonne << r.value(2).toString();
    return colonne;
}

bool RecordsetSqlite::Cerca(const QString& op, const QVariantList& chiavi) {
    const int k = int(chiavi.size());
    QStringList colonne, segnaposto;
    for (int i = 0; i < k; ++i) {
        colonne << QuotaNome(colonneIndice_[i]);
        segnaposto << Segnaposto('?', i + 1);
    }
    const QString condizione = CondizioneSeek(op, colonne, segnaposto);
    const bool indietro = op.startsWith('<');
    const QString sql = Selezione() + QStringLiteral(" WHERE ") + condizione +
                        QStringLiteral(" ORDER BY ") + Ordine(indietro) +
                        QStringLiteral(" LIMIT 1");
    return Posiziona(sql, chiavi);
}

bool RecordsetSqlite::AvanzaSnapshot() {
    if (!snapshot_) return false;
    int rc = sqlite3_step(snapshot_);
    if (rc == SQLITE_ROW) {
        // A snapshot's values are read from the engine when asked for, never all of them
        // for every row.
        haRiga_ = true;
        ++lette_;
        return true;
    }
    // Release the read lock as soon as the rows run out.
    sqlite3_reset(snapshot_);
    FineLettura();
    haRiga_ = false;
    if (rc != SQLITE_DONE) db_->Solleva(rc);
    return false;
}

bool RecordsetSqlite::Successivo() {
    QVariantList chiavi;
    QStringList colonne, segnaposto;
    for (int i = 0; i < colonneIndice_.size(); ++i) {
        colonne << QuotaNome(colonneIndice_[i]);
        chiavi << riga_[size_t(IndiceColonna(colonneIndice_[i]))];
    }
    colonne << QStringLiteral("rowid");
    chiavi << rowid_;
    for (int i = 0; i < chiavi.size(); ++i) segnaposto << Segnaposto('?', i + 1);
    // Past the row in the index's order: the keys and the rowid as one row value.
    const QString sql = Selezione() + QStringLiteral(" WHERE ") +
                        CondizioneSeek(QStringLiteral(">"), colonne, segnaposto) +
                        QStringLiteral(" ORDER BY ") + Ordine(false) + QStringLiteral(" LIMIT 1");
    return Posiziona(sql, chiavi);
}

void RecordsetSqlite::Inserisci(const std::vector<int>& colonne, const QVariantList& valori) {
    db_->Esegui(TestoInserimento(nomeTabella_, NomiDi(colonne), '?'), valori);
}

void RecordsetSqlite::Aggiorna(const std::vector<int>& colonne, const QVariantList& valori) {
    QVariantList parametri = valori;
    parametri << rowid_;
    db_->Esegui(TestoAggiornamento(nomeTabella_, NomiDi(colonne), '?') +
                    QStringLiteral(" WHERE rowid = ") + Segnaposto('?', int(parametri.size())),
                parametri);
    // Read the row back as stored, with the column types it now has.
    Posiziona(Selezione() + QStringLiteral(" WHERE rowid = ?1"), {rowid_});
}

void RecordsetSqlite::Cancella() {
    db_->Esegui(QStringLiteral("DELETE FROM %1 WHERE rowid = ?1").arg(QuotaNome(nomeTabella_)),
                {rowid_});
}

QByteArrayView RecordsetSqlite::Utf8Snapshot(int indice, bool* nullo) const {
    const int tipo = sqlite3_column_type(snapshot_, indice);
    if (nullo) *nullo = tipo == SQLITE_NULL;
    if (tipo == SQLITE_TEXT)
        return QByteArrayView(reinterpret_cast<const char*>(sqlite3_column_text(snapshot_, indice)),
                              sqlite3_column_bytes(snapshot_, indice));
    if (tipo == SQLITE_NULL) return {};
    // Asking the engine for the text of a number would change the column's type for the
    // rest of the row.
    if (tipo == SQLITE_INTEGER) {
        const auto fine =
            std::to_chars(cifre_, cifre_ + sizeof cifre_, sqlite3_column_int64(snapshot_, indice))
                .ptr;
        return QByteArrayView(cifre_, fine - cifre_);
    }
    numero_ = ValoreColonna(snapshot_, indice).toString().toUtf8();
    return numero_;
}

}  // namespace motore::sqlite
