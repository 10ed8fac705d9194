// The lookup dialog: two search boxes of which one shows, a list read by a range query on
// every keystroke (asked first past 1,000 rows, with no read left open while asking), and
// the confirmed row read again from the table by its key.

#include "lookup/GesTab.h"

#include "app/CasellaTesto.h"
#include "app/Toolkit.h"
#include "data/TabCodici.h"
#include "ui/Global.h"
#include "ui/Riprova.h"
#include "ui/Tasti.h"

#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>

#include <algorithm>

namespace {

const QString kCaptionDisegno = QStringLiteral("(KESTOR)            RICERCA TABELLA:  XXX");
const QString kSeleziona = QStringLiteral("&X SELEZIONA");
const QString kRicerca = QStringLiteral("&X RICERCA");
constexpr int kMargine = 120;  // twips
constexpr int kPulsanteL = 1500;
constexpr int kPulsanteA = 375;
constexpr int kEtichettaL = 1100;
constexpr int kBanda = 855;
constexpr int kListaA = 4200;
constexpr int kMassimaLarghezza = 70;
const QString kTrattino = QStringLiteral(" - ");
constexpr int kRighePrimaDiChiedere = 1000;

QFont Fisso() {
    QFont f(QStringLiteral("Courier New"));
    f.setPointSizeF(9.75);
    f.setStyleHint(QFont::TypeWriter, QFont::PreferMatch);
    f.setFixedPitch(true);
    return f;
}

// Appends a column of the list: the value without its trailing blanks, followed by blanks
// up to the width. A code stored with a blank after it ('Z ') is then as wide as its column,
// and the end of a line in description order is the code again. Counted without a trimmed
// copy: this runs for every line of the list on every keystroke.
void AggiungiColonna(QString& riga, const QString& valore, int larghezza) {
    qsizetype fine = valore.size();
    while (fine > 0 && valore[fine - 1].isSpace()) --fine;
    riga += QStringView(valore).left(fine);
    if (fine < larghezza) riga.resize(riga.size() + larghezza - fine, QChar(' '));
}

int Larghezza(int dimensione) {
    return std::min(dimensione, kMassimaLarghezza);
}

}  // namespace

GesTab::GesTab(Global& g, const QString& tabella, QWidget* parent)
    : Modulo(g, parent), nomeTabella_(tabella), tabella_(tabella) {
    setObjectName(QStringLiteral("GesTab"));
    setWindowFlags(Qt::Dialog);
    SetCaption(kCaptionDisegno);
    SetBorderStyle(3);
    const QFont fisso = Fisso();

    Frame1 = new QFrame(this);
    Frame1->setFrameShape(QFrame::StyledPanel);
    Su(Frame1, QStringLiteral("Frame1"));

    Lcod = new QLabel(QStringLiteral("Codice"), this);
    Ldesc = new QLabel(QStringLiteral("Descrizione"), this);
    Su(Lcod, QStringLiteral("Lcod"));
    Su(Ldesc, QStringLiteral("Ldesc"));

    CodTab = new CasellaTesto(this);
    DescTab = new CasellaTesto(this);
    for (std::uint8_t modo : {std::uint8_t(1), std::uint8_t(2)}) {
        CasellaTesto* t = Casella(modo);
        t->setFont(fisso);
        Eventi& ev = Su(t, modo == 1 ? QStringLiteral("CodTab") : QStringLiteral("DescTab"));
        ev.GotFocus = [this, modo] { Casella_GotFocus(modo); };
        ev.Change = [this, modo] { Casella_Change(modo); };
        ev.LostFocus = [this, modo] { Casella_LostFocus(modo); };
    }

    Lista = new QListWidget(this);
    Lista->setFont(fisso);
    Lista->setSelectionMode(QAbstractItemView::SingleSelection);
    Lista->setUniformItemSizes(true);
    Eventi& lista = Su(Lista, QStringLiteral("Lista"));
    lista.GotFocus = [this] { Lista_GotFocus(); };
    lista.LostFocus = [this] {
        cmdRt[1]->setText(kSeleziona);
        // Only the X button itself, pressed from the list, takes the operator back to the
        // search; reached any other way it reads SELEZIONA and does that.
        if (FuocoVerso() != cmdRt[1]) InLista = false;
    };
    lista.MouseDown = [this] { InLista = true; };
    lista.DblClick = [this] { cmdRt_Click(0); };

    const struct {
        const char* testo;
        QColor sfondo;
    } pulsanti[] = {{"&CONFERMA", QColor(173, 224, 177)},
                    {"&X SELEZIONA", QColor(248, 248, 192)},
                    {"&USCITA", QColor(228, 180, 180)}};
    for (int i = 0; i < 3; ++i) {
        auto* b = new QPushButton(QString::fromLatin1(pulsanti[i].testo), this);
        b->setAutoDefault(false);
        toolkit::ColoraPulsante(*b, pulsanti[i].sfondo);
        Eventi& ev = Su(b, QStringLiteral("cmdRt"), i);
        // USCITA pressed with the mouse skips the leave logic of the search box.
        ev.MouseDown = [this, i] { InUscita = i == 2; };
        ev.Click = [this, i] { cmdRt_Click(i); };
        cmdRt[size_t(i)] = b;
    }

    setTabOrder(CodTab, DescTab);
    setTabOrder(DescTab, cmdRt[1]);
    setTabOrder(cmdRt[1], cmdRt[0]);
    setTabOrder(cmdRt[0], cmdRt[2]);
    setTabOrder(cmdRt[2], Lista);
    Disponi();
}

