// The localities form: search, paging, checks of CAP and province, and the writes, each in
// its own transaction; another program's change is found inside it and asked about after.

#include "localities/AggLocalita.h"

#include "app/CasellaTesto.h"
#include "app/Toolkit.h"
#include "app/Valori.h"
#include "data/TabCodici.h"
#include "lookup/GesTab.h"
#include "ui/Global.h"
#include "ui/Riprova.h"
#include "ui/Tasti.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

namespace {

const QString kProvince = QStringLiteral("PROVINCIE");

const QString kCaptionRicerca = QStringLiteral("GESTIONE DELLE LOCALITA' ITALIANE");
const QString kCaptionInserimento = QStringLiteral("INSERIMENTO LOCALITA' ITALIANE");
const QString kCaptionVariazione = QStringLiteral("VARIAZIONE LOCALITA'");

constexpr const char* kRegioni[20] = {
    "ABRABRUZZO",       "BASBASILICATA",     "CALCALABRIA",
    "CAMCAMPANIA",      "EMIEMILIA ROMAGNA", "FRIFRIULI - VENEZIA GIULIA",
    "LIGLIGURIA",       "LAZLAZIO",          "LOMLOMBARDIA",
    "MARMARCHE",        "MOLMOLISE",         "PIEPIEMONTE",
    "PUGPUGLIA",        "SARSARDEGNA",       "SICSICILIA",
    "TOSTOSCANA",       "TRETRENTO",         "UMBUMBRIA",
    "VALVALLE D'AOSTA", "VENVENETO"};

// Where the focus is (CampoCorrente): the locality, the region, or a box as Btxt numbers it.
constexpr std::int16_t kCampoLocalita = -1, kCampoRegione = 0, kCasellaCap = 1,
                       kCasellaProvincia = 2, kCasellaPrefisso = 3;
// A box's error number is its index, where the focus goes back; the titles show it.
constexpr std::int16_t kErroreCap = kCasellaCap;
constexpr std::int16_t kErroreProvincia = kCasellaProvincia;
constexpr int kCifreCap = 5;

// Twips.
constexpr int kAltezza = 360;
constexpr int kRiga = 480;
constexpr int kXEtichetta = 120;
constexpr int kXCasella = 2040;
constexpr int kLarghezzaForm = 8520;

QRect Rettangolo(int left, int top, int width, int height) {
    return QRect(toolkit::PixelDaTwipX(left), toolkit::PixelDaTwipY(top),
                 toolkit::PixelDaTwipX(width), toolkit::PixelDaTwipY(height));
}

QFont Fisso(bool grassetto) {
    QFont f(QStringLiteral("Courier New"));
    f.setPointSizeF(9.75);
    f.setStyleHint(QFont::TypeWriter, QFont::PreferMatch);
    f.setFixedPitch(true);
    f.setBold(grassetto);
    return f;
}

// The description of a province of the code table; false when the code is not there (a
// blank one only when `biancoMancante`).
bool DescrizioneProvincia(Global& g, const QString& codice, bool biancoMancante,
                          QString& descrizione) {
    descrizione.clear();
    return !CodiceMancante(
        g, kProvince, codice, biancoMancante,
        RiprovaApertura(g, QStringLiteral("ERRORE IN APERTURA TABELLA ") + kProvince),
        &descrizione);
}

QPushButton* Pulsante(QWidget* form, const char* testo, const QColor& sfondo) {
    auto* b = new QPushButton(QString::fromLatin1(testo), form);
    b->setAutoDefault(false);
    if (sfondo.isValid()) toolkit::ColoraPulsante(*b, sfondo);
    return b;
}

}  // namespace

