// A database file as the interface sees it: statements prepared once and kept, the values
// read and bound, the schema built and read back in the same words on every engine, and the
// forms' queries translated (Traduzione.cpp) with what the file's indexes and keys tell.
// Every statement joins the workspace's transaction first (Connessione.cpp).

#include "engine/Sql.h"
#include "engine/sqlite/Interno.h"
#include "engine/sqlite/Traduzione.h"

#include <QDate>
#include <QRegularExpression>

namespace motore::sqlite {

int DimensioneDa(const QString& tipo) {
    static const QRegularExpression conDimensione(QStringLiteral("\\(\\s*(\\d+)"));
    auto m = conDimensione.match(tipo);
    if (m.hasMatch()) return m.captured(1).toInt();
    const QString t = tipo.toUpper();
    if (t.contains(QLatin1String("INT"))) return 4;
    if (t.contains(QLatin1String("REAL")) || t.contains(QLatin1String("DOUB")) ||
        t.contains(QLatin1String("FLOA")))
        return 8;
    if (t.isEmpty()) return 0;
    return 255;
}

QVariant ValoreColonna(sqlite3_stmt* st, int i) {
    switch (sqlite3_column_type(st, i)) {
        case SQLITE_INTEGER:
            return QVariant(static_cast<qint64>(sqlite3_column_int64(st, i)));
        case SQLITE_FLOAT:
            return QVariant(sqlite3_column_double(st, i));
        case SQLITE_TEXT: {
            auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
            return QVariant(QString::fromUtf8(t, sqlite3_column_bytes(st, i)));
        }
        case SQLITE_BLOB: {
            auto* b = static_cast<const char*>(sqlite3_column_blob(st, i));
            return QVariant(QByteArray(b, sqlite3_column_bytes(st, i)));
        }
        default:
            return QVariant();
    }
}

int Lega(sqlite3_stmt* st, int i, const QVariant& v) {
    if (v.isNull()) return sqlite3_bind_null(st, i);
    switch (v.typeId()) {
        case QMetaType::Bool:
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::Long:
        case QMetaType::LongLong:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::ULong:
        case QMetaType::ULongLong:
            return sqlite3_bind_int64(st, i, v.toLongLong());
        case QMetaType::Double:
        case QMetaType::Float:
            return sqlite3_bind_double(st, i, v.toDouble());
        case QMetaType::QDate:
            return sqlite3_bind_int64(st, i, QDate(1899, 12, 30).daysTo(v.toDate()));
        case QMetaType::QByteArray: {
            QByteArray b = v.toByteArray();
            return sqlite3_bind_blob(st, i, b.constData(), int(b.size()), SQLITE_TRANSIENT);
        }
        default: {
            QByteArray t = v.toString().toUtf8();
            return sqlite3_bind_text(st, i, t.constData(), int(t.size()), SQLITE_TRANSIENT);
        }
    }
}

sqlite3_stmt* DatabaseSqlite::Prepara(const QString& sqlNativo) {
    auto it = istruzioni_.find(sqlNativo);
    if (it != istruzioni_.end()) return it->second;
    sqlite3_stmt* st = nullptr;
    QByteArray testo = sqlNativo.toUtf8();
    int rc = sqlite3_prepare_v3(db_, testo.constData(), int(testo.size()),
                                SQLITE_PREPARE_PERSISTENT, &st, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(st);
        Solleva(rc);
    }
    istruzioni_.emplace(sqlNativo, st);
    return st;
}

void DatabaseSqlite::Esegui(const QString& sqlNativo, const QVariantList& parametri) {
    PrimaDiEseguire();
    sqlite3_stmt* st = Prepara(sqlNativo);
    if (!inTransazione_ && !sqlite3_stmt_readonly(st)) ControllaSpostato();
    Azzera guardia{st};
    for (int i = 0; i < parametri.size(); ++i) Lega(st, i + 1, parametri[i]);
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE) Solleva(rc);
}

std::vector<QVariantList> DatabaseSqlite::Righe(const QString& sqlNativo,
                                                const QVariantList& parametri) {
    PrimaDiEseguire();
    sqlite3_stmt* st = Prepara(sqlNativo);
    Azzera guardia{st};
    for (int i = 0; i < parametri.size(); ++i) Lega(st, i + 1, parametri[i]);
    std::vector<QVariantList> righe;
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        QVariantList riga;
        for (int c = 0; c < sqlite3_column_count(st); ++c) riga.push_back(ValoreColonna(st, c));
        righe.push_back(std::move(riga));
    }
    if (rc != SQLITE_DONE) Solleva(rc);
    return righe;
}

QStringList DatabaseSqlite::Piano(const QString& sql) {
    QStringList piano;
    for (const auto& r : Righe(QStringLiteral("EXPLAIN QUERY PLAN ") + Traduci(sql)))
        piano << r.value(3).toString();
    return piano;
}