GesTab::~GesTab() = default;

VoceTabella GesTab::Scegli(Global& g, const QString& tabella, const QString& codice,
                           QWidget* parent) {
    GesTab dialogo(g, tabella, parent);
    dialogo.CodiceCercato = codice;
    dialogo.Carica();
    dialogo.MostraModale();
    dialogo.Scarica();
    return dialogo.Scelta();
}

void GesTab::Disponi() {
    using toolkit::PixelDaTwipX;
    using toolkit::PixelDaTwipY;
    const int caselle = std::max(CodTab->width(), DescTab->width());
    const int xCasella = PixelDaTwipX(kMargine + kEtichettaL);
    const int larghezzaPulsanti = PixelDaTwipX(3 * kPulsanteL);
    const int carattere = QFontMetrics(Lista->font()).horizontalAdvance(QChar('X'));
    const int righe = carattere * (larghezzaCodice_ + 3 + larghezzaDescrizione_) +
                      Lista->verticalScrollBar()->sizeHint().width() + 8;
    const int interno = std::max({xCasella + caselle + PixelDaTwipX(2 * kMargine) +
                                      larghezzaPulsanti - PixelDaTwipX(kMargine),
                                  righe, PixelDaTwipX(7000)});
    const int margine = PixelDaTwipX(kMargine);
    const int banda = PixelDaTwipY(kBanda);
    Frame1->setGeometry(margine / 2, margine / 2, interno + margine, banda);
    const int yRiga = (banda - PixelDaTwipY(kPulsanteA)) / 2 + margine / 2;
    for (QLabel* l : {Lcod, Ldesc})
        l->setGeometry(margine, yRiga, PixelDaTwipX(kEtichettaL) - 4, PixelDaTwipY(kPulsanteA));
    for (CasellaTesto* t : {CodTab, DescTab})
        t->setGeometry(xCasella, yRiga, t->width(), PixelDaTwipY(kPulsanteA));
    // X SELEZIONA, CONFERMA, USCITA from left to right, at the top right.
    const int xPulsanti = margine + interno - larghezzaPulsanti;
    const int ordine[] = {1, 0, 2};
    for (int k = 0; k < 3; ++k)
        cmdRt[size_t(ordine[k])]->setGeometry(xPulsanti + k * PixelDaTwipX(kPulsanteL), yRiga,
                                              PixelDaTwipX(kPulsanteL) - 2,
                                              PixelDaTwipY(kPulsanteA));
    const int yLista = margine / 2 + banda + margine / 2;
    Lista->setGeometry(margine, yLista, interno, PixelDaTwipY(kListaA));
    setFixedSize(interno + 2 * margine, yLista + PixelDaTwipY(kListaA) + margine);
}