AggLocalita::AggLocalita(Global& g, QWidget* parent) : Modulo(g, parent), tabella_(g) {
    setObjectName(QStringLiteral("AggLocalita"));
    setWindowFlags(Qt::Dialog);
    SetCaption(QStringLiteral("VARIAZIONE LOCALITA' ITALIANE"));
    SetBorderStyle(3);

    auto Etichetta = [this](const QString& testo, const QString& nome, int indice, int riga) {
        auto* l = new QLabel(testo, this);
        l->setGeometry(
            Rettangolo(kXEtichetta, 240 + riga * kRiga, kXCasella - kXEtichetta - 60, kAltezza));
        Su(l, nome, indice);
        return l;
    };
    Lcod = Etichetta(QStringLiteral("Località"), QStringLiteral("Lcod"), -1, 0);
    ldesc_[0] = Etichetta(QStringLiteral("Regione"), QStringLiteral("Ldesc"), 0, 1);
    ldesc_[1] = Etichetta(QStringLiteral("C.A.P."), QStringLiteral("Ldesc"), 1, 2);
    ldesc_[4] = Etichetta(QStringLiteral("Provincia"), QStringLiteral("Ldesc"), 4, 3);
    ldesc_[2] = Etichetta(QStringLiteral("Prefisso telefonico"), QStringLiteral("Ldesc"), 2, 4);

    Cod1 = new CasellaTesto(this);
    Cod1->setFont(Fisso(true));
    Cod1->SetMaxLength(50);
    Cod1->setGeometry(Rettangolo(kXCasella, 240, kLarghezzaForm - kXCasella - 120, kAltezza));
    QPalette bianco = Cod1->palette();
    bianco.setColor(QPalette::Base, Qt::white);
    Cod1->setPalette(bianco);
    Eventi& cod = Su(Cod1, QStringLiteral("Cod1"));
    cod.GotFocus = [this] { Cod1_GotFocus(); };
    cod.LostFocus = [this] { Cod1_LostFocus(); };

    Combo1 = new QComboBox(this);
    Combo1->setFont(Fisso(false));
    Combo1->setEditable(false);
    Combo1->setGeometry(Rettangolo(kXCasella, 240 + kRiga, 3300, kAltezza));
    Su(Combo1, QStringLiteral("Combo1")).GotFocus = [this] { Combo1_GotFocus(); };

    const int larghezze[4] = {0, 900, 480, 900};
    for (int i = 1; i <= 3; ++i) {
        auto* t = new CasellaTesto(this);
        t->SetMaxLength(i == 2 ? 2 : 5);
        t->setGeometry(Rettangolo(kXCasella, 240 + (i + 1) * kRiga, larghezze[i], kAltezza));
        QPalette p = t->palette();
        p.setColor(QPalette::Base, i == 2 ? QColor(255, 255, 192) : QColor(Qt::white));
        t->setPalette(p);
        Eventi& ev = Su(t, QStringLiteral("Btxt"), i);
        ev.GotFocus = [this, i] { Btxt_GotFocus(i); };
        ev.LostFocus = [this, i] { Btxt_LostFocus(i); };
        btxt_[size_t(i)] = t;
    }
    DesProv = new QLabel(this);
    DesProv->setGeometry(Rettangolo(kXCasella + 600, 240 + 3 * kRiga, 4500, kAltezza));
    Su(DesProv, QStringLiteral("DesProv"));

    const struct {
        const char* testo;
        QColor sfondo;
        int left, top, width;
    } comandi[4] = {
        {"&USCITA", QColor(228, 180, 180), 5640, 2760, 1380},
        {"&CONFERMA", QColor(173, 224, 177), 2040, 2760, 1380},
        {"&ELIMINA", QColor(255, 219, 145), 3840, 2760, 1380},
        {"&ANNULLA", QColor(248, 248, 192), 7020, 240 + kRiga, 1380},
    };
    for (int i = 0; i < 4; ++i) {
        QPushButton* b = Pulsante(this, comandi[i].testo, comandi[i].sfondo);
        b->setGeometry(Rettangolo(comandi[i].left, comandi[i].top, comandi[i].width, 375));
        Eventi& ev = Su(b, QStringLiteral("Cmdv"), i);
        ev.MouseDown = [this] { InComando = true; };
        ev.Click = [this, i] { Cmdv_Click(i); };
        ev.SoloSeCampiValidi = i == 1 || i == 2;  // CONFERMA, ELIMINA
        cmdv_[size_t(i)] = b;
    }
    const char* frecce[2] = {"&+  >", "&-  <"};
    for (int i = 0; i < 2; ++i) {
        QPushButton* b = Pulsante(this, frecce[i], QColor());
        b->setGeometry(Rettangolo(i == 1 ? 5460 : 6240, 240 + kRiga, 720, 375));
        Eventi& ev = Su(b, QStringLiteral("Muoviti"), i);
        ev.Click = [this, i] { Muoviti_Click(i); };
        ev.GotFocus = [this] { InScorrimento = true; };
        ev.MouseDown = [this] { InScorrimento = true; };
        ev.LostFocus = [this] { InScorrimento = false; };
        muoviti_[size_t(i)] = b;
    }

    QWidget* const ordine[] = {Cod1,    Combo1,  Btxt(1), Btxt(2),    Btxt(3),   Cmdv(1),
                               Cmdv(2), Cmdv(0), Cmdv(3), Muoviti(1), Muoviti(0)};
    for (size_t k = 1; k < std::size(ordine); ++k) setTabOrder(ordine[k - 1], ordine[k]);

    setFixedSize(toolkit::PixelDaTwipX(kLarghezzaForm), toolkit::PixelDaTwipY(3480));
}

