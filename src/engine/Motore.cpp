// What the engines share above their own SQL: the workspace and its transaction, which
// every database joins lazily with its first statement, and the recordset's rules (its edit
// buffer, the checks of a column's width, the errors of a call out of turn), so that both
// engines answer a misuse with the same number. Which engine opens a database is chosen in
// Scelta.cpp.

#include "engine/Motore.h"

#include <algorithm>
#include <atomic>

namespace motore {

// ---------------------------------------------------------------------------------------
// Workspace

Workspace::Workspace(QString server) : server_(std::move(server).trimmed()) {}

Workspace::~Workspace() {
    for (Database* db : databases_) db->ws_ = nullptr;
}

void Workspace::Registra(Database* db) {
    databases_.push_back(db);
}

void Workspace::Rimuovi(Database* db) {
    databases_.erase(std::remove(databases_.begin(), databases_.end(), db), databases_.end());
}

void Workspace::ImpostaAttesaBlocco(int millisecondi) {
    attesaMs_ = millisecondi;
    for (Database* db : databases_) db->ImpostaAttesa(millisecondi);
}

void Workspace::BeginTrans() {
    // The databases join lazily, with their first statement, so a transaction that writes
    // to one database never locks the others.
    inTransazione_ = true;
}

void Workspace::CommitTrans() {
    if (!inTransazione_) return;
    // The flag goes first: a failed commit has ended the transaction all the same, on every
    // database, so none is left open for a later one to commit.
    inTransazione_ = false;
    try {
        for (Database* db : databases_) db->CommitLocale();
    } catch (const Errore&) {
        for (Database* db : databases_) {
            try {
                db->RollbackLocale();
            } catch (const Errore&) {
                // A connection that failed is gone, and its transaction with it.
            }
        }
        throw;
    }
}

void Workspace::Rollback() {
    inTransazione_ = false;
    for (Database* db : databases_) db->RollbackLocale();
}

// ---------------------------------------------------------------------------------------
// Database

Database::Database(QString percorso, Workspace& ws) : ws_(&ws), percorso_(std::move(percorso)) {
    static std::atomic<qint64> aperti{0};
    numero_ = ++aperti;
    ws.Registra(this);
}

Database::~Database() = default;

void Database::Stacca() {
    if (ws_) ws_->Rimuovi(this);
    ws_ = nullptr;
}

QVariant Database::Valore(const QString& sqlNativo, const QVariantList& parametri) {
    auto righe = Righe(sqlNativo, parametri);
    if (righe.empty() || righe.front().isEmpty()) return QVariant();
    return righe.front().front();
}

// ---------------------------------------------------------------------------------------
// Recordset

namespace {

bool Testuale(const Colonna& c) {
    const QString t = c.tipo.toUpper();
    return t.contains(QLatin1String("CHAR")) || t.contains(QLatin1String("TEXT")) ||
           t.contains(QLatin1String("CLOB"));
}

}  // namespace

Recordset::~Recordset() = default;

void Recordset::Close() {
    if (Aperto()) Chiudi();
    Staccato();
}

void Recordset::Staccato() {
    haRiga_ = false;
    eof_ = true;
    modifica_ = Modifica::Nessuna;
}

QStringList Recordset::NomiDi(const std::vector<int>& colonne) const {
    QStringList nomi;
    for (int i : colonne) nomi << colonne_[size_t(i)].nome;
    return nomi;
}

void Recordset::RichiediAperto() const {
    if (!Aperto()) throw Errore(ErrGenerico, QStringLiteral("Oggetto chiuso o non valido."));
}

void Recordset::RichiediTabella() const {
    RichiediAperto();
    if (!tabella_)
        throw Errore(ErrGenerico,
                     QStringLiteral("Operazione non supportata per questo tipo di oggetto."));
}

int Recordset::IndiceColonna(const QString& nome) const {
    // Callers mostly spell the name as the table does: that match is the cheap one.
    for (size_t i = 0; i < colonne_.size(); ++i)
        if (colonne_[i].nome == nome) return int(i);
    for (size_t i = 0; i < colonne_.size(); ++i)
        if (colonne_[i].nome.compare(nome, Qt::CaseInsensitive) == 0) return int(i);
    return -1;
}

int Recordset::ColonnaObbligatoria(const QString& nome) const {
    int i = IndiceColonna(nome);
    if (i < 0) throw ErroreCampoMancante(nome);
    return i;
}

void Recordset::MoveFirst() {
    RichiediTabella();
    modifica_ = Modifica::Nessuna;
    eof_ = !Primo();
}

void Recordset::SetIndex(const QString& nome) {
    RichiediTabella();
    if (nome.compare(indice_, Qt::CaseInsensitive) == 0 && !indice_.isEmpty()) return;
    colonneIndice_ = ColonneIndice(nome);
    indice_ = nome;
    MoveFirst();
}

void Recordset::Seek(const QString& op, const QVariantList& chiavi) {
    RichiediTabella();
    if (colonneIndice_.isEmpty())
        throw Errore(ErrSenzaIndice,
                     QStringLiteral("Operazione non valida senza un indice corrente."));
    static const QStringList operatori = {"=", "<=", ">=", "<", ">"};
    if (!operatori.contains(op) || chiavi.isEmpty() || chiavi.size() > colonneIndice_.size())
        throw Errore(ErrGenerico, QStringLiteral("Argomento non valido per la ricerca."));
    modifica_ = Modifica::Nessuna;
    noMatch_ = !Cerca(op, chiavi);
}

bool Recordset::Eof() const {
    Risolvi();
    return eof_;
}

void Recordset::MoveNext() {
    RichiediAperto();
    Risolvi();
    if (!tabella_) {
        if (eof_) return;
        eof_ = !AvanzaSnapshot();
        return;
    }
    modifica_ = Modifica::Nessuna;
    if (!haRiga_) {
        eof_ = true;
        return;
    }
    eof_ = !Successivo();
}

void Recordset::AddNew() {
    RichiediTabella();
    modifica_ = Modifica::Aggiunta;
    buffer_.assign(colonne_.size(), QVariant());
    toccate_.assign(colonne_.size(), false);
}

void Recordset::Edit() {
    RichiediTabella();
    Risolvi();
    if (!haRiga_) throw Errore(ErrNessunRecord, QStringLiteral("Nessun record corrente."));
    modifica_ = Modifica::Variazione;
    buffer_ = riga_;
    toccate_.assign(colonne_.size(), false);
}

void Recordset::SetField(const QString& colonna, const QVariant& valore) {
    RichiediTabella();
    if (modifica_ == Modifica::Nessuna)
        throw Errore(ErrNessunModifica,
                     QStringLiteral("Update o CancelUpdate senza AddNew o Edit."));
    const int i = ColonnaObbligatoria(colonna);
    const Colonna& c = colonne_[size_t(i)];
    // The declared width is part of the table's contract, as it is for the forms.
    if (!valore.isNull() && Testuale(c) && c.dimensione > 0 &&
        valore.toString().size() > c.dimensione)
        throw Errore(ErrCampoTroppoPiccolo,
                     QStringLiteral("Il campo '%1' è troppo piccolo per accettare la quantità "
                                    "di dati che si sta tentando di aggiungere.")
                         .arg(c.nome));
    buffer_[size_t(i)] = valore;
    toccate_[size_t(i)] = true;
}

void Recordset::Update() {
    RichiediTabella();
    if (modifica_ == Modifica::Nessuna)
        throw Errore(ErrNessunModifica,
                     QStringLiteral("Update o CancelUpdate senza AddNew o Edit."));
    std::vector<int> colonne;
    QVariantList valori;
    for (size_t i = 0; i < colonne_.size(); ++i) {
        if (!toccate_[i]) continue;
        colonne.push_back(int(i));
        valori << buffer_[i];
    }
    if (modifica_ == Modifica::Aggiunta)
        Inserisci(colonne, valori);
    else if (!colonne.empty())
        Aggiorna(colonne, valori);
    modifica_ = Modifica::Nessuna;
}

void Recordset::UpdateFinale() {
    ultimaScrittura_ = true;
    try {
        Update();
    } catch (...) {
        ultimaScrittura_ = false;
        throw;
    }
    ultimaScrittura_ = false;
}

void Recordset::CancelUpdate() {
    modifica_ = Modifica::Nessuna;
}

void Recordset::Delete() {
    RichiediTabella();
    Risolvi();
    if (!haRiga_) throw Errore(ErrNessunRecord, QStringLiteral("Nessun record corrente."));
    modifica_ = Modifica::Nessuna;
    Cancella();
    haRiga_ = false;
}

QVariant Recordset::Field(const QString& colonna) const {
    return Field(ColonnaObbligatoria(colonna));
}

QVariant Recordset::Field(int indice) const {
    RichiediAperto();
    if (indice < 0 || size_t(indice) >= colonne_.size())
        throw Errore(ErrCampoMancante, QStringLiteral("Elemento non trovato nell'insieme."));
    if (modifica_ != Modifica::Nessuna) return buffer_[size_t(indice)];
    Risolvi();
    if (!haRiga_) throw Errore(ErrNessunRecord, QStringLiteral("Nessun record corrente."));
    if (!tabella_) return ValoreSnapshot(indice);
    return riga_[size_t(indice)];
}

QByteArrayView Recordset::FieldUtf8(int indice, bool* nullo) const {
    RichiediAperto();
    if (tabella_ || !haRiga_ || indice < 0 || size_t(indice) >= colonne_.size())
        throw Errore(ErrNessunRecord, QStringLiteral("Nessun record corrente."));
    return Utf8Snapshot(indice, nullo);
}

int Recordset::FieldSize(const QString& colonna) const {
    RichiediAperto();
    return colonne_[size_t(ColonnaObbligatoria(colonna))].dimensione;
}

QStringList Recordset::FieldNames() const {
    QStringList nomi;
    for (const auto& c : colonne_) nomi << c.nome;
    return nomi;
}

}  // namespace motore
