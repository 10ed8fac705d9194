// The search form: criteria boxes and keys, the query the criteria make (every typed
// value quoted again, so it never changes the query), and the grid filled in slices.

#include "search/ChkCliC.h"

#include "app/CasellaTesto.h"
#include "app/Toolkit.h"
#include "app/Valori.h"
#include "data/Clienti.h"
#include "lookup/GesTab.h"
#include "search/Esporta.h"
#include "search/Griglia.h"
#include "ui/Finestra.h"
#include "ui/Global.h"
#include "ui/Tasti.h"

#include <QDate>
#include <QElapsedTimer>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QStyle>
#include <QTimer>

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

namespace {

constexpr int kAltezza = 360;  // twips, every criteria box
constexpr int kLarghezzaMinima = 11390;
constexpr int kAltezzaMinima = 4400;
constexpr int kTopGriglia = 810;
const QString kSeleziona = QStringLiteral("&SELEZIONA");
const QString kRicerca = QStringLiteral("&RICERCA");
// Enough rows to fill a maximised grid; the rest follow in slices that leave the keyboard
// and the painting free.
constexpr int kPrimaSchermata = 200;
constexpr int kFettaMs = 15;

struct Criterio {
    const char* etichetta;
    int maxLength;
    int left, top, width;
};

constexpr Criterio kCriteri[8] = {
    {},
    {"P. IVA", 11, 735, 20, 1500},
    {"C.F.", 16, 2610, 45, 2085},
    {"Nome", 35, 5310, 45, 4605},
    {"CAP-ZIP", 9, 735, 405, 1230},
    {"Prov.", 3, 2610, 405, 510},
    {"Nazione", 3, 3960, 405, 510},
    {"Telefono", 13, 5310, 405, 1700},
};

struct ColonnaGriglia {
    const char* titolo;
    int larghezza;
};

constexpr ColonnaGriglia kColonne[10] = {
    {"CODICE", 720},
    {"          RAGIONE SOCIALE", 3800},
    {"             INDIRIZZO", 3800},
    {" CAP", 840},
    {"             LOCALITA'", 3800},
    {"PV", 250},
    {"NAZ", 360},
    {"    TELEFONO", 2200},
    {" PART. IVA", 1600},
    {" CODICE FISCALE", 1800},
};

QRect Rettangolo(int left, int top, int width, int height) {
    return QRect(toolkit::PixelDaTwipX(left), toolkit::PixelDaTwipY(top),
                 toolkit::PixelDaTwipX(width), toolkit::PixelDaTwipY(height));
}

bool SoloCifre(const QString& s) {
    return !s.isEmpty() &&
           std::all_of(s.begin(), s.end(), [](QChar c) { return c >= '0' && c <= '9'; });
}

// TestoDaNull's rule on the engine's UTF-8: null, blank or led by a NUL.
bool Mancante(QByteArrayView v, bool nullo) {
    if (nullo || v.isEmpty() || v.front() == '\0') return true;
    for (const char ch : v) {
        if (static_cast<unsigned char>(ch) >= 0x80) return QString::fromUtf8(v).trimmed().isEmpty();
        if (ch != ' ' && (ch < '\t' || ch > '\r')) return false;
    }
    return true;
}

}  // namespace