AggLocalita::~AggLocalita() = default;

LocalitaScelta AggLocalita::Apri(Global& g, const QString& cap, const QString& localita,
                                 QWidget* parent) {
    AggLocalita form(g, parent);
    form.capCercato_ = cap;
    form.localitaCercata_ = localita;
    form.MostraModale();
    return form.confermato_ ? form.scelta_ : LocalitaScelta{};
}

// ---------------------------------------------------------------------------------------
// Load, unload, the table

void AggLocalita::Form_Load() {
    CentraFinestra();
    ApriLocalita();
    if (!LocalitaAperta) {
        // Shown for the operator to see, but nothing can be sought or written.
        for (QWidget* w : std::initializer_list<QWidget*>{Cod1, Combo1, Btxt(1), Btxt(2), Btxt(3)})
            w->setEnabled(false);
        for (QWidget* w :
             std::initializer_list<QWidget*>{Cmdv(1), Cmdv(2), Cmdv(3), Muoviti(0), Muoviti(1)})
            w->hide();
        return;
    }
    InComando = false;
    InScorrimento = false;
    g_.FieldErrorNumber = Global::kNessunErrore;
    CampoCorrente = kCampoLocalita;
    for (size_t i = 0; i < Regioni.size(); ++i) Regioni[i] = QString::fromLatin1(kRegioni[i]);
    Combo1->clear();
    Combo1->addItem(QStringLiteral(" "));
    for (const QString& r : Regioni) Combo1->addItem(r.mid(3));
    DaAnagrafica = !capCercato_.isEmpty() || !localitaCercata_.isEmpty();
    PulisciCampi();
}

void AggLocalita::Form_Unload() {
    tabella_.Chiudi();
    LocalitaAperta = false;
    InScorrimento = false;
}

void AggLocalita::ApriLocalita() {
    LocalitaAperta =
        tabella_.Apri(RiprovaApertura(g_, QStringLiteral("ERRORE IN APERTURA TABELLA LOCALITA'")));
}

void AggLocalita::ErroreLettura(const Causa& causa) {
    g_.MsgBox(QStringLiteral("ERRORE NELLA TABELLA LOCALITA'\n") + causa.Spiegazione());
}

void AggLocalita::ErroreScrittura(const Causa& causa) {
    g_.MsgBox(QStringLiteral("Errore in scrittura: operazione impossibile\n") + causa.descrizione,
              Pulsanti::OK, Icona::Critica,
              QStringLiteral("KESTOR - ERRORE N. ") + QString::number(causa.numero));
}

