// A schema on the server as the interface sees it: statements with their parameters
// typed as the server compares them, the schema built and read back in the same words on
// every engine (text in collation "C", search indexes on lower(rtrim(column))), bulk loads
// through COPY, and the forms' queries translated (Traduzione.cpp) with what the catalog
// tells of a table's columns and key. Every statement goes through Invia (Connessione.cpp).

#include "engine/Sql.h"
#include "engine/postgres/Interno.h"
#include "engine/postgres/Traduzione.h"

#include <QDate>
#include <QRegularExpression>

namespace motore::postgres {

namespace {

// A native statement with the positional parameters the callers write (?1, or ? in turn)
// numbered as the server wants them ($1); literals and quoted names are left alone.
QString Segnaposti(const QString& sql) {
    QString out;
    int prossimo = 1;
    QChar virgoletta;
    for (qsizetype i = 0; i < sql.size(); ++i) {
        const QChar c = sql[i];
        if (!virgoletta.isNull()) {
            if (c == virgoletta) virgoletta = QChar();
            out += c;
        } else if (c == '\'' || c == '"') {
            virgoletta = c;
            out += c;
        } else if (c == '?') {
            qsizetype j = i + 1;
            while (j < sql.size() && sql[j].isDigit()) ++j;
            out += '$' + (j > i + 1 ? sql.mid(i + 1, j - i - 1) : QString::number(prossimo));
            ++prossimo;
            i = j - 1;
        } else {
            out += c;
        }
    }
    return out;
}

// A row of COPY's text format.
void AggiungiCopia(QByteArray& out, const QVariantList& riga) {
    for (qsizetype i = 0; i < riga.size(); ++i) {
        if (i > 0) out += '\t';
        const QVariant& v = riga[i];
        if (v.isNull()) {
            out += "\\N";
            continue;
        }
        const QByteArray t = Parametri({v}).testi.front();
        for (char c : t) {
            switch (c) {
                case '\\':
                    out += "\\\\";
                    break;
                case '\t':
                    out += "\\t";
                    break;
                case '\n':
                    out += "\\n";
                    break;
                case '\r':
                    out += "\\r";
                    break;
                default:
                    out += c;
            }
        }
    }
    out += '\n';
}

}  // namespace

Parametri::Parametri(const QVariantList& lista) {
    testi.reserve(size_t(lista.size()));
    for (const QVariant& v : lista) {
        Oid tipo = 0;
        QByteArray t;
        if (!v.isNull()) {
            switch (v.typeId()) {
                case QMetaType::Bool:
                    tipo = kBool;
                    t = v.toBool() ? "true" : "false";
                    break;
                case QMetaType::Int:
                case QMetaType::UInt:
                case QMetaType::Long:
                case QMetaType::LongLong:
                case QMetaType::Short:
                case QMetaType::UShort:
                case QMetaType::ULong:
                case QMetaType::ULongLong:
                    tipo = kInt8;
                    t = QByteArray::number(v.toLongLong());
                    break;
                case QMetaType::Double:
                case QMetaType::Float:
                    tipo = kFloat8;
                    t = QByteArray::number(v.toDouble(), 'g', 17);
                    break;
                case QMetaType::QDate:
                    tipo = kInt8;
                    t = QByteArray::number(QDate(1899, 12, 30).daysTo(v.toDate()));
                    break;
                default:
                    t = v.toString().toUtf8();
                    if (t.contains('\0'))
                        throw Errore(ErrSintassi, QStringLiteral("Carattere non valido (NUL) "
                                                                 "in un valore."));
                    break;
            }
        }
        tipi.push_back(tipo);
        testi.push_back(t);
    }
    for (size_t i = 0; i < testi.size(); ++i)
        valori.push_back(lista[qsizetype(i)].isNull() ? nullptr : testi[i].constData());
}

QVariant ValoreDi(const PGresult* r, int riga, int colonna) {
    if (PQgetisnull(r, riga, colonna)) return QVariant();
    const char* t = PQgetvalue(r, riga, colonna);
    switch (PQftype(r, colonna)) {
        case kInt2:
        case kInt4:
        case kInt8:
            return QVariant(QByteArray(t).toLongLong());
        case kFloat4:
        case kFloat8:
        case kNumeric:
            return QVariant(QByteArray(t).toDouble());
        case kBool:
            return QVariant(t[0] == 't');
        default:
            return QVariant(QString::fromUtf8(t, PQgetlength(r, riga, colonna)));
    }
}

Colonna ColonnaDa(const PGresult* r, int i) {
    Colonna c;
    c.nome = QString::fromUtf8(PQfname(r, i));
    const int mod = PQfmod(r, i);
    switch (PQftype(r, i)) {
        case kVarchar:
        case kBpchar:
            c.tipo = QStringLiteral("VARCHAR(%1)").arg(mod - kTestaVarchar);
            c.dimensione = mod > kTestaVarchar ? mod - kTestaVarchar : 255;
            break;
        case kInt2:
            c.tipo = QStringLiteral("SMALLINT");
            c.dimensione = 2;
            break;
        case kInt4:
            c.tipo = QStringLiteral("INTEGER");
            c.dimensione = 4;
            break;
        case kInt8:
            c.tipo = QStringLiteral("BIGINT");
            c.dimensione = 8;
            break;
        case kFloat4:
        case kFloat8:
        case kNumeric:
            c.tipo = QStringLiteral("DOUBLE");
            c.dimensione = 8;
            break;
        default:
            c.tipo = QStringLiteral("TEXT");
            c.dimensione = 255;
            break;
    }
    return c;
}

void DatabasePg::Esegui(const QString& sqlNativo, const QVariantList& parametri) {
    static const QRegularExpression schema(QStringLiteral("^\\s*(CREATE|ALTER|DROP)\\b"),
                                           QRegularExpression::CaseInsensitiveOption);
    if (schema.match(sqlNativo).hasMatch()) schemi_.clear();
    if (!parametri.isEmpty()) {
        Invia(Segnaposti(sqlNativo), parametri);
        return;
    }
    // Without parameters a text may hold several statements.
    PrimaDiEseguire();
    Risultato r = Chiedi(conn_, sqlNativo.toUtf8(), nullptr);
    const auto stato = PQresultStatus(r.get());
    if (stato != PGRES_COMMAND_OK && stato != PGRES_TUPLES_OK) Solleva(conn_, r.get());
}

std::vector<QVariantList> DatabasePg::Righe(const QString& sqlNativo,
                                            const QVariantList& parametri) {
    Risultato r = Invia(Segnaposti(sqlNativo), parametri);
    std::vector<QVariantList> righe;
    for (int i = 0; i < PQntuples(r.get()); ++i) {
        QVariantList riga;
        for (int c = 0; c < PQnfields(r.get()); ++c) riga << ValoreDi(r.get(), i, c);
        righe.push_back(std::move(riga));
    }
    return righe;
}

QStringList DatabasePg::Piano(const QString& sql) {
    QStringList piano;
    Risultato r = Invia(QStringLiteral("EXPLAIN ") +
                            postgres::Traduci(sql, [this](const QString& t) { return Schema(t); }),
                        {}, true);
    for (int i = 0; i < PQntuples(r.get()); ++i)
        piano << QString::fromUtf8(PQgetvalue(r.get(), i, 0));
    return piano;
}

void DatabasePg::CreaTabella(const QString& nome, const std::vector<DefColonna>& colonne) {
    QStringList definizioni;
    // Unquoted names, folded to lower case, so that people type them in any case. Texts in
    // collation "C" compare and sort as the files do.
    for (const DefColonna& c : colonne) {
        if (!NomeSemplice(c.nome))
            throw Errore(ErrSintassi, QStringLiteral("Nome di colonna non valido: %1").arg(c.nome));
        definizioni << c.nome +
                           (c.larghezza > 0
                                ? QStringLiteral(" varchar(%1) COLLATE \"C\"").arg(c.larghezza)
                                : QStringLiteral(" integer")) +
                           (c.obbligatoria ? QStringLiteral(" NOT NULL") : QString());
    }
    if (!NomeSemplice(nome))
        throw Errore(ErrSintassi, QStringLiteral("Nome di tabella non valido: %1").arg(nome));
    schemi_.clear();
    Invia(QStringLiteral("CREATE TABLE %1 (%2)").arg(nome, definizioni.join(", ")));
}

void DatabasePg::CreaIndice(const QString& tabella, const QString& nome, const QStringList& colonne,
                            TipoIndice tipo) {
    QString oid, relname;
    std::vector<Colonna> definite;
    Tabella(tabella, oid, relname, definite);
    const SchemaTabella* schema = Schema(tabella);
    QStringList chiavi;
    for (qsizetype i = 0; i < colonne.size(); ++i) {
        const SchemaTabella::Colonna* c = schema ? schema->Trova(colonne[i]) : nullptr;
        if (!c) throw ErroreCampoMancante(colonne[i]);
        const QString col = QuotaNome(c->nome);
        // Seeks compare texts without their trailing blanks; the search compares them in
        // lower case as well, as the dialect writes its comparisons.
        QString chiave;
        if (tipo == TipoIndice::Ricerca && i == 0)
            chiave = QStringLiteral("(lower(rtrim(%1))) COLLATE \"C\"").arg(col);
        else if (c->testo)
            chiave = QStringLiteral("(rtrim(%1))").arg(col);
        else
            chiave = col;
        // Nulls first, as on files: the dialect's orders then walk the index.
        if (c->nullabile) chiave += QStringLiteral(" NULLS FIRST");
        chiavi << chiave;
    }
    Invia(QStringLiteral("CREATE %1INDEX %2 ON %3 (%4)")
              .arg(tipo == TipoIndice::Unico ? QStringLiteral("UNIQUE ") : QString(),
                   QuotaNome(tabella + '.' + nome), QuotaNome(relname), chiavi.join(", ")));
    schemi_.clear();
}

void DatabasePg::Carica(const QString& tabella, const QStringList& colonne,
                        const std::function<bool(QVariantList&)>& riga) {
    QString oid, relname;
    std::vector<Colonna> definite;
    Tabella(tabella, oid, relname, definite);
    PrimaDiEseguire();
    const QByteArray sql = QStringLiteral("COPY %1 (%2) FROM STDIN")
                               .arg(QuotaNome(relname), colonne.join(", "))
                               .toUtf8();
    // The transaction's beginning may go first, on a new connection if the old one had
    // dropped: the copy's connection is the one it ends on.
    Risultato r = Chiedi(conn_, sql, nullptr);
    PGconn* c = conn_;
    if (PQresultStatus(r.get()) != PGRES_COPY_IN) Solleva(c, r.get());
    QByteArray blocco;
    QVariantList valori;
    bool ok = true;
    // libpq takes no more while its buffer is full: what it holds goes first.
    auto accoda = [&](const std::function<int()>& metti) {
        while (ok) {
            const int n = metti();
            if (n == 1) return;
            if (n < 0)
                ok = false;
            else if (!Spingi(c, Orologio::now() + std::chrono::milliseconds(Scadenza())))
                Scaduta(c);
        }
    };
    auto invia = [&] {
        accoda([&] { return PQputCopyData(c, blocco.constData(), int(blocco.size())); });
        blocco.clear();
    };
    try {
        while (riga(valori)) {
            AggiungiCopia(blocco, valori);
            if (blocco.size() > (1 << 16)) invia();
        }
    } catch (...) {
        // Unless the connection went with the error.
        if (conn_ == c) {
            PQputCopyEnd(c, "interrotto");
            Svuota(c);
        }
        throw;
    }
    invia();
    accoda([&] { return PQputCopyEnd(c, nullptr); });
    Risultato esito = Prossimo(c);
    while (Prossimo(c)) {
    }
    if (!ok || PQresultStatus(esito.get()) != PGRES_COMMAND_OK) Solleva(c, esito.get());
}

QStringList DatabasePg::Tabelle() {
    QStringList nomi;
    Risultato r = Invia(
        QStringLiteral(
            "SELECT relname FROM pg_class WHERE relnamespace = current_schema()::regnamespace AND "
            "relkind IN ('r', 'p') ORDER BY relname"),
        {}, true);
    for (int i = 0; i < PQntuples(r.get()); ++i)
        nomi << QString::fromUtf8(PQgetvalue(r.get(), i, 0));
    return nomi;
}

std::vector<DefColonna> DatabasePg::Colonne(const QString& tabella) {
    Risultato r =
        Invia(QStringLiteral("SELECT a.attname, a.atttypid, a.atttypmod, a.attnotnull FROM "
                             "pg_attribute a WHERE a.attrelid = to_regclass($1) AND a.attnum > 0 "
                             "AND NOT a.attisdropped ORDER BY a.attnum"),
              {QuotaNome(tabella.toLower())}, true);
    std::vector<DefColonna> colonne;
    for (int i = 0; i < PQntuples(r.get()); ++i) {
        const Oid tipo = Oid(QByteArray(PQgetvalue(r.get(), i, 1)).toUInt());
        DefColonna c{QString::fromUtf8(PQgetvalue(r.get(), i, 0)), 0,
                     PQgetvalue(r.get(), i, 3)[0] == 't'};
        if (tipo == kVarchar || tipo == kBpchar)
            c.larghezza = QByteArray(PQgetvalue(r.get(), i, 2)).toInt() - kTestaVarchar;
        colonne.push_back(c);
    }
    return colonne;
}

std::vector<DefIndice> DatabasePg::Indici(const QString& tabella) {
    // The expressions CreaIndice writes, read back: lower(rtrim(x)) searches, rtrim(x) seeks.
    static const QRegularExpression colonna(
        QStringLiteral("^(lower\\()?(rtrim\\()?\\(?([a-z_0-9]+)"));
    Risultato r = Invia(
        QStringLiteral("SELECT ic.relname, i.indisunique, pg_get_indexdef(i.indexrelid, k, true) "
                       "FROM pg_index i JOIN pg_class ic ON ic.oid = i.indexrelid, "
                       "generate_series(1, i.indnkeyatts) k WHERE i.indrelid = to_regclass($1) "
                       "ORDER BY ic.oid, k"),
        {QuotaNome(tabella.toLower())}, true);
    std::vector<DefIndice> indici;
    QString ultimo;
    for (int i = 0; i < PQntuples(r.get()); ++i) {
        const QString nome = QString::fromUtf8(PQgetvalue(r.get(), i, 0));
        const QString chiave = QString::fromUtf8(PQgetvalue(r.get(), i, 2));
        const auto m = colonna.match(chiave);
        if (nome != ultimo) {
            ultimo = nome;
            DefIndice d;
            d.nome = nome.section('.', 1).isEmpty() ? nome : nome.section('.', 1);
            d.tipo = PQgetvalue(r.get(), i, 1)[0] == 't' ? TipoIndice::Unico
                     : m.captured(1).isEmpty()           ? TipoIndice::Normale
                                                         : TipoIndice::Ricerca;
            indici.push_back(d);
        }
        indici.back().colonne << m.captured(3);
    }
    return indici;
}

void DatabasePg::Tabella(const QString& nome, QString& oid, QString& relname,
                         std::vector<Colonna>& colonne) {
    if (!Descrivi(nome, &oid, &relname, &colonne)) throw ErroreTabellaMancante(nome);
}

const SchemaTabella* DatabasePg::Schema(const QString& tabella) {
    auto it = schemi_.find(tabella.toLower());
    return it != schemi_.end() ? &it->second : Descrivi(tabella, nullptr, nullptr, nullptr);
}

const SchemaTabella* DatabasePg::Descrivi(const QString& nome, QString* oid, QString* relname,
                                          std::vector<Colonna>* colonne) {
    // Names are matched without regard to case, as on files. The columns, then the keys of
    // the index primaria (else of the first unique one), in one request.
    Risultato r = Invia(
        QStringLiteral(
            "WITH t AS (SELECT c.oid, c.relname FROM pg_class c WHERE c.relnamespace = "
            "current_schema()::regnamespace AND c.relkind IN ('r', 'p') AND lower(c.relname) = "
            "lower($1) ORDER BY c.relname = $1 DESC, c.oid LIMIT 1), "
            "i AS (SELECT x.indexrelid, x.indnkeyatts FROM t JOIN pg_index x ON x.indrelid = "
            "t.oid JOIN pg_class ic ON ic.oid = x.indexrelid WHERE x.indisunique ORDER BY "
            "lower(ic.relname) IN (lower(t.relname || '.primaria'), 'primaria') DESC, ic.oid "
            "LIMIT 1) "
            "SELECT 0, a.attnum, t.oid::text, t.relname::text, a.attname::text, "
            "a.atttypid::int8, a.atttypmod, NOT a.attnotnull FROM t JOIN pg_attribute a ON "
            "a.attrelid = t.oid AND a.attnum > 0 AND NOT a.attisdropped "
            "UNION ALL SELECT 1, k, NULL, NULL, pg_get_indexdef(i.indexrelid, k, true), 0, 0, "
            "false FROM i, generate_series(1, i.indnkeyatts) k ORDER BY 1, 2"),
        {nome}, true);
    const int n = PQntuples(r.get());
    if (n == 0) return nullptr;
    if (oid) *oid = QString::fromLatin1(PQgetvalue(r.get(), 0, 2));
    if (relname) *relname = QString::fromUtf8(PQgetvalue(r.get(), 0, 3));
    if (colonne) colonne->clear();
    SchemaTabella t;
    // The key expressions CreaIndice writes: a column, maybe trimmed.
    static const QRegularExpression chiave(QStringLiteral("^(rtrim\\()?\\(?([a-z_0-9]+)"));
    for (int i = 0; i < n; ++i) {
        const QString testo = QString::fromUtf8(PQgetvalue(r.get(), i, 4));
        if (PQgetvalue(r.get(), i, 0)[0] == '1') {
            const auto m = chiave.match(testo);
            t.chiave << (m.hasMatch() ? m.captured(2) : testo);
            continue;
        }
        Colonna c;
        c.nome = testo;
        const Oid tipo = Oid(QByteArray(PQgetvalue(r.get(), i, 5)).toUInt());
        const int mod = QByteArray(PQgetvalue(r.get(), i, 6)).toInt();
        if (tipo == kVarchar || tipo == kBpchar) {
            c.dimensione = mod > kTestaVarchar ? mod - kTestaVarchar : 255;
            c.tipo = QStringLiteral("VARCHAR(%1)").arg(c.dimensione);
        } else if (tipo == kInt2 || tipo == kInt4 || tipo == kInt8) {
            c.tipo = QStringLiteral("INTEGER");
            c.dimensione = tipo == kInt8 ? 8 : tipo == kInt4 ? 4 : 2;
        } else {
            c.tipo = QStringLiteral("TEXT");
            c.dimensione = 255;
        }
        t.colonne.push_back({c.nome, tipo == kVarchar || tipo == kBpchar || tipo == kText,
                             PQgetvalue(r.get(), i, 7)[0] == 't'});
        if (colonne) colonne->push_back(c);
    }
    // Kept for the queries that follow: a table the program opens is read at once.
    return &(schemi_[nome.toLower()] = std::move(t));
}

const Indice& DatabasePg::IndiceDi(const QString& oid, const QString& tabella,
                                   const QString& nome) {
    const QString chiave = oid + '/' + nome.toLower();
    auto it = indici_.find(chiave);
    if (it != indici_.end()) return it->second;
    Risultato r =
        Invia(QStringLiteral(
                  "SELECT ic.oid, i.indisunique, pg_get_indexdef(i.indexrelid, k, true), "
                  "(i.indoption[k - 1] & 2) <> 0 FROM pg_index i "
                  "JOIN pg_class ic ON ic.oid = i.indexrelid, generate_series(1, i.indnkeyatts) k "
                  "WHERE i.indrelid = $1::oid AND lower(ic.relname) IN (lower($2), lower($3)) "
                  "ORDER BY lower(ic.relname) = lower($2) DESC, ic.oid, k"),
              {oid, tabella + '.' + nome, nome}, true);
    if (PQntuples(r.get()) == 0) throw ErroreIndiceMancante(nome);
    Indice indice;
    indice.unico = PQgetvalue(r.get(), 0, 1)[0] == 't';
    const char* primo = PQgetvalue(r.get(), 0, 0);
    for (int i = 0; i < PQntuples(r.get()) && qstrcmp(PQgetvalue(r.get(), i, 0), primo) == 0; ++i) {
        indice.chiavi << QString::fromUtf8(PQgetvalue(r.get(), i, 2));
        indice.nulliPrima.push_back(PQgetvalue(r.get(), i, 3)[0] == 't');
    }
    return indici_.emplace(chiave, indice).first->second;
}

std::unique_ptr<Recordset> DatabasePg::OpenTable(const QString& tabella) {
    auto rs = std::make_unique<RecordsetPg>(*this, true);
    Tabella(tabella, rs->oid_, rs->relname_, rs->colonne_);
    rs->MoveFirst();
    return rs;
}

namespace {

// The transactions running and the next to start, server-wide: the same text later means
// that none has ended or begun to write meanwhile.
constexpr char kVersione[] = "SELECT txid_current_snapshot()::text";

}  // namespace

QByteArray DatabasePg::VersioneDi(const PGresult* r) const {
    if (PQntuples(r) != 1 || PQgetisnull(r, 0, 0)) return {};
    return QByteArray::number(Numero()) + ':' +
           QByteArray(PQgetvalue(r, 0, 0), PQgetlength(r, 0, 0));
}

bool DatabasePg::Invariato(const QByteArray& versione) {
    if (versione.isEmpty() || !aperto_ || inTransazione_ || (ws_ && ws_->InTransazione()))
        return false;
    try {
        const Risultato r = Invia(QString::fromLatin1(kVersione), {}, true);
        return PQresultStatus(r.get()) == PGRES_TUPLES_OK && VersioneDi(r.get()) == versione;
    } catch (const Errore&) {
        return false;
    }
}

std::unique_ptr<Recordset> DatabasePg::OpenSnapshot(const QString& sql) {
    const QString nativo = postgres::Traduci(sql, [this](const QString& t) { return Schema(t); });
    auto rs = std::make_unique<RecordsetPg>(*this, false);
    // Inside a transaction the snapshot must see what the transaction wrote; a second
    // reader while one streams is rare. Both read whole on the main connection.
    if ((ws_ && ws_->InTransazione()) || inTransazione_ || lettore_) {
        rs->risultato_ = Invia(nativo, {}, true);
        for (int c = 0; c < PQnfields(rs->risultato_.get()); ++c)
            rs->colonne_.push_back(ColonnaDa(rs->risultato_.get(), c));
        rs->rigaCorrente_ = -1;
    } else {
        // The server's snapshot comes first in the same request, before the search's own
        // (a commit in between only makes the version look older): see Invariato.
        const QByteArray testo = "BEGIN READ ONLY; " + QByteArray(kVersione) + "; DECLARE " +
                                 kCursore + " NO SCROLL CURSOR FOR " + nativo.toUtf8() + ';';
        static constexpr Lotti kPrimi = LottiDellaRichiesta(true);
        PGconn* c = nullptr;
        Risultato lotto, versione;
        for (int tentativo = 0;; ++tentativo) {
            c = Flusso();
            lotto.reset();
            versione.reset();
            rs->inFlusso_ = true;
            lettore_ = rs.get();
            // The version's row comes first, then the first batch; a failure stops the
            // rest, which FermaFlusso reads away.
            if (rs->ChiediLotti(kPrimi, testo)) {
                while (Risultato r = Prossimo(c)) {
                    const auto stato = PQresultStatus(r.get());
                    if (stato == PGRES_COMMAND_OK) continue;
                    if (stato == PGRES_TUPLES_OK && !versione) {
                        versione = std::move(r);
                        continue;
                    }
                    lotto = std::move(r);
                    break;
                }
                if (PQresultStatus(lotto.get()) == PGRES_TUPLES_OK) break;
            }
            // After a failure the server skips the rest.
            rs->FermaFlusso(true);
            // As any read outside a transaction: once more on a new connection.
            if (tentativo == 0 && flusso_ == c && PQstatus(c) == CONNECTION_BAD) {
                Lascia(c);
                continue;
            }
            Solleva(flusso_ == c ? c : nullptr, lotto.get());
        }
        rs->versione_ = VersioneDi(versione.get());
        for (int k = 0; k < PQnfields(lotto.get()); ++k)
            rs->colonne_.push_back(ColonnaDa(lotto.get(), k));
        const int righe = PQntuples(lotto.get());
        rs->risultato_ = std::move(lotto);
        rs->rigaCorrente_ = 0;
        rs->eof_ = righe == 0;
        rs->haRiga_ = righe > 0;
        rs->attesi_.pop_front();
        rs->Segui(righe == kPrimi[0]);
        return rs;
    }
    rs->eof_ = false;
    rs->MoveNext();
    return rs;
}

}  // namespace motore::postgres