// ---------------------------------------------------------------------------------------
// Load, activation, unload

void GesTab::Form_Load() {
    CentraFinestra();
    SetCaption(kCaptionDisegno.left(kCaptionDisegno.indexOf(QLatin1String("XXX"))) + nomeTabella_);
    InCaricamento = true;
    InUscita = false;
    InLista = false;
    cmdRt[1]->setText(kSeleziona);
    ApriTabelle();
    if (!TabAperta) return;
    int codice = 0, descrizione = 0;
    // A table without the two columns: the load ends quietly.
    if (!tabella_.Larghezze(codice, descrizione)) return;
    larghezzaCodice_ = Larghezza(codice);
    CodTab->resize(toolkit::PixelDaTwipX((larghezzaCodice_ + 1) * 120), CodTab->height());
    CodTab->SetMaxLength(larghezzaCodice_);
    larghezzaDescrizione_ = Larghezza(descrizione);
    DescTab->resize(toolkit::PixelDaTwipX((larghezzaDescrizione_ + 1) * 120), DescTab->height());
    DescTab->SetMaxLength(larghezzaDescrizione_);
    Disponi();
    CentraFinestra();
    for (QWidget* w : std::initializer_list<QWidget*>{Lcod, CodTab, Ldesc, DescTab}) w->hide();
    if (!DescrizioneCercata.isEmpty()) {
        Ldesc->show();
        DescTab->show();
        DescTab->setText(DescrizioneCercata);
    } else {
        Lcod->show();
        CodTab->show();
        CodTab->setText(CodiceCercato);
    }
    InCaricamento = false;
}

void GesTab::Form_Unload() {
    tabella_.Chiudi();
}

// ---------------------------------------------------------------------------------------
// Opening the table and the range query

void GesTab::ApriTabelle() {
    TabAperta = tabella_.Apri(
        g_, RiprovaApertura(g_, QStringLiteral("ERRORE IN APERTURA TABELLA ") + nomeTabella_));
}

// ---------------------------------------------------------------------------------------
// The list

void GesTab::CaricaLista(const QString& testo, std::uint8_t modo) {
    testoElenco_ = tabella_.TestoElenco(testo, modo == 1);
    Lista->clear();
    QStringList righe;
    const auto riga = [&](const QString& codice, const QString& descrizione) {
        QString r;
        r.reserve(codice.size() + descrizione.size() + larghezzaCodice_ + larghezzaDescrizione_ +
                  3);
        if (modo == 1) {
            AggiungiColonna(r, codice, larghezzaCodice_);
            r += kTrattino;
            AggiungiColonna(r, descrizione, larghezzaDescrizione_);
        } else {
            AggiungiColonna(r, descrizione, larghezzaDescrizione_);
            r += kTrattino;
            AggiungiColonna(r, codice, larghezzaCodice_);
        }
        righe << r;
    };
    // Reads the list, up to `limite` lines (-1: all); true when more were left.
    const auto Leggi = [&](qsizetype limite) {
        righe.clear();
        return tabella_.LeggiElenco(
            g_, testoElenco_, limite, riga,
            RiprovaApertura(g_, QStringLiteral("ERRORE IN APERTURA SQL - TABELLA ") + nomeTabella_),
            ElencoAperto);
    };
    if (Leggi(kRighePrimaDiChiedere) &&
        g_.MsgBox(QStringLiteral("OLTRE 1000 ELEMENTI: ESTRAGGO TUTTO?"), Pulsanti::SiNo,
                  Icona::Domanda, QStringLiteral("ELENCO LUNGO")) == Risposta::Si)
        Leggi(-1);
    // The list keeps its lines in order. The range query mostly returns them in order
    // already, and checking costs far less than sorting again.
    if (!std::is_sorted(righe.begin(), righe.end())) righe.sort();
    Lista->addItems(righe);
}