// ---------------------------------------------------------------------------------------
// Showing and clearing

void AggLocalita::PulisciCampi() {
    for (int i = 1; i <= 3; ++i)
        Btxt(i)->setText(Btxt(i)->MaxLength() == 2 ? QStringLiteral("  ") : QStringLiteral(" "));
    if (!capCercato_.trimmed().isEmpty()) Btxt(1)->setText(capCercato_);
    if (!localitaCercata_.trimmed().isEmpty()) Cod1->setText(localitaCercata_);
    Combo1->setCurrentIndex(0);
    DesProv->clear();
}

void AggLocalita::MostraLocalita(const RigaLocalita& riga) {
    letta_ = riga;
    Cod1->setText(riga.localita.toString());
    Combo1->setCurrentIndex(Combo1->findText(ConvertiRegione(1, riga.regione.toString())));
    Btxt(1)->setText(riga.cap.toString().trimmed());
    Btxt(2)->setText(riga.provincia.toString().trimmed());
    Btxt(3)->setText(riga.prefisso.isNull() ? QStringLiteral(" ")
                                            : riga.prefisso.toString().trimmed());
    // The previous row's description must not stay beside a code that is not found.
    QString descrizione;
    DescrizioneProvincia(g_, Btxt(2)->text(), false, descrizione);
    DesProv->setText(descrizione);
    Modo(kCaptionVariazione, true);
}

void AggLocalita::Modo(const QString& caption, bool elimina) {
    Cmdv(1)->show();
    Cmdv(2)->setVisible(elimina);
    Cmdv(3)->show();
    SetCaption(caption);
    Cod1->setEnabled(false);
}

QString AggLocalita::ConvertiRegione(int modo, const QString& testo) const {
    const QString cercato = testo.trimmed();
    for (const QString& r : Regioni) {
        if (modo == 1 && r.left(3) == cercato) return r.mid(3);
        if (modo == 2 && r.mid(3) == cercato) return r.left(3);
    }
    return QString();
}

// ---------------------------------------------------------------------------------------
// The locality box

void AggLocalita::Cod1_GotFocus() {
    CampoCorrente = kCampoLocalita;
    InScorrimento = false;
    InComando = false;
    SetCaption(kCaptionRicerca);
    for (int i : {1, 2, 3}) Cmdv(i)->hide();
    Muoviti(0)->show();
    Muoviti(1)->show();
    SelezionaTesto(g_, *Cod1);
}

void AggLocalita::Cod1_LostFocus() {
    // For a browse button the box is not left, however the button was reached.
    if (InScorrimento || InComando || FuocoVerso() == Muoviti(0) || FuocoVerso() == Muoviti(1))
        return;
    g_.FieldErrorNumber = Global::kNessunErrore;
    Muoviti(0)->hide();
    Muoviti(1)->hide();
    localitaCercata_ = Cod1->text().trimmed();
    const QString nome = localitaCercata_;
    if (nome.isEmpty()) {
        g_.MsgBox(QStringLiteral("INDICARE UNA LOCALITA'"), Pulsanti::OK, Icona::Nessuna,
                  QStringLiteral("KESTOR - CODICE"));
        Cod1->setFocus(Qt::OtherFocusReason);
        return;
    }
    if (!tabella_.Aperta()) return;
    std::optional<RigaLocalita> riga;
    // A table that cannot be read offers no insert: the row may well be there.
    if (const Guasto guasto = tabella_.Cerca(QStringLiteral(">="), nome, QString(), riga)) {
        ErroreLettura(*guasto);
        Cod1->setFocus(Qt::OtherFocusReason);
        return;
    }
    if (riga && riga->localita.toString().left(nome.size()) == nome) {
        MostraLocalita(*riga);
        return;
    }
    if (g_.MsgBox(QStringLiteral("LOCALITA' INESISTENTE: INSERISCI"), Pulsanti::SiNo,
                  Icona::Domanda, QStringLiteral("KESTOR - INSERIMENTO"), 1) != Risposta::Si) {
        Cod1->setFocus(Qt::OtherFocusReason);
        return;
    }
    // Stored as sought: leading blanks would put the name where no search finds it.
    letta_.reset();
    Cod1->setText(nome);
    Modo(kCaptionInserimento, false);
    Btxt(1)->clear();
}