ChkCliC::ChkCliC(Global& g, QWidget* parent) : Modulo(g, parent) {
    setObjectName(QStringLiteral("ChkCliC"));
    setWindowFlags(Qt::Dialog | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    SetCaption(QStringLiteral("RICERCA ANAGRAFICHE - KESTOR"));
    SetBorderStyle(2);

    QFont fisso(QStringLiteral("Courier New"));
    fisso.setPointSizeF(9.75);
    fisso.setStyleHint(QFont::TypeWriter, QFont::PreferMatch);
    fisso.setFixedPitch(true);

    QWidget* precedente = nullptr;
    for (int i = kPartitaIva; i <= kTelefono; ++i) {
        const Criterio& c = kCriteri[i];
        auto* t = new CasellaTesto(this);
        t->setFont(fisso);
        t->SetMaxLength(c.maxLength);
        t->setGeometry(Rettangolo(c.left, c.top, c.width, kAltezza));
        t->setTextMargins(1, 0, 1, 0);
        QPalette p = t->palette();
        p.setColor(QPalette::Base, i == kProvincia ? QColor(255, 255, 192) : QColor(Qt::white));
        if (i == kTelefono) p.setColor(QPalette::Text, QColor(0, 0, 64));
        t->setPalette(p);
        Eventi& ev = Su(t, QStringLiteral("Btxt"), i);
        ev.GotFocus = [this, i] { Btxt_GotFocus(i); };
        ev.LostFocus = [this] { InComando = false; };
        ev.Change = [this, i] { Btxt_Change(i); };
        ev.DblClick = [this] { CercaProvincia(); };
        btxt_[size_t(i)] = t;

        // The caption stands right-aligned in the room left of its box.
        const int fine = c.left - 30;
        int inizio = 0;
        for (int k = 1; k < i; ++k)
            if (kCriteri[k].top / 300 == c.top / 300)
                inizio = kCriteri[k].left + kCriteri[k].width + 30;
        auto* l = new QLabel(QString::fromLatin1(c.etichetta), this);
        l->setGeometry(Rettangolo(inizio, c.top, fine - inizio, kAltezza));
        l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        Su(l, QStringLiteral("Label1"), i);
        label1_[size_t(i)] = l;
        if (precedente) setTabOrder(precedente, t);
        precedente = t;
    }

    const struct {
        const char* testo;
        QColor sfondo;
        int left, top;
    } pulsanti[] = {{"&USCITA", QColor(228, 180, 180), 9945, 405},
                    {"&RICERCA", QColor(248, 248, 192), 7335, 405},
                    {"&ESEGUI", QColor(173, 224, 177), 9945, 45}};
    for (int i = 0; i < 3; ++i) {
        auto* b = new QPushButton(QString::fromLatin1(pulsanti[i].testo), this);
        b->setGeometry(Rettangolo(pulsanti[i].left, pulsanti[i].top, 1320, 350));
        b->setAutoDefault(true);
        toolkit::ColoraPulsante(*b, pulsanti[i].sfondo);
        Eventi& ev = Su(b, QStringLiteral("CmdR"), i);
        ev.MouseDown = [this] { InComando = true; };
        ev.Click = [this, i] { CmdR_Click(i); };
        cmdR_[size_t(i)] = b;
    }
    setTabOrder(precedente, CmdR(2));
    setTabOrder(CmdR(2), CmdR(1));
    setTabOrder(CmdR(1), CmdR(0));

    cmdExcel = new QPushButton(this);
    cmdExcel->setGeometry(Rettangolo(8640, 405, 1320, 350));
    // A desktop without an icon theme still shows a picture: the style's table icon.
    cmdExcel->setIcon(QIcon::fromTheme(QStringLiteral("x-office-spreadsheet"),
                                       style()->standardIcon(QStyle::SP_FileDialogDetailedView)));
    cmdExcel->setToolTip(QStringLiteral("Esporta l'elenco in un foglio di calcolo"));
    toolkit::ColoraPulsante(*cmdExcel, QColor(208, 208, 208), false);
    cmdExcel->setAutoDefault(true);
    Su(cmdExcel, QStringLiteral("cmdExcel")).Click = [this] {
        EsportaGriglia(g_, *GridRic, Name());
    };

    GridRic = new Griglia(this);
    GridRic->move(toolkit::PixelDaTwipX(45), toolkit::PixelDaTwipY(kTopGriglia));
    Eventi& griglia = Su(GridRic, QStringLiteral("GridRic"));
    griglia.GotFocus = [this] { GridRic_GotFocus(); };
    griglia.DblClick = [this] { ScegliCliente(); };
    GridRic->CompletaRighe = [this] { CompletaRicerca(); };
    GridRic->MouseDown = [this](int pulsante, int, int x, int y) {
        GridRic_MouseDown(pulsante, x, y);
    };
    setTabOrder(CmdR(0), GridRic);
    setTabOrder(GridRic, cmdExcel);

    resize(toolkit::PixelDaTwipX(11520), toolkit::PixelDaTwipY(6600));

    seguito_ = new QTimer(this);
    seguito_->setInterval(0);
    connect(seguito_, &QTimer::timeout, this,
            [this] { Avvisa(LeggiRighe(std::numeric_limits<int>::max(), kFettaMs)); });
}

ChkCliC::~ChkCliC() {
    FermaLettura();
}

// ---------------------------------------------------------------------------------------
// Load, activation, size, unload

void ChkCliC::Form_Load() {
    InCaricamento = true;
    RipristinaFinestra(g_, *this, 0, 0, QString());
    GridRic->resize(width() - toolkit::PixelDaTwipX(200), GridRic->height());
    ColonnaOrdine = 0;
    VersoOrdine = 1;
    InGriglia = false;
    InComando = false;
    scelto_ = 0;
    g_.ClientRecord.CliCodice = 0;
    SetCaption(QStringLiteral("(") + g_.EnvironmentSettings.CompanyCode +
               QStringLiteral(") RICERCA ANAGRAFICHE - KESTOR      ") +
               QLocale().toString(QDate::currentDate(), QLocale::LongFormat));
    CmdR(1)->setText(kRicerca);
    CmdR(1)->setVisible(false);
    ImpostaFiltri();
    PreparaRicerca();
    InCaricamento = false;
    Form_Resize();
}

void ChkCliC::Form_Activate() {
    auto& pos = g_.PosizioneGriglia;
    if (pos.TopRow <= 0) return;  // nothing chosen yet in this run
    GridRic->SetTopRow(pos.TopRow);
    if (pos.Row > GridRic->Rows() - 1) pos.Row = GridRic->Rows() - 1;
    GridRic->SetRow(pos.Row);
    GridRic->SetCol(pos.Col);
    GridRic->setFocus(Qt::OtherFocusReason);
}

void ChkCliC::Form_Resize() {
    if (WindowState() == 1) return;
    if (Width() < kLarghezzaMinima || Height() < kAltezzaMinima)
        Move(Left(), Top(), std::max(Width(), kLarghezzaMinima),
             std::max(Height(), kAltezzaMinima));
    const int top = toolkit::PixelDaTwipY(kTopGriglia);
    GridRic->setGeometry(0, top, width(), std::max(0, height() - top));
}

void ChkCliC::Form_Unload() {
    FermaLettura();
    SalvaFinestra(g_, *this, QString());
}

// ---------------------------------------------------------------------------------------
// Criteria

void ChkCliC::ImpostaFiltri() {
    FiltroTasti.fill(kMaiuscole);
    FiltroTasti[kPartitaIva] = kCifre;
    FiltroTasti[kCap] = kCifre;
}

void ChkCliC::PreparaRicerca() {
    g_.FieldErrorNumber = Global::kNessunErrore;
    CampoCorrente = kPartitaIva;
    for (int i = kPartitaIva; i <= kTelefono; ++i) Btxt(i)->setText(QStringLiteral(" "));
    const ClientRecord& r = g_.ClientRecord;
    if (!r.CliRagsoc.trimmed().isEmpty()) Btxt(kRagioneSociale)->setText(QString(r.CliRagsoc));
    if (const QString cf = r.CliCodiceFiscale.trimmed(); !cf.isEmpty())
        Btxt(SoloCifre(cf) ? kPartitaIva : kCodiceFiscale)->setText(QString(r.CliCodiceFiscale));

    GridRic->SetCols(10);
    GridRic->SetRow(0);
    GridRic->SetCol(0);
    for (int c = 0; c < 10; ++c) {
        GridRic->SetCol(c);
        GridRic->SetColWidth(c, kColonne[c].larghezza);
        GridRic->SetText(QString::fromLatin1(kColonne[c].titolo));
    }
}

void ChkCliC::CampoSuccessivo() {
    CampoCorrente = CampoCorrente >= kTelefono ? kPartitaIva : std::int16_t(CampoCorrente + 1);
}

void ChkCliC::CampoPrecedente() {
    CampoCorrente = CampoCorrente <= kPartitaIva ? kTelefono : std::int16_t(CampoCorrente - 1);
}

void ChkCliC::Btxt_GotFocus(int i) {
    CmdR(1)->setText(kSeleziona);
    InGriglia = false;
    if (InComando) return;
    g_.FieldErrorNumber = Global::kNessunErrore;
    CampoCorrente = std::int16_t(i);
    SelezionaTesto(g_, *Btxt(i));
}

void ChkCliC::Btxt_Change(int i) {
    if (InCaricamento) return;
    if (Btxt(i)->text().size() == Btxt(i)->MaxLength()) InviaTasti(QStringLiteral("{ENTER}"));
}

void ChkCliC::CercaProvincia() {
    if (CampoCorrente != kProvincia ||
        Btxt(kProvincia)->palette().color(QPalette::Base) != g_.EnvironmentSettings.HighlightColour)
        return;
    const VoceTabella scelta = GesTab::Scegli(g_, QStringLiteral("PROVINCIE"), QString(), this);
    if (!scelta.Codice.trimmed().isEmpty()) Btxt(kProvincia)->setText(scelta.Codice);
}

// ---------------------------------------------------------------------------------------
// Keys

void ChkCliC::Form_KeyDown(int& codice, int) {
    if (InGriglia) return;
    int k = codice;
    if (k == kTastoHome) {
        CampoCorrente = kPartitaIva;
        Btxt(kPartitaIva)->setFocus(Qt::OtherFocusReason);
        return;
    }
    if (k == kTastoF4) CercaProvincia();
    if (k == kTastoInvio) {
        if (CampoCorrente == kTelefono) {
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
    Btxt(CampoCorrente)->setFocus(Qt::OtherFocusReason);
}

void ChkCliC::Form_KeyPress(int& carattere) {
    if (InGriglia) {
        if (carattere == kTastoInvio) {
            carattere = 0;
            ScegliCliente();
        }
        return;
    }
    if (carattere == kTastoInvio) {
        carattere = 0;
        return;
    }
    if (CampoCorrente < kPartitaIva || CampoCorrente > kTelefono) return;
    if (FiltroTasti[size_t(CampoCorrente)] == kMaiuscole)
        TastoMaiuscolo(carattere);
    else
        TastoCifra(carattere);
}

// ---------------------------------------------------------------------------------------
// Buttons

void ChkCliC::CmdR_Click(int i) {
    switch (i) {
        case 0:
            InComando = true;
            Scarica();
            return;
        case 1:
            if (CmdR(1)->text() != kSeleziona) {
                CmdR(1)->setText(kSeleziona);
                Btxt(kPartitaIva)->setFocus(Qt::OtherFocusReason);
            } else {
                CmdR(1)->setText(kRicerca);
                InGriglia = true;
                GridRic->setFocus(Qt::OtherFocusReason);
            }
            return;
        case 2:
            EseguiRicerca();
            return;
        default:
            return;
    }
}

// ---------------------------------------------------------------------------------------
// The query and the grid

QString ChkCliC::TestoRicerca() const {
    std::array<QString, kCriteriRicerca + 1> criteri;
    for (int i = 1; i <= kCriteriRicerca; ++i) criteri[size_t(i)] = Btxt(i)->text();
    return QueryRicerca(criteri, ColonnaOrdine, VersoOrdine != 1);
}

void ChkCliC::EseguiRicerca() {
    FermaLettura();
    ultimaRicerca_ = TestoRicerca();
    ++ricerche_;
    // Nothing is painted before the first screen is in: the view is laid out once for it.
    GridRic->SetRedraw(false);
    SvuotaGriglia(*GridRic);
    Guasto guasto = lettura_.Apri(g_, ultimaRicerca_);
    if (!guasto) guasto = LeggiRighe(kPrimaSchermata, 0);
    // The blank row goes when a client came.
    const bool trovati = GridRic->Rows() > 2;
    if (trovati) GridRic->RemoveItem(1);
    GridRic->SetRedraw(true);
    Avvisa(guasto);
    CmdR(1)->setText(kSeleziona);
    CmdR(1)->setVisible(trovati);
    if (lettura_.Aperto()) seguito_->start();
}

void ChkCliC::CompletaRicerca() {
    // Every call reads to the end or closes the search on a failure.
    while (lettura_.Aperto()) Avvisa(LeggiRighe(std::numeric_limits<int>::max(), 0));
}

Guasto ChkCliC::LeggiRighe(int massimo, int ms) {
    if (!lettura_.Aperto()) return std::nullopt;
    QElapsedTimer tempo;
    tempo.start();
    std::array<QByteArrayView, kColonneRicerca> celle;
    char numero[6];
    const bool acceso = GridRic->Redraw();
    GridRic->SetRedraw(false);
    const Guasto guasto = lettura_.Leggi(
        massimo, [&] { return ms > 0 && tempo.elapsed() >= ms; },
        [&](const RigaRicerca& r) {
            // Straight from the engine's UTF-8 into the grid's; the code right-aligned in six.
            const QByteArrayView codice = r.colonne[0];
            celle[0] = codice;
            if (codice.size() < 6) {
                const auto spazi = size_t(6 - codice.size());
                std::memset(numero, ' ', spazi);
                if (!codice.isEmpty())
                    std::memcpy(numero + spazi, codice.data(), size_t(codice.size()));
                celle[0] = QByteArrayView(numero, 6);
            }
            for (size_t c = 1; c < r.colonne.size(); ++c)
                // A missing nation or telephone shows as one blank.
                celle[c] = (c == 6 || c == 7) && Mancante(r.colonne[c], r.nulle[c])
                               ? QByteArrayView(" ", 1)
                               : r.colonne[c];
            GridRic->AddItemCelle(celle);
        });
    if (!lettura_.Aperto()) seguito_->stop();
    GridRic->SetRedraw(acceso);
    return guasto;
}

void ChkCliC::Avvisa(const Guasto& guasto) {
    if (guasto) g_.MsgBox(QStringLiteral("ERRORE NELLA TABELLA CLIENTI\n") + guasto->Spiegazione());
}

void ChkCliC::FermaLettura() {
    seguito_->stop();
    lettura_.Chiudi();
}

void ChkCliC::GridRic_GotFocus() {
    CmdR(1)->setText(kRicerca);
    InGriglia = true;
    GridRic->SetCol(1);
}

void ChkCliC::GridRic_MouseDown(int pulsante, int x, int y) {
    InGriglia = true;
    if (x < GridRic->ColPos(1) || GridRic->Rows() <= GridRic->FixedRows() + 1 ||
        y > GridRic->RowPos(GridRic->TopRow()))
        return;
    int colonna = 1;
    for (int c = 1; c < GridRic->Cols(); ++c)
        if (GridRic->ColPos(c) <= x) colonna = c;
    ColonnaOrdine = std::uint8_t(colonna);
    VersoOrdine = std::int16_t(pulsante);
    if (!Riordina()) EseguiRicerca();
}

bool ChkCliC::Riordina() {
    const QString testo = TestoRicerca();
    // The criteria are what comes before the order.
    auto Criteri = [](const QString& q) {
        return QStringView(q).left(q.lastIndexOf(u" ORDER BY "));
    };
    const int prima = GridRic->FixedRows();
    if (lettura_.Aperto() || !lettura_.Completa() || GridRic->Rows() - prima != lettura_.Righe() ||
        Criteri(testo) != Criteri(ultimaRicerca_) || !lettura_.Invariata(g_))
        return false;
    GridRic->RiordinaRighe(
        lettura_.Riordina(ColonnaOrdine, VersoOrdine != 1, [this, prima](int riga, int colonna) {
            return GridRic->CellaNuda(prima + riga, colonna);
        }));
    ultimaRicerca_ = testo;
    // Where the query run again would leave the grid.
    GridRic->SetTopRow(prima);
    GridRic->SetRow(std::min(GridRic->Row(), prima));
    CmdR(1)->setText(kSeleziona);
    return true;
}

void ChkCliC::ScegliCliente() {
    // Row 0 holds the headings; a search that found nothing leaves a row without a code.
    const int riga = GridRic->Row();
    if (riga < GridRic->FixedRows() || riga >= GridRic->Rows()) return;
    const qint32 codice = InteroDa(GridRic->TextMatrix(riga, 0).trimmed());
    if (codice < 1) return;
    auto& pos = g_.PosizioneGriglia;
    pos.TopRow = GridRic->TopRow();
    pos.Row = riga;
    pos.Col = GridRic->Col();
    InCaricamento = true;
    GridRic->SetCol(0);
    // The search's own read, still streaming, would show the client as it was when the
    // search began: it ends before the client is read as it is now.
    FermaLettura();
    g_.ClientRecord.CliCodice = codice;
    if (const Guasto guasto = LeggiCliente(g_, codice))
        g_.MsgBox(QStringLiteral("ERRORE NELLA TABELLA CLIENTI\n") + guasto->Spiegazione());
    else if (g_.ClientRecord.CliCodice == 0)
        g_.MsgBox(QStringLiteral("CLIENTE CANCELLATO DA UN ALTRO UTENTE"));
    scelto_ = g_.ClientRecord.CliCodice;  // 0 when it could not be read
    InCaricamento = false;
    CmdR_Click(0);
}