void GesTab::AggiornaElenco(std::uint8_t modo) {
    QString testo = Casella(modo)->text();
    CaricaLista(testo, modo);
    cmdRt[1]->setVisible(Lista->count() >= 2);
}

void GesTab::LeggiSelezione() {
    QListWidgetItem* scelta = Lista->currentItem();
    if (!scelta || !scelta->isSelected()) return;
    Elemento = scelta->text();
    if (Elemento.trimmed().isEmpty()) return;
    Elemento =
        !Ldesc->isHidden() ? Elemento.right(larghezzaCodice_) : Elemento.left(larghezzaCodice_);
    LeggiTabelle(Elemento);
}

void GesTab::LeggiTabelle(const QString& elemento) {
    letta_ = tabella_.Leggi(elemento);
}

// ---------------------------------------------------------------------------------------
// Controls

CasellaTesto* GesTab::CasellaVisibile() const {
    return !DescTab->isHidden() && CodTab->isHidden() ? DescTab : CodTab;
}

void GesTab::Casella_GotFocus(std::uint8_t modo) {
    InLista = false;
    const std::uint8_t altro = modo == 1 ? 2 : 1;
    Casella(altro)->hide();
    (altro == 1 ? Lcod : Ldesc)->hide();
    SelezionaTesto(g_, *Casella(modo));
    AggiornaElenco(modo);
}

void GesTab::Casella_Change(std::uint8_t modo) {
    if (InCaricamento) return;
    AggiornaElenco(modo);
}

void GesTab::Casella_LostFocus(std::uint8_t modo) {
    if (InUscita || InLista) return;
    if (!Casella(modo)->text().trimmed().isEmpty()) {
        Elemento = Lista->count() > 0 ? Lista->item(0)->text() : QString();
        if (Elemento.trimmed().isEmpty()) return;
        const qsizetype trattino = Elemento.indexOf(QLatin1String(" - "));
        if (modo == 1)
            Elemento = Elemento.left(trattino);
        else
            Elemento = trattino < 0 ? QString() : Elemento.mid(trattino + 3);
        LeggiTabelle(Elemento);
        return;
    }
    // Leaving an empty box is how the operator changes between code and description.
    const std::uint8_t altro = modo == 1 ? 2 : 1;
    (altro == 1 ? Lcod : Ldesc)->show();
    Casella(altro)->show();
    Casella(altro)->clear();
    Casella(altro)->setFocus(Qt::OtherFocusReason);
}

void GesTab::Lista_GotFocus() {
    if (Lista->count() == 0) {
        CasellaVisibile()->setFocus(Qt::OtherFocusReason);
        return;
    }
    InLista = true;
    cmdRt[1]->setText(kRicerca);
}

void GesTab::cmdRt_Click(int i) {
    InUscita = false;
    if (i == 1) {
        // Decided by where the operator was working, not by the caption: pressing the
        // button takes the focus off the list, and that already turns the caption back.
        if (!InLista) {
            Lista->setFocus(Qt::OtherFocusReason);
            if (Lista->count() > 0) Lista->setCurrentRow(0, QItemSelectionModel::ClearAndSelect);
        } else {
            cmdRt[1]->setText(kSeleziona);
            CasellaVisibile()->setFocus(Qt::OtherFocusReason);
        }
        return;
    }
    if (i == 2) InUscita = true;
    scelta_ = {};
    if (i == 0 && Lista->count() >= 1) {
        if (Lista->selectedItems().isEmpty())
            Lista->setCurrentRow(0, QItemSelectionModel::ClearAndSelect);
        LeggiSelezione();
        scelta_ = letta_;
    }
    Scarica();
}

// ---------------------------------------------------------------------------------------
// Keys

void GesTab::Form_KeyDown(int& codice, int) {
    if (codice != kTastoInvio) return;
    if (!InLista)
        InviaTasti(QStringLiteral("{TAB}"));
    else
        cmdRt_Click(0);
}

void GesTab::Form_KeyPress(int& carattere) {
    if (carattere == kTastoInvio) carattere = 0;
}