void AggLocalita::Combo1_GotFocus() {
    CampoCorrente = kCampoRegione;
    InScorrimento = false;
    InComando = false;
}

// ---------------------------------------------------------------------------------------
// CAP, province, prefix

void AggLocalita::Btxt_GotFocus(int i) {
    if (InComando) return;
    InScorrimento = false;
    g_.FieldErrorNumber = Global::kNessunErrore;
    CampoCorrente = std::int16_t(i);
    Muoviti(0)->hide();
    Muoviti(1)->hide();
    SelezionaTesto(g_, *Btxt(i));
}

void AggLocalita::Btxt_LostFocus(int i) {
    if (InComando) {
        InComando = false;
        return;
    }
    if (InScorrimento || g_.FieldErrorNumber > Global::kNessunErrore) return;
    ControllaCampo(std::int16_t(i));
    if (g_.FieldErrorNumber > Global::kNessunErrore) {
        CampoErrato();
        MostraErrore();
        Btxt(g_.FieldErrorNumber)->setFocus(Qt::OtherFocusReason);
    }
}

void AggLocalita::ControllaCampo(std::int16_t indice) {
    g_.FieldErrorNumber = Global::kNessunErrore;
    if (indice == kCasellaCap) {
        g_.FieldErrorNumber = kErroreCap;
        if (Btxt(kCasellaCap)->text().trimmed().size() < kCifreCap) return;
        g_.FieldErrorNumber = Global::kNessunErrore;
    } else if (indice == kCasellaProvincia) {
        g_.FieldErrorNumber = kErroreProvincia;
        QString descrizione;
        if (!DescrizioneProvincia(g_, Btxt(kCasellaProvincia)->text(), true, descrizione)) return;
        DesProv->setText(descrizione);
        g_.FieldErrorNumber = Global::kNessunErrore;
    }
}

void AggLocalita::MostraErrore() {
    const QString testo = g_.FieldErrorNumber == kErroreCap
                              ? QStringLiteral("C.A.P. FORMALMENTE ERRATO O NON INDICATO")
                              : QStringLiteral("PROVINCIA INESISTENTE");
    g_.MsgBox(testo, Pulsanti::OK, Icona::Critica,
              QStringLiteral("KESTOR - ERRORE N. ") + QString::number(g_.FieldErrorNumber));
}

void AggLocalita::CercaProvincia() {
    InScorrimento = true;
    CasellaTesto* provincia = Btxt(kCasellaProvincia);
    if (CampoCorrente == kCasellaProvincia && focusWidget() == provincia) {
        const VoceTabella scelta = GesTab::Scegli(g_, kProvince, provincia->text().trimmed(), this);
        if (!scelta.Codice.trimmed().isEmpty()) {
            provincia->setText(scelta.Codice);
            DesProv->setText(scelta.Descrizione);
        }
    }
    InScorrimento = false;
}

void AggLocalita::CampoPrecedente() {
    CampoCorrente =
        CampoCorrente <= kCasellaCap ? kCasellaPrefisso : std::int16_t(CampoCorrente - 1);
}

void AggLocalita::CampoSuccessivo() {
    CampoCorrente =
        CampoCorrente >= kCasellaPrefisso ? kCasellaCap : std::int16_t(CampoCorrente + 1);
}

// ---------------------------------------------------------------------------------------
// Buttons

void AggLocalita::TastoRapido(QAbstractButton* pulsante) {
    if (pulsante == Muoviti(0) || pulsante == Muoviti(1))
        InScorrimento = true;
    else if (pulsante == Cmdv(0) || pulsante == Cmdv(3))
        InComando = true;  // leaving and abandoning need no check of the box being left
}

