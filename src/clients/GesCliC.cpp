// The client form's construction, keys and focus, and the code entry that chooses
// between a new client and a stored one.

#include "clients/GesCliC.h"

#include "app/CasellaTesto.h"
#include "app/Toolkit.h"
#include "app/Valori.h"
#include "avvio/Avvio.h"
#include "clients/CampiCliente.h"
#include "data/Clienti.h"
#include "localities/AggLocalita.h"
#include "lookup/GesTab.h"
#include "search/ChkCliC.h"
#include "ui/Global.h"
#include "ui/Tasti.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>

#include <utility>

using namespace campi_cliente;

namespace {

const QColor kGiallo(255, 255, 192);
const QColor kBianco(255, 255, 255);
const QColor kBluScuro(0, 0, 64);

QRect Rettangolo(int left, int top, int width, int height) {
    return QRect(toolkit::PixelDaTwipX(left), toolkit::PixelDaTwipY(top),
                 toolkit::PixelDaTwipX(width), toolkit::PixelDaTwipY(height));
}

QFont CarattereFisso(qreal punti) {
    QFont f(QStringLiteral("Courier New"));
    f.setPointSizeF(punti);
    // Where Courier New is missing a metric-compatible fixed-pitch face stands in.
    f.setStyleHint(QFont::TypeWriter, QFont::PreferMatch);
    f.setFixedPitch(true);
    return f;
}

}  // namespace

GesCliC::GesCliC(Global& g, QWidget* parent) : Modulo(g, parent) {
    setObjectName(QStringLiteral("GesCliC"));
    SetCaption(QStringLiteral("GESTIONE ANAGRAFICHE - KESTOR"));
    SetBorderStyle(1);
    CostruisciControlli();
}

GesCliC::~GesCliC() = default;