void DatabaseSqlite::CreaTabella(const QString& nome, const std::vector<DefColonna>& colonne) {
    QStringList definizioni;
    // RTRIM: comparisons ignore trailing blanks, as the program pads its keys.
    for (const DefColonna& c : colonne)
        definizioni << c.nome +
                           (c.larghezza > 0
                                ? QStringLiteral(" VARCHAR(%1) COLLATE RTRIM").arg(c.larghezza)
                                : QStringLiteral(" INTEGER")) +
                           (c.obbligatoria ? QStringLiteral(" NOT NULL") : QString());
    Esegui(QStringLiteral("CREATE TABLE %1 (%2)").arg(nome, definizioni.join(", ")));
}

void DatabaseSqlite::CreaIndice(const QString& tabella, const QString& nome,
                                const QStringList& colonne, TipoIndice tipo) {
    QStringList chiavi = colonne;
    if (tipo == TipoIndice::Ricerca) chiavi[0] += QStringLiteral(" COLLATE NOCASE");
    // Index names are per database in SQLite: the table's name keeps them apart.
    Esegui(QStringLiteral("CREATE %1INDEX %2 ON %3(%4)")
               .arg(tipo == TipoIndice::Unico ? QStringLiteral("UNIQUE ") : QString(),
                    QuotaNome(tabella + '.' + nome), tabella, chiavi.join(", ")));
}

void DatabaseSqlite::Carica(const QString& tabella, const QStringList& colonne,
                            const std::function<bool(QVariantList&)>& riga) {
    const QString sql = TestoInserimento(tabella, colonne, '?');
    QVariantList valori;
    while (riga(valori)) Esegui(sql, valori);
}

QStringList DatabaseSqlite::Tabelle() {
    QStringList nomi;
    for (const auto& r : Righe(QStringLiteral("SELECT name FROM sqlite_master WHERE type = "
                                              "'table' ORDER BY name")))
        nomi << r.value(0).toString();
    return nomi;
}

std::vector<DefColonna> DatabaseSqlite::Colonne(const QString& tabella) {
    std::vector<DefColonna> colonne;
    for (const auto& r : Righe(QStringLiteral("PRAGMA table_info(%1)").arg(QuotaNome(tabella)))) {
        const QString tipo = r.value(2).toString().toUpper();
        DefColonna c{r.value(1).toString(), 0, r.value(3).toInt() != 0};
        if (tipo.contains(QLatin1String("CHAR")))
            c.larghezza = DimensioneDa(tipo);
        else if (!tipo.contains(QLatin1String("INT")))
            throw Errore(ErrFormato, QStringLiteral("La colonna %1.%2 è di un tipo (%3) che il "
                                                    "programma non usa.")
                                         .arg(tabella, c.nome, tipo));
        colonne.push_back(c);
    }
    return colonne;
}

std::vector<DefIndice> DatabaseSqlite::Indici(const QString& tabella) {
    std::vector<DefIndice> indici;
    const auto lista = Righe(QStringLiteral("PRAGMA index_list(%1)").arg(QuotaNome(tabella)));
    // Oldest first, as they were made.
    for (auto r = lista.rbegin(); r != lista.rend(); ++r) {
        const QString nome = r->value(1).toString();
        if (r->value(3).toString() != QLatin1String("c")) continue;  // a constraint's own
        DefIndice i;
        i.nome = nome.startsWith(tabella + '.', Qt::CaseInsensitive) ? nome.mid(tabella.size() + 1)
                                                                     : nome;
        i.tipo = r->value(2).toInt() ? TipoIndice::Unico : TipoIndice::Normale;
        for (const auto& c : Righe(QStringLiteral("PRAGMA index_xinfo(%1)").arg(QuotaNome(nome)))) {
            if (c.value(5).toInt() == 0) continue;  // not a key column
            if (i.colonne.isEmpty() &&
                c.value(4).toString().compare(QLatin1String("NOCASE"), Qt::CaseInsensitive) == 0)
                i.tipo = TipoIndice::Ricerca;
            i.colonne << c.value(2).toString();
        }
        indici.push_back(i);
    }
    return indici;
}

const std::vector<Colonna>& DatabaseSqlite::ColonneDi(const QString& tabella) {
    auto it = colonne_.find(tabella);
    if (it != colonne_.end()) return it->second;
    std::vector<Colonna> colonne;
    for (const auto& r : Righe(QStringLiteral("PRAGMA table_info(%1)").arg(QuotaNome(tabella)))) {
        Colonna c;
        c.nome = r.value(1).toString();
        c.tipo = r.value(2).toString();
        c.dimensione = DimensioneDa(c.tipo);
        colonne.push_back(c);
    }
    return colonne_.emplace(tabella, std::move(colonne)).first->second;
}

void DatabaseSqlite::ControllaVersione() {
    const qint64 versione = Valore(QStringLiteral("PRAGMA schema_version")).toLongLong();
    if (versione != versioneSchema_) {
        cercabili_.clear();
        schemi_.clear();
        versioneSchema_ = versione;
    }
}