void AggLocalita::Muoviti_Click(int i) {
    InScorrimento = true;
    if (!tabella_.Aperta()) return;
    std::optional<RigaLocalita> riga;
    if (const Guasto guasto = tabella_.Cerca(i == 0 ? QStringLiteral(">") : QStringLiteral("<"),
                                             Cod1->text(), Btxt(1)->text(), riga))
        ErroreLettura(*guasto);
    else if (riga)
        MostraLocalita(*riga);
}

void AggLocalita::Cmdv_Click(int i) {
    switch (i) {
        case 0:
            capCercato_.clear();
            localitaCercata_.clear();
            InComando = true;
            Scarica();
            return;
        case 1:
            Conferma();
            break;
        case 2:
            Elimina();
            break;
        case 3:
            Annulla(true);
            break;
        default:
            break;
    }
    // The form stays: the next box entered must run its own logic again.
    if (!Scaricato()) InComando = false;
}

void AggLocalita::Conferma() {
    // A button pressed with the mouse skips the boxes' own checks: a CAP that is not one and
    // a province not in the table must not reach the row, nor the client the form came from.
    for (const std::int16_t i : {1, 2}) {
        ControllaCampo(i);
        if (g_.FieldErrorNumber == Global::kNessunErrore) continue;
        CampoErrato();
        MostraErrore();
        Btxt(i)->setFocus(Qt::OtherFocusReason);
        return;
    }
    auto Valore = [this](int i) {
        return Btxt(i)->text().trimmed().isEmpty() ? QStringLiteral(" ") : Btxt(i)->text();
    };
    const QString localita = Cod1->text();
    const QString cap = Valore(1), provincia = Valore(2), prefisso = Valore(3);
    if (!tabella_.Aperta()) return;
    // A changed CAP is a new row.
    const bool stessa = ChiaveLetta();
    const RigaLocalita nuova{localita, Btxt(1)->text(), provincia, prefisso,
                             ConvertiRegione(2, Combo1->currentText())};
    const EsitoSalvataggio esito = SalvaSeNonCambiato(
        [&](bool sovrascrivi) {
            return tabella_.Salva(nuova, stessa ? &*letta_ : nullptr, !letta_, sovrascrivi);
        },
        [&] {
            return g_.MsgBox(
                       QStringLiteral("LOCALITA' MODIFICATA DA UN ALTRO UTENTE: SOVRASCRIVO ?"),
                       Pulsanti::SiNo, Icona::Domanda, QStringLiteral("KESTOR - VARIAZIONE"),
                       1) == Risposta::Si;
        });
    switch (esito.tipo) {
        case EsitoSalvataggio::Salvato:
        case EsitoSalvataggio::SalvatoAltroCodice:
            break;
        case EsitoSalvataggio::CambiatoDaAltri: {
            // The row as stored now takes the place of what was typed.
            std::optional<RigaLocalita> riga;
            if (const Guasto guasto =
                    tabella_.Cerca(QStringLiteral("="), localita, Btxt(1)->text(), riga)) {
                ErroreLettura(*guasto);
                return;
            }
            if (!riga) {
                CancellataDaAltri();
                return;
            }
            MostraLocalita(*riga);
            Btxt(1)->setFocus(Qt::OtherFocusReason);
            return;
        }
        case EsitoSalvataggio::CancellatoDaAltri:
            CancellataDaAltri();
            return;
        case EsitoSalvataggio::CodiciEsauriti:
        case EsitoSalvataggio::Bloccato:
        case EsitoSalvataggio::Fallito:
            ErroreScrittura(esito.causa);
            return;
    }
    letta_.reset();
    for (int i = 1; i <= 3; ++i) Btxt(i)->setText(Valore(i));
    if (DaAnagrafica) {
        scelta_ = {cap, localita, provincia};
        confermato_ = true;
        InComando = true;
        Scarica();
        return;
    }
    capCercato_.clear();
    localitaCercata_.clear();
    Annulla(false);
}