void GesCliC::CostruisciControlli() {
    const QFont fisso = CarattereFisso(9.75);
    // The labels left of the fields must fit in this platform's font: the whole layout
    // moves right by what the widest one lacks.
    int spostamento = 0;
    for (const auto& e : kEtichette) {
        const int serve = fontMetrics().horizontalAdvance(QString::fromLatin1(e.testo)) + 4;
        const int spazio = toolkit::PixelDaTwipX(kCampi18[e.campo].left - 60 - e.daLeft);
        if (!e.centrata && e.daLeft == 60) spostamento = std::max(spostamento, serve - spazio);
    }
    const int dx = spostamento;
    auto Rettangolo = [dx](int left, int top, int width, int height) {
        return ::Rettangolo(left, top, width, height).translated(dx, 0);
    };
    setFixedSize(toolkit::PixelDaTwipX(kLarghezzaForm) + dx, toolkit::PixelDaTwipY(kAltezzaForm));

    std::vector<std::pair<int, QWidget*>> ordine;
    for (int i = 0; i < kCampi; ++i) {
        const Campo& c = kCampi18[i];
        auto* t = new CasellaTesto(this);
        t->SetMaxLength(c.maxLength);
        t->setFont(fisso);
        t->setGeometry(Rettangolo(c.left, c.top, c.width, kAltezzaCampo));
        t->setTextMargins(1, 0, 1, 0);
        QPalette p = t->palette();
        p.setColor(QPalette::Base, c.giallo ? kGiallo : kBianco);
        p.setColor(QPalette::Text, kBluScuro);
        t->setPalette(p);
        Eventi& ev = Su(t, QStringLiteral("Txt"), i);
        ev.GotFocus = [this, i] { Txt_GotFocus(i); };
        ev.LostFocus = [this, i] { Txt_LostFocus(i); };
        ev.Change = [this, i] { Txt_Change(i); };
        ev.DblClick = [this] { Txt_DblClick(); };
        txt_[size_t(i)] = t;
        ordine.emplace_back(c.tabOrder, t);
    }

    for (const auto& e : kEtichette) {
        const Campo& c = kCampi18[e.campo];
        auto* l = new QLabel(QString::fromLatin1(e.testo), this);
        Su(l, QLatin1String(e.controllo), e.indice);
        const int destra = c.left - (e.centrata ? 0 : 60);
        QRect r = Rettangolo(e.daLeft, c.top, destra - e.daLeft, kAltezzaCampo);
        if (e.daLeft == 60) r.setLeft(r.left() - dx);  // the left column takes the extra room
        l->setGeometry(r);
        l->setAlignment((e.centrata ? Qt::AlignHCenter : Qt::AlignRight) | Qt::AlignVCenter);
    }

    for (int i = 0; i < 4; ++i) {
        const Pulsante& b = kPulsanti[i];
        auto* p = new QPushButton(QString::fromLatin1(b.testo), this);
        // The buttons stay centred under the fields.
        p->setGeometry(::Rettangolo(b.left, kTopPulsanti, kLarghezzaPulsante, kAltezzaPulsante)
                           .translated(dx / 2, 0));
        toolkit::ColoraPulsante(*p, QColor(b.rosso, b.verde, b.blu));
        Eventi& ev = Su(p, QStringLiteral("CmdI"), i);
        ev.SoloSeCampiValidi = i == 0;  // CONFERMA
        ev.MouseDown = [this] { CmdI_MouseDown(); };
        ev.Click = [this, i] { CmdI_Click(i); };
        cmdI_[size_t(i)] = p;
        ordine.emplace_back(b.tabOrder, p);
    }

    std::sort(ordine.begin(), ordine.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (size_t i = 1; i < ordine.size(); ++i)
        QWidget::setTabOrder(ordine[i - 1].second, ordine[i].second);
}

QLabel* GesCliC::Etichetta(const QString& testo) const {
    for (QLabel* l : findChildren<QLabel*>())
        if (l->text() == testo) return l;
    return nullptr;
}

// ---------------------------------------------------------------------------------------
// Start-up and shut-down

bool GesCliC::Form_Initialize(const QString& rigaDiComando, const QString& cartellaProgramma,
                              const QString& cartellaSistema) {
    return InizializzaAmbiente(g_, rigaDiComando, cartellaProgramma, cartellaSistema);
}

void GesCliC::Form_Load() {
    StartClientCode = g_.ClientRecord.CliCodice;
    CentraFinestra();
    if (!CaricaAmbiente(g_)) {
        Scarica();
        return;
    }
    SetCaption(DidascaliaIniziale(g_));
    ModoMaschera = kVuota;
    InCaricamento = true;
    ImpostaFiltri();
    AzzeraMaschera();
    InCaricamento = false;
}

void GesCliC::Form_Unload() {
    ChiudiAmbiente(g_);
    // Closing the client form ends the program, whatever other forms are still up.
    QCoreApplication::quit();
}

// ---------------------------------------------------------------------------------------
// Modes: empty, filled, activated

void GesCliC::ImpostaFiltri() {
    FiltroTasti.fill(0);
    FiltroTasti[0] = 1;
}

void GesCliC::AzzeraMaschera() {
    esitoIgnoto_ = false;
    g_.FieldErrorNumber = Global::kNessunErrore;
    SaltaFocus = false;
    CampoCorrente = 0;
    Txt(kCodice)->setEnabled(true);
    for (int i = 0; i < kCampi; ++i) Txt(i)->setText(QString());
    PulisciCliente(g_);
    CmdI(2)->setVisible(false);
    // Five digits fill the field, and a typed fill enters the code; this one is the program's.
    if (StartClientCode >= 1) ScriviCampo(kCodice, QString::number(StartClientCode));
}

void GesCliC::RiempiMaschera() {
    if (ModoMaschera == kVariazione) letto_ = g_.ClientRecord;
    InCaricamento = true;
    if (ModoMaschera == kInserimento) {
        SetCaption(QStringLiteral("INSERIMENTO ANAGRAFICHE - KESTOR"));
        CmdI(2)->setVisible(false);
    } else {
        SetCaption(QStringLiteral("VARIAZIONE ANAGRAFICHE - KESTOR"));
        CmdI(2)->setVisible(true);
    }
    const ClientRecord& r = g_.ClientRecord;
    Txt(kCodice)->setText(QString::number(r.CliCodice));
    const QString testi[] = {r.CliCodiceFiscale, r.CliNazione,     r.CliPartitaIva, r.CliRagsoc,
                             r.CliRagsocEstesa,  r.CliIndirizzo,   r.CliCap,        r.CliLocalita,
                             r.CliProvincia,     r.CliTelefono,    r.CliContabile,  r.CliCategoria,
                             r.CliAcronimo,      r.CliEsenzioneNum};
    for (int i = 1; i <= 14; ++i) Txt(i)->setText(testi[i - 1].trimmed());
    const QVariant data = r.CliEsenzioneDat;
    Txt(kEsenzioneGiorno)->setText(GiornoDi(data));
    Txt(kEsenzioneMese)->setText(MeseDi(data));
    Txt(kEsenzioneAnno)->setText(AnnoDi(data));
    InCaricamento = false;
}

void GesCliC::Form_Activate() {
    const bool prima = primaAttivazione_;
    primaAttivazione_ = false;
    SaltaFocus = false;
    // A code typed but not entered yet (the search left without a choice, the question
    // about a new code answered No) is no client on the form: the code stays open.
    const bool nessunCliente = ModoMaschera != kInserimento && ModoMaschera != kVariazione;
    if (InteroDa(Txt(kCodice)->text()) == 0 || nessunCliente) {
        Txt(kCodice)->setEnabled(true);
        Txt(kCodice)->setFocus(Qt::OtherFocusReason);
    } else {
        Txt(kCodice)->setEnabled(false);
    }
    CmdI(3)->setVisible(StartClientCode == 0);
    // Started for one client: that client comes on the form as if its code had been typed,
    // once, before the operator can edit anything.
    if (prima && StartClientCode > 0 && ModoMaschera == kVuota) EntrataCodice();
}

// ---------------------------------------------------------------------------------------
// Keyboard

void GesCliC::Form_KeyDown(int& codice, int shift) {
    int k = codice;
    if (k == kTastoF8 && (shift & kControllo)) {
        g_.MsgBox(g_.EnvironmentSettings.CompanyDatabasePath);
        return;
    }
    if (k == 'R' && (shift & kControllo)) {
        Txt(CampoCorrente)->setText(g_.TestoIniziale);
        SelezionaTesto(g_, *Txt(CampoCorrente));
    }
    if (k == kTastoHome) {
        CampoCorrente = 1;
        Txt(kCodiceFiscale)->setFocus(Qt::OtherFocusReason);
        return;
    }
    if (k == kTastoF4) AiutoCampo();
    if (k == kTastoInvio) {
        if (CampoCorrente == 17) {
            InviaTasti(QStringLiteral("{TAB}"));
            return;
        }
        k = kTastoGiu;
    }
    if (k != kTastoSu && k != kTastoGiu) return;
    if (k == kTastoSu)
        CampoPrecedente();
    else
        CampoSuccessivo();
    CasellaTesto* destinazione =
        !Txt(CampoCorrente)->isHidden() ? Txt(CampoCorrente) : Txt(kRagsoc);
    destinazione->setFocus(Qt::OtherFocusReason);
}

void GesCliC::Form_KeyPress(int& carattere) {
    if (carattere == kTastoInvio) {
        carattere = 0;
        return;
    }
    if (CampoCorrente < 0 || CampoCorrente > 17) return;
    if (FiltroTasti[size_t(CampoCorrente)] == 0)
        TastoMaiuscolo(carattere);
    else
        TastoCifra(carattere);
}

void GesCliC::CampoSuccessivo() {
    do {
        CampoCorrente = CampoCorrente == 17 ? 1 : CampoCorrente + 1;
    } while (!Txt(CampoCorrente)->isEnabled());
}

void GesCliC::CampoPrecedente() {
    do {
        CampoCorrente = (CampoCorrente == 0 || CampoCorrente == 1) ? 17 : CampoCorrente - 1;
    } while (!Txt(CampoCorrente)->isEnabled());
}

// ---------------------------------------------------------------------------------------
// Events of the controls

void GesCliC::Txt_GotFocus(int i) {
    if (SaltaFocus) return;
    CampoCorrente = std::int16_t(i);
    if (g_.DialogoAperto) {
        g_.DialogoAperto = false;
        return;
    }
    g_.FieldErrorNumber = Global::kNessunErrore;
    SelezionaTesto(g_, *Txt(i));
}

void GesCliC::Txt_LostFocus(int i) {
    if (SaltaFocus) {
        SaltaFocus = false;
        return;
    }
    if (g_.DialogoAperto || g_.FieldErrorNumber > 0) return;
    if (i != 0) {
        std::int16_t indice = std::int16_t(i);
        ControllaCampo(indice);
        if (g_.FieldErrorNumber > 0) {
            CampoErrato();
            MostraErrore();
            Txt(g_.FieldErrorNumber)->setFocus(Qt::OtherFocusReason);
        }
        return;
    }
    // The code was entered already: the client on the form disabled its field, which is how
    // the field lost the focus (the start client, a client chosen in the search).
    if (!Txt(kCodice)->isEnabled()) return;
    EntrataCodice();
}

void GesCliC::Txt_Change(int i) {
    if (InCaricamento) return;
    if (Txt(i)->text().size() == Txt(i)->MaxLength()) InviaTasti(QStringLiteral("{ENTER}"));
}

void GesCliC::Txt_DblClick() {
    AiutoCampo();
}

void GesCliC::CmdI_MouseDown() {
    SaltaFocus = true;
}

void GesCliC::CmdI_Click(int i) {
    g_.DialogoAperto = true;
    switch (i) {
        case 0:
            Salva();
            break;
        case 1:
            close();
            break;
        case 2:
            Elimina();
            break;
        case 3:
            Annulla();
            break;
        default:
            break;
    }
    // The action is over: the next field the operator enters is entered as any other.
    g_.DialogoAperto = false;
}

// ---------------------------------------------------------------------------------------
// Code entry

void GesCliC::EntrataCodice() {
    const QString digitato = Txt(kCodice)->text();
    const std::uint8_t modoPrima = ModoMaschera;
    const QString pulsantePrima = CmdI(0)->text();
    // A table that cannot be read leaves no client on the form: the operator is back on
    // the code, as before typing it, and nothing can be saved or deleted.
    auto TornaAlCodice = [&] {
        PulisciCliente(g_);
        ModoMaschera = modoPrima;
        CmdI(0)->setText(pulsantePrima);
        ScriviCampo(0, digitato);
        Txt(kCodice)->setEnabled(true);
        Txt(kCodice)->setFocus(Qt::OtherFocusReason);
    };

    PulisciCliente(g_);
    if (Txt(kCodice)->text().trimmed().isEmpty()) ScriviCampo(0, QStringLiteral("0"));
    ClientRecord& r = g_.ClientRecord;
    // Only digits can be typed; a pasted sign or word counts as no code.
    r.CliCodice = std::max<std::int32_t>(0, InteroDa(Txt(kCodice)->text()));
    if (r.CliCodice == 0) {
        if (const Guasto guasto = CodiceLibero(g_, r.CliCodice)) {
            g_.MsgBox(QStringLiteral("ERRORE NELLA TABELLA CLIENTI\n") + guasto->Spiegazione());
            TornaAlCodice();
            return;
        }
        if (r.CliCodice == 0) {
            CodiciEsauriti();
            TornaAlCodice();
            return;
        }
        ModoMaschera = kInserimento;
        codiceAutomatico_ = true;
        CmdI(0)->setText(QStringLiteral("&INSERISCI"));
    } else {
        const std::int32_t codice = r.CliCodice;
        if (const Guasto guasto = LeggiCliente(g_, codice)) {
            g_.MsgBox(QStringLiteral("ERRORE NELLA TABELLA CLIENTI\n") + guasto->Spiegazione());
            TornaAlCodice();
            return;
        }
        if (r.CliCodice != 0) {
            ModoMaschera = kVariazione;
            CmdI(0)->setText(QStringLiteral("&CONFERMA"));
        } else {
            if (g_.MsgBox(QStringLiteral("CODICE  ") + Txt(kCodice)->text().trimmed() +
                              QStringLiteral("  INESISTENTE: LO VUOI INSERIRE"),
                          Pulsanti::SiNo, Icona::Domanda,
                          QStringLiteral("NORVAL - ERRORE")) == Risposta::No) {
                Txt(kCodice)->setEnabled(true);
                Txt(kCodice)->setFocus(Qt::OtherFocusReason);
                return;
            }
            r.CliCodice = codice;
            ModoMaschera = kInserimento;
            codiceAutomatico_ = false;
            CmdI(0)->setText(QStringLiteral("&INSERISCI"));
        }
    }
    toolkit::AttendiEventi();
    RiempiMaschera();
    Txt(kCodice)->setEnabled(false);
    (!Txt(kCodiceFiscale)->isHidden() ? Txt(kCodiceFiscale) : Txt(kRagsoc))
        ->setFocus(Qt::OtherFocusReason);
}

void GesCliC::ScriviCampo(int campo, const QString& testo) {
    const bool prima = InCaricamento;
    InCaricamento = true;
    Txt(campo)->setText(testo);
    InCaricamento = prima;
}

// The lookups of the yellow fields; the localities form comes with its own work.
void GesCliC::AiutoCampo() {
    if (CampoCorrente < 0 || CampoCorrente > 17 || !kCampi18[CampoCorrente].giallo) return;
    const int campo = CampoCorrente;
    g_.DialogoAperto = true;
    if (campo == 0) {
        SaltaFocus = true;
        ChkCliC ricerca(g_, this);
        ricerca.MostraModale();
        if (ricerca.Scelto() >= 1) {
            ModoMaschera = kVariazione;
            RiempiMaschera();
            CmdI(0)->setText(QStringLiteral("&CONFERMA"));
            // Disabled, the code field hands the focus on to the fiscal code: an entry like
            // any other, while the code field's leave finds it disabled and enters nothing.
            g_.DialogoAperto = false;
            Txt(kCodice)->setEnabled(false);
            toolkit::AttendiEventi();
        }
    }
    // The province list always starts from its beginning; the nation from the typed code.
    if (campo == 2 || campo == 9) {
        const VoceTabella scelta =
            GesTab::Scegli(g_, campo == 2 ? QStringLiteral("NAZIONI") : QStringLiteral("PROVINCIE"),
                           campo == 9 ? QString() : Txt(campo)->text().trimmed(), this);
        // Written as if typed: a full field moves on, and its check runs as it is left.
        if (!scelta.Codice.trimmed().isEmpty()) Txt(campo)->setText(scelta.Codice.trimmed());
    }
    if (campo == 7 || campo == 8) {
        // A "." where both are empty still tells the localities form who opened it.
        QString cap = campo == 7 ? Txt(kCap)->text() : QString();
        const QString localita = campo == 8 ? Txt(kLocalita)->text() : QString();
        if (cap.isEmpty() && localita.isEmpty()) cap = QStringLiteral(".");
        const LocalitaScelta scelta = AggLocalita::Apri(g_, cap, localita, this);
        if (!scelta.Cap.isEmpty()) Txt(kCap)->setText(scelta.Cap);
        if (!scelta.Localita.isEmpty()) Txt(kLocalita)->setText(scelta.Localita);
        if (!scelta.Provincia.isEmpty()) Txt(kProvincia)->setText(scelta.Provincia);
    }
    g_.DialogoAperto = false;
}