const SchemaTabella* DatabaseSqlite::Schema(const QString& tabella) {
    const QString nome = tabella.toLower();
    auto it = schemi_.find(nome);
    if (it != schemi_.end()) return &it->second;
    SchemaTabella t;
    for (const auto& r : Righe(QStringLiteral("PRAGMA table_info(%1)").arg(QuotaNome(tabella)))) {
        const QString tipo = r.value(2).toString().toUpper();
        t.colonne.push_back({r.value(1).toString(),
                             tipo.contains(QLatin1String("CHAR")) ||
                                 tipo.contains(QLatin1String("TEXT")) ||
                                 tipo.contains(QLatin1String("CLOB")),
                             r.value(3).toInt() == 0});
    }
    if (t.colonne.empty()) return nullptr;
    // The index primaria, else the first unique one, as they were made.
    QString chiave;
    const auto indici = Righe(QStringLiteral("PRAGMA index_list(%1)").arg(QuotaNome(tabella)));
    for (auto r = indici.rbegin(); r != indici.rend(); ++r) {
        const QString n = r->value(1).toString();
        if (n.compare(tabella + QStringLiteral(".primaria"), Qt::CaseInsensitive) == 0 ||
            n.compare(QLatin1String("primaria"), Qt::CaseInsensitive) == 0) {
            chiave = n;
            break;
        }
        if (chiave.isEmpty() && r->value(2).toInt()) chiave = n;
    }
    if (!chiave.isEmpty())
        for (const auto& c : Righe(QStringLiteral("PRAGMA index_info(%1)").arg(QuotaNome(chiave))))
            t.chiave << c.value(2).toString();
    return &schemi_.emplace(nome, std::move(t)).first->second;
}

QString DatabaseSqlite::Traduci(const QString& sql) {
    ControllaVersione();
    return sqlite::Traduci(
        sql,
        [this](const QString& tabella, const QString& colonna) {
            return Cercabile(tabella, colonna);
        },
        [this](const QString& tabella) { return Schema(tabella); });
}

bool DatabaseSqlite::Cercabile(const QString& tabella, const QString& colonna) {
    const QString chiave = tabella.toLower();
    auto it = cercabili_.find(chiave);
    if (it == cercabili_.end()) {
        QStringList colonne;
        for (const auto& indice :
             Righe(QStringLiteral("PRAGMA index_list(%1)").arg(QuotaNome(tabella)))) {
            const auto info = Righe(QStringLiteral("PRAGMA index_xinfo(%1)")
                                        .arg(QuotaNome(indice.value(1).toString())));
            // The first key column: its name and its collation.
            if (!info.empty() && info.front().value(4).toString().compare(QLatin1String("NOCASE"),
                                                                          Qt::CaseInsensitive) == 0)
                colonne << info.front().value(2).toString().toLower();
        }
        it = cercabili_.emplace(chiave, colonne).first;
    }
    return it->second.contains(colonna.toLower());
}

std::unique_ptr<Recordset> DatabaseSqlite::OpenTable(const QString& tabella) {
    PrimaDiEseguire();
    QVariant nome = Valore(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' "
                                          "AND name = ?1 COLLATE NOCASE"),
                           {tabella});
    if (nome.isNull()) throw ErroreTabellaMancante(tabella);
    auto rs = std::make_unique<RecordsetSqlite>(*this, true);
    rs->nomeTabella_ = nome.toString();
    rs->colonne_ = ColonneDi(rs->nomeTabella_);
    rs->MoveFirst();
    return rs;
}

std::unique_ptr<Recordset> DatabaseSqlite::OpenSnapshot(const QString& sql) {
    PrimaDiEseguire();
    const QString nativo = Traduci(sql);
    sqlite3_stmt* st = nullptr;
    QByteArray testo = nativo.toUtf8();
    int rc = sqlite3_prepare_v2(db_, testo.constData(), int(testo.size()), &st, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(st);
        Solleva(rc);
    }
    auto rs = std::make_unique<RecordsetSqlite>(*this, false);
    rs->snapshot_ = st;
    // Before the first row: a commit in between only makes the version look older.
    rs->versione_ = Versione();
    for (int c = 0; c < sqlite3_column_count(st); ++c) {
        Colonna col;
        col.nome = QString::fromUtf8(sqlite3_column_name(st, c));
        const char* tipo = sqlite3_column_decltype(st, c);
        col.tipo = tipo ? QString::fromUtf8(tipo) : QString();
        col.dimensione = DimensioneDa(col.tipo);
        rs->colonne_.push_back(col);
    }
    rs->eof_ = false;
    rs->MoveNext();
    return rs;
}

QByteArray DatabaseSqlite::Versione() {
    if (inTransazione_ || (ws_ && ws_->InTransazione())) return {};
    sqlite3_stmt* st = Prepara(QStringLiteral("PRAGMA data_version"));
    Azzera guardia{st};
    if (sqlite3_step(st) != SQLITE_ROW) return {};
    return QByteArray::number(Numero()) + ':' + QByteArray::number(sqlite3_column_int64(st, 0)) +
           ':' + QByteArray::number(sqlite3_total_changes64(db_));
}

bool DatabaseSqlite::Invariato(const QByteArray& versione) {
    if (!db_ || versione.isEmpty()) return false;
    try {
        return Versione() == versione;
    } catch (const Errore&) {
        return false;
    }
}

}  // namespace motore::sqlite