void AggLocalita::Elimina() {
    if (g_.MsgBox(QStringLiteral("CONFERMI LA CANCELLAZIONE DELLA LOCALITA'"), Pulsanti::SiNo,
                  Icona::Domanda, QStringLiteral("KESTOR - ELIMINAZIONE"), 1) != Risposta::Si)
        return;
    if (!tabella_.Aperta()) return;
    const EsitoSalvataggio esito = tabella_.Elimina(Cod1->text(), Btxt(1)->text());
    if (esito.tipo == EsitoSalvataggio::CancellatoDaAltri) {
        // Only the row read can have gone meanwhile; a CAP typed over it named none.
        if (ChiaveLetta()) {
            CancellataDaAltri();
            return;
        }
        Cod1->setText(QStringLiteral(" "));
        Annulla(false);
        return;
    }
    if (!esito.Scritto()) {
        ErroreScrittura(esito.causa);
        return;
    }
    Cod1->setText(QStringLiteral(" "));
    Annulla(false);
}

bool AggLocalita::ChiaveLetta() const {
    return letta_ && letta_->localita.toString().trimmed() == Cod1->text().trimmed() &&
           letta_->cap.toString().trimmed() == Btxt(1)->text().trimmed();
}

void AggLocalita::CancellataDaAltri() {
    g_.MsgBox(QStringLiteral("LOCALITA' CANCELLATA DA UN ALTRO UTENTE"), Pulsanti::OK,
              Icona::Esclamazione, QStringLiteral("KESTOR - ELIMINAZIONE"));
    Cod1->setText(QStringLiteral(" "));
    Annulla(false);
}

void AggLocalita::Annulla(bool svuotaLocalita) {
    letta_.reset();
    if (svuotaLocalita) Cod1->setText(QStringLiteral(" "));
    Cod1->setEnabled(true);
    PulisciCampi();
    Cod1->setFocus(Qt::OtherFocusReason);
}

// ---------------------------------------------------------------------------------------
// Keys

void AggLocalita::Form_KeyDown(int& codice, int) {
    // Not swallowed: outside the province box F4 is the control's own (the region's list).
    if (codice == kTastoF4) {
        InScorrimento = true;
        CercaProvincia();
        return;
    }
    int k = codice;
    if (k == kTastoInvio) {
        if (CampoCorrente == kCampoLocalita || CampoCorrente == kCampoRegione ||
            CampoCorrente == kCasellaPrefisso) {
            InviaTasti(QStringLiteral("{TAB}"));
            return;
        }
        k = kTastoGiu;
    }
    if ((k != kTastoSu && k != kTastoGiu) || CampoCorrente < kCasellaCap ||
        CampoCorrente > kCasellaPrefisso)
        return;
    if (k == kTastoSu)
        CampoPrecedente();
    else
        CampoSuccessivo();
    g_.FieldErrorNumber = Global::kNessunErrore;
    Btxt(CampoCorrente)->setFocus(Qt::OtherFocusReason);
    if (codice != kTastoInvio) codice = 0;
}

void AggLocalita::Form_KeyPress(int& carattere) {
    if (carattere == kTastoInvio) {
        carattere = 0;
        return;
    }
    if (CampoCorrente == kCasellaCap || CampoCorrente == kCasellaPrefisso)
        TastoCifra(carattere);
    else
        TastoMaiuscolo(carattere);
    // The box is left as soon as the character that fills it lands; a key that is dropped
    // or edits (backspace, copy, paste) does not fill it.
    if (CampoCorrente < kCasellaCap || CampoCorrente > kCasellaPrefisso || carattere < 32) return;
    CasellaTesto* b = Btxt(CampoCorrente);
    if (b->text().size() - b->selectedText().size() + 1 == b->MaxLength())
        InviaTasti(QStringLiteral("{TAB}"));
}
