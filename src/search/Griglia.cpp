// The grid's store and view: rows as UTF-8 lines in shared blocks, a model that shows only
// the scrollable cells, headers for the fixed ones. Filling must stay cheap per row: a search
// streams a million into it.

#include "search/Griglia.h"

#include "app/Toolkit.h"
#include "ui/Tasti.h"

#include <QAbstractButton>
#include <QAbstractTableModel>
#include <QFocusEvent>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStringEncoder>
#include <QStyleOptionHeader>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

namespace {

constexpr int kLarghezzaBase = 960;  // twips
constexpr int kAltezzaBase = 240;    // twips

// Marks a stretch in which the view's moves of its current index are the grid's own doing.
class Dentro {
  public:
    explicit Dentro(bool& b) : b_(b), prima_(b) { b_ = true; }
    ~Dentro() { b_ = prima_; }
    Dentro(const Dentro&) = delete;
    Dentro& operator=(const Dentro&) = delete;

  private:
    bool& b_;
    bool prima_;
};

int Pulsante(Qt::MouseButton b) {
    switch (b) {
        case Qt::LeftButton:
            return 1;
        case Qt::RightButton:
            return 2;
        case Qt::MiddleButton:
            return 4;
        default:
            return 0;
    }
}

}  // namespace

// Rows as UTF-8 lines, cells split by tabs, in large shared blocks: a million client lines
// cost their bytes plus one small entry each, not a heap string per cell. Replaced or
// removed lines stay in their block until the garbage outweighs the live text. The blanks
// that end a cell, which fixed-width fields pad a third of a client line with, are kept as
// a count (see Comprimi) and given back whole by every reading.
class Griglia::Righe {
  public:
    int Conta() const { return int(righe_.size()); }

    QString Cella(int r, int c) const {
        const QByteArrayView v = CellaUtf8(r, c);
        return QString::fromUtf8(v.data(), v.size());
    }

    // Valid until the next call.
    QByteArrayView CellaUtf8(int r, int c) const {
        const Riga& riga = righe_[r];
        const auto [a, b] = Pezzo(riga, c);
        if (!riga.compressa) return QByteArrayView(a, b - a);
        Espandi(a, b, espansa_);
        return espansa_;
    }

    QByteArrayView CellaNuda(int r, int c) const {
        const Riga& riga = righe_[r];
        auto [a, b] = Pezzo(riga, c);
        for (;;) {
            if (b > a && b[-1] == ' ')
                --b;
            else if (riga.compressa && b - a >= 2 && b[-2] == kBianchi)
                b -= 2;
            else
                return QByteArrayView(a, b - a);
        }
    }

    bool Riordina(int da, const std::vector<int>& ordine) {
        const auto n = righe_.size() - std::size_t(da);
        if (ordine.size() != n) return false;
        std::vector<Riga> nuove(n);
        std::vector<bool> prese(n);
        for (std::size_t i = 0; i < n; ++i) {
            const auto k = std::size_t(ordine[i]);
            if (k >= n || prese[k]) return false;
            prese[k] = true;
            nuove[i] = righe_[std::size_t(da) + k];
        }
        std::copy(nuove.begin(), nuove.end(), righe_.begin() + da);
        return true;
    }

    QByteArrayView LineaUtf8(int r) const {
        const Riga& riga = righe_[r];
        if (!riga.compressa) return QByteArrayView(riga.dati, riga.lunghezza);
        Espandi(riga.dati, riga.dati + riga.lunghezza, espansa_);
        return espansa_;
    }

    void Inserisci(int r, QStringView testo, int colonne) {
        char* p = Spazio(std::size_t(utf8_.requiredSpace(testo.size())));
        char* fine = utf8_.appendToBuffer(p, testo);
        righe_.insert(righe_.begin() + r, Chiudi(p, fine, p, colonne));
    }

    void Inserisci(int r, QByteArrayView utf8, int colonne) {
        char* p = Spazio(std::size_t(utf8.size()));
        righe_.insert(righe_.begin() + r,
                      Chiudi(utf8.data(), utf8.data() + utf8.size(), p, colonne));
    }

    // The line of `celle` joined by tabs, written once: each cell is copied straight to its
    // place with its blanks counted on the way. A cell holding a tab or the blanks' mark
    // takes the long way, through the joined text.
    void Inserisci(int r, std::span<const QByteArrayView> celle, int colonne) {
        std::size_t massimo = celle.size();
        for (const QByteArrayView c : celle) massimo += std::size_t(c.size());
        char* const p = Spazio(massimo);
        char* w = p;
        const std::size_t n = std::min(celle.size(), std::size_t(std::max(colonne, 0)));
        for (std::size_t i = 0; i < n; ++i) {
            if (i > 0) *w++ = '\t';
            const char* a = celle[i].data();
            const char* const fine = a + celle[i].size();
            const char* const e = FineTesto(a, fine);
            if (Riservati(a, e)) {
                QByteArray unita;
                for (std::size_t k = 0; k < celle.size(); ++k) {
                    if (k > 0) unita += '\t';
                    unita += celle[k];
                }
                Inserisci(r, QByteArrayView(unita), colonne);
                return;
            }
            w = Copia(w, a, std::size_t(e - a));
            std::size_t bianchi = std::size_t(fine - e);
            for (; bianchi >= kMinimo; bianchi -= std::min(bianchi, kMassimo)) {
                *w++ = kBianchi;
                *w++ = char(0x80 | std::min(bianchi, kMassimo));
            }
            w = std::fill_n(w, bianchi, ' ');
        }
        Riga riga = Conferma(p, w);
        riga.compressa = riga.lunghezza > 0;
        righe_.insert(righe_.begin() + r, riga);
    }

    void ImpostaCella(int r, int c, QStringView testo) {
        const Riga vecchia = righe_[r];
        QByteArray espansa;
        const char* inizio = vecchia.dati;
        const char* fine = inizio + vecchia.lunghezza;
        if (vecchia.compressa) {
            Espandi(inizio, fine, espansa);
            inizio = espansa.constData();
            fine = inizio + espansa.size();
        }
        const char* a = inizio;
        int passati = 0;
        while (passati < c) {
            const char* t = Tab(a, fine);
            if (!t) {
                a = fine;
                break;
            }
            a = t + 1;
            ++passati;
        }
        const char* b = fine;
        if (passati == c)
            if (const char* t = Tab(a, fine)) b = t;
        const std::size_t mancanti = std::size_t(c - passati);  // a short line gets padded
        char* p = Spazio(std::size_t(a - inizio) + mancanti +
                         std::size_t(utf8_.requiredSpace(testo.size())) + std::size_t(fine - b));
        char* q = p;
        if (a != inizio) q = std::copy(inizio, a, q);
        q = std::fill_n(q, mancanti, '\t');
        char* cella = q;
        q = utf8_.appendToBuffer(q, testo);
        // A tab would split the cell in two.
        std::replace(cella, q, '\t', ' ');
        if (b != fine) q = std::copy(b, fine, q);
        righe_[r] = Chiudi(p, q, p, std::numeric_limits<int>::max());
        scarto_ += vecchia.lunghezza;
        CompattaSeServe();
    }

    void Rimuovi(int r) {
        scarto_ += righe_[r].lunghezza;
        righe_.erase(righe_.begin() + r);
        CompattaSeServe();
    }

    void Ridimensiona(int n) {
        const std::size_t nuove = std::size_t(std::max(0, n));
        for (std::size_t i = nuove; i < righe_.size(); ++i) scarto_ += righe_[i].lunghezza;
        righe_.resize(nuove);
        if (righe_.capacity() > 4 * righe_.size() + 1024) righe_.shrink_to_fit();
        CompattaSeServe();
    }

    // Drops the cells from column `colonne` on; the bytes stay where they are. (A count of
    // blanks never holds a tab, so the cut falls where it would in the whole text.)
    void Tronca(int colonne) {
        for (Riga& r : righe_) {
            const char* fine = Taglia(r.dati, r.dati + r.lunghezza, colonne);
            const auto lunghezza = std::uint32_t(fine - r.dati);
            scarto_ += r.lunghezza - lunghezza;
            r.lunghezza = lunghezza;
        }
        CompattaSeServe();
    }

  private:
    struct Riga {
        const char* dati = nullptr;
        std::uint32_t lunghezza = 0;
        bool compressa = false;  // its runs of blanks are counts
    };
    static constexpr std::size_t kBlocco = std::size_t(1) << 20;
    static constexpr std::size_t kPochi = std::size_t(1) << 12;  // bytes: an emptied grid
    // A run of 3 to 127 blanks is this byte and then 0x80 plus the count, neither of them a
    // tab; a line that holds this byte itself is kept as it is.
    static constexpr char kBianchi = '\x01';
    static constexpr std::size_t kMinimo = 3, kMassimo = 127;

    // Writes the first `colonne` cells of the line's text from `r` to `fine` at `w` (which
    // may be `r`: it is never longer), the blanks that end each cell counted; returns the
    // end.
    static char* Comprimi(const char* r, const char* fine, char* w, int colonne) {
        if (colonne <= 0) return w;
        for (;;) {
            const char* t = --colonne > 0 ? Tab(r, fine) : nullptr;
            const char* e = t ? t : colonne > 0 ? fine : Fine(r, fine);
            const char* b = e;
            while (b > r && b[-1] == ' ') --b;
            if (w != r) std::memmove(w, r, std::size_t(b - r));
            w += b - r;
            std::size_t n = std::size_t(e - b);
            for (; n >= kMinimo; n -= std::min(n, kMassimo)) {
                *w++ = kBianchi;
                *w++ = char(0x80 | std::min(n, kMassimo));
            }
            w = std::fill_n(w, n, ' ');
            if (!t) return w;
            *w++ = '\t';
            r = t + 1;
        }
    }

    static std::uint64_t Parola(const char* p) {
        std::uint64_t x;
        std::memcpy(&x, p, sizeof x);
        return x;
    }
    static constexpr std::uint64_t kUni = 0x0101010101010101u;
    static constexpr std::uint64_t kOttoBianchi = kUni * ' ';

    // Cells are a few dozen bytes: glibc's calls cost more than the work, so these go eight
    // bytes at a time inline, a short end taken as the word that ends with the text (never
    // a byte outside it).

    // Where the text ends once the blanks that end it are left out.
    static const char* FineTesto(const char* a, const char* e) {
        for (; e - a >= 8; e -= 8) {
            const std::uint64_t x = Parola(e - 8) ^ kOttoBianchi;
            if (!x) continue;
            // The last of the eight bytes is the word's highest on a little-endian machine.
            if constexpr (std::endian::native == std::endian::little)
                return e - (std::countl_zero(x) >> 3);
            else
                return e - (std::countr_zero(x) >> 3);
        }
        while (e > a && e[-1] == ' ') --e;
        return e;
    }

    // Whether the text holds a tab or the blanks' mark: a byte is one of them when the word
    // xor its repetition has a zero byte.
    static bool Riservati(const char* a, const char* e) {
        const auto tocca = [](std::uint64_t x) {
            const auto zero = [](std::uint64_t y) { return (y - kUni) & ~y & (kUni << 7); };
            return (zero(x ^ (kUni * '\t')) | zero(x ^ (kUni * std::uint8_t(kBianchi)))) != 0;
        };
        const std::size_t n = std::size_t(e - a);
        if (n < 8) {
            for (; a < e; ++a)
                if (*a == '\t' || *a == kBianchi) return true;
            return false;
        }
        for (std::size_t i = 0; i + 8 < n; i += 8)
            if (tocca(Parola(a + i))) return true;
        return tocca(Parola(e - 8));
    }

    static char* Copia(char* w, const char* a, std::size_t n) {
        if (n >= 8) {
            for (std::size_t i = 0; i + 8 < n; i += 8) std::memcpy(w + i, a + i, 8);
            std::memcpy(w + n - 8, a + n - 8, 8);
        } else if (n >= 4) {
            std::memcpy(w, a, 4);
            std::memcpy(w + n - 4, a + n - 4, 4);
        } else {
            for (std::size_t i = 0; i < n; ++i) w[i] = a[i];
        }
        return w + n;
    }

    static void Espandi(const char* a, const char* b, QByteArray& out) {
        out.clear();
        while (a < b) {
            const char* m = static_cast<const char*>(std::memchr(a, kBianchi, std::size_t(b - a)));
            if (!m) {
                out.append(a, b - a);
                break;
            }
            out.append(a, m - a);
            out.append(qsizetype(static_cast<unsigned char>(m[1]) & 0x7f), ' ');
            a = m + 2;
        }
    }

    static const char* Fine(const char* a, const char* fine) {
        const char* t = Tab(a, fine);
        return t ? t : fine;
    }

    // Takes the first `colonne` cells of the text from `da` to `fine` as a line written at
    // `p`, from Spazio (`da` may be `p`), counting its blanks if it can.
    Riga Chiudi(const char* da, const char* fine, char* p, int colonne) {
        if (std::memchr(da, kBianchi, std::size_t(fine - da))) {
            fine = Taglia(da, fine, colonne);
            const auto n = std::size_t(fine - da);
            if (da != p && n) std::memcpy(p, da, n);
            return Conferma(p, p + n);
        }
        Riga r = Conferma(p, Comprimi(da, fine, p, colonne));
        r.compressa = r.lunghezza > 0;
        return r;
    }

    static const char* Tab(const char* da, const char* a) {
        if (da == a) return nullptr;
        return static_cast<const char*>(std::memchr(da, '\t', std::size_t(a - da)));
    }

    static std::pair<const char*, const char*> Pezzo(const Riga& r, int c) {
        const char* a = r.dati;
        const char* fine = a + r.lunghezza;
        for (int k = 0; k < c; ++k) {
            const char* t = Tab(a, fine);
            if (!t) return {fine, fine};
            a = t + 1;
        }
        const char* t = Tab(a, fine);
        return {a, t ? t : fine};
    }

    // Where the text of the first `colonne` cells ends.
    static const char* Taglia(const char* inizio, const char* fine, int colonne) {
        if (colonne <= 0) return inizio;
        const char* a = inizio;
        for (int k = 0; k < colonne; ++k) {
            const char* t = Tab(a, fine);
            if (!t) return fine;
            if (k + 1 == colonne) return t;
            a = t + 1;
        }
        return fine;
    }

    // At least `massimo` free bytes; only Conferma takes them.
    char* Spazio(std::size_t massimo) {
        if (resto_ < massimo) {
            const std::size_t dimensione = std::max(kBlocco, massimo);
            // Not zeroed: untouched pages of a fresh block cost no memory.
            blocchi_.emplace_back(new char[dimensione]);
            libero_ = blocchi_.back().get();
            resto_ = dimensione;
        }
        return libero_;
    }

    Riga Conferma(const char* inizio, const char* fine) {
        const auto n = std::size_t(fine - inizio);
        if (n == 0) return {};
        libero_ += n;
        resto_ -= n;
        occupato_ += n;
        return {inizio, std::uint32_t(n)};
    }

    void CompattaSeServe() {
        const std::size_t vivi = occupato_ - scarto_;
        if ((scarto_ > kPochi && vivi <= kPochi) || (scarto_ > kBlocco && scarto_ * 2 > occupato_))
            Compatta();
    }

    // Writes the live lines again from the start. A store emptied for the next read keeps
    // its first block, whose pages are already in memory and likely in the cache; the few
    // lines left are set aside meanwhile.
    void Compatta() {
        std::string pochi;
        std::vector<std::unique_ptr<char[]>> vecchi;
        const bool riusa = occupato_ - scarto_ <= kPochi && !blocchi_.empty();
        if (riusa) {
            for (const Riga& r : righe_) pochi.append(r.dati, r.lunghezza);
            blocchi_.resize(1);
            libero_ = blocchi_.front().get();
            resto_ = kBlocco;  // every block has at least that
        } else {
            vecchi = std::move(blocchi_);
            blocchi_.clear();
            libero_ = nullptr;
            resto_ = 0;
        }
        occupato_ = scarto_ = 0;
        const char* messe = pochi.data();
        for (Riga& r : righe_) {
            if (r.lunghezza == 0) {
                r = {};
                continue;
            }
            const char* da = riusa ? messe : r.dati;
            messe += riusa ? r.lunghezza : 0;
            char* p = Spazio(r.lunghezza);
            std::memcpy(p, da, r.lunghezza);
            const bool compressa = r.compressa;
            r = Conferma(p, p + r.lunghezza);
            r.compressa = compressa;
        }
    }

    std::vector<Riga> righe_;
    std::vector<std::unique_ptr<char[]>> blocchi_;
    char* libero_ = nullptr;
    std::size_t resto_ = 0;
    std::size_t occupato_ = 0;  // bytes handed out, live or not
    std::size_t scarto_ = 0;    // of those, no longer part of any line
    QStringEncoder utf8_{QStringEncoder::Utf8, QStringConverter::Flag::Stateless};
    mutable QByteArray espansa_;
};

// The scrollable rows and columns: model row i is grid row FixedRows + i, model column j
// grid column FixedCols + j. The counts are what the view was last told, which lag behind
// the store while painting is suspended; data() checks the store for that reason.
class Griglia::Modello : public QAbstractTableModel {
  public:
    explicit Modello(Griglia& g) : QAbstractTableModel(&g), g_(g) {}

    using QAbstractItemModel::beginInsertColumns;
    using QAbstractItemModel::beginInsertRows;
    using QAbstractItemModel::beginRemoveColumns;
    using QAbstractItemModel::beginRemoveRows;
    using QAbstractItemModel::beginResetModel;
    using QAbstractItemModel::endInsertColumns;
    using QAbstractItemModel::endInsertRows;
    using QAbstractItemModel::endRemoveColumns;
    using QAbstractItemModel::endRemoveRows;
    using QAbstractItemModel::endResetModel;

    int righe = 0;
    int colonne = 0;

    int rowCount(const QModelIndex& p = {}) const override { return p.isValid() ? 0 : righe; }
    int columnCount(const QModelIndex& p = {}) const override { return p.isValid() ? 0 : colonne; }

    QVariant data(const QModelIndex& i, int ruolo) const override {
        const int r = i.row() + g_.fisseR_;
        const int c = i.column() + g_.fisseC_;
        if (ruolo != Qt::DisplayRole || r >= g_.Rows() || c >= g_.colonne_) return {};
        return g_.righe_->Cella(r, c);
    }

    QVariant headerData(int s, Qt::Orientation o, int ruolo) const override {
        if (o != Qt::Horizontal || ruolo != Qt::DisplayRole) return {};
        return g_.TestoFisso(s + g_.fisseC_);
    }

    Qt::ItemFlags flags(const QModelIndex&) const override {
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    }

  private:
    Griglia& g_;
};

// Exactly as tall as the fixed rows, whatever the style would like for its labels.
class Griglia::Intestazione : public QHeaderView {
  public:
    explicit Intestazione(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {}
    int altezza = 0;
    // The view asks only for the height; the base would measure every label's text, each
    // time the grid is filled, for a width nobody reads.
    QSize sizeHint() const override { return {length(), altezza}; }
};

// The fixed columns, left of the scrollable ones: the view's row header, which scrolls up
// and down with the rows and never sideways. Each row's section shows the fixed cells of
// that row side by side, as wide as their columns.
class Griglia::ColonneFisse : public QHeaderView {
  public:
    explicit ColonneFisse(Griglia& g) : QHeaderView(Qt::Vertical, &g), g_(g) {}
    // The view asks only for the width; the base would measure up to two hundred rows' labels,
    // each time rows come, for a height nobody reads.
    QSize sizeHint() const override { return {g_.LarghezzaFisse(), length()}; }
    using QHeaderView::updateSection;

  protected:
    void paintSection(QPainter* p, const QRect& rect, int sezione) const override {
        const int r = sezione + g_.fisseR_;
        g_.DisegnaFisse(*p, *this, rect, [this, r](int c) {
            return r < g_.Rows() ? g_.righe_->Cella(r, c) : QString();
        });
    }

  private:
    Griglia& g_;
};
Griglia::Griglia(QWidget* parent)
    : QTableView(parent),
      righe_(std::make_unique<Righe>()),
      modello_(new Modello(*this)),
      intestazione_(new Intestazione(this)),
      fisse_(new ColonneFisse(*this)) {
    righe_->Ridimensiona(2);
    larghezze_.assign(std::size_t(colonne_), -1);
    modello_->righe = Rows() - fisseR_;
    modello_->colonne = colonne_ - fisseC_;

    QFont carattere(QStringLiteral("MS Sans Serif"));
    carattere.setPointSizeF(8.25);
    carattere.setStyleHint(QFont::SansSerif);
    setFont(carattere);

    setHorizontalHeader(intestazione_);
    setVerticalHeader(fisse_);
    setModel(modello_);
    setSelectionBehavior(SelectRows);
    setSelectionMode(SingleSelection);
    setEditTriggers(NoEditTriggers);
    setTabKeyNavigation(false);  // Tab leaves the grid, as it leaves any control
    setWordWrap(false);
    setTextElideMode(Qt::ElideNone);
    setVerticalScrollMode(ScrollPerItem);
    setHorizontalScrollMode(ScrollPerPixel);

    fisse_->setMinimumSectionSize(1);
    fisse_->setSectionResizeMode(QHeaderView::Fixed);
    fisse_->setSectionsClickable(true);  // a press on a fixed cell chooses its row
    fisse_->setHighlightSections(false);
    // The top left corner holds the headings of the fixed columns; it selects nothing.
    setCornerButtonEnabled(false);
    angolo_ = findChild<QAbstractButton*>(QString(), Qt::FindDirectChildrenOnly);
    if (angolo_) angolo_->installEventFilter(this);
    intestazione_->setSectionResizeMode(QHeaderView::Fixed);
    intestazione_->setSectionsClickable(false);
    intestazione_->setHighlightSections(false);
    intestazione_->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    intestazione_->setTextElideMode(Qt::ElideNone);
    intestazione_->setMinimumSectionSize(1);
    intestazione_->setDefaultSectionSize(toolkit::PixelDaTwipX(kLarghezzaBase));

    viewport()->installEventFilter(this);
    intestazione_->viewport()->installEventFilter(this);
    fisse_->viewport()->installEventFilter(this);
    ApplicaLarghezze();
    ApplicaAltezze();
    MostraCorrente();
}

Griglia::~Griglia() = default;

int Griglia::Rows() const {
    return righe_->Conta();
}

void Griglia::SetRows(int n) {
    n = std::max(0, n);
    const int vecchie = Rows();
    if (n == vecchie) return;
    Dentro d(interno_);
    if (ridisegna_) cima_ = TopRow();
    if (n < fisseR_) {
        fisseR_ = n;
        daRifare_ = true;
        ApplicaAltezze();
    }
    const int f = fisseR_;
    if (ridisegna_ && !daRifare_) {
        if (n > vecchie) {
            modello_->beginInsertRows({}, vecchie - f, n - f - 1);
            righe_->Ridimensiona(n);
            modello_->righe = n - f;
            modello_->endInsertRows();
        } else {
            modello_->beginRemoveRows({}, n - f, vecchie - f - 1);
            righe_->Ridimensiona(n);
            modello_->righe = n - f;
            modello_->endRemoveRows();
        }
    } else {
        righe_->Ridimensiona(n);
        // Rows appended while the view is not told reach it as one insertion.
        if (n < vecchie) daRifare_ = true;
    }
    Sistema();
}

void Griglia::SetCols(int n) {
    n = std::max(0, n);
    const int vecchie = colonne_;
    if (n == vecchie) return;
    Dentro d(interno_);
    if (ridisegna_) cima_ = TopRow();
    if (n < vecchie) righe_->Tronca(n);
    larghezze_.resize(std::size_t(n), -1);
    if (n < fisseC_) {
        fisseC_ = n;
        daRifare_ = true;
    }
    const int f = fisseC_;
    if (ridisegna_ && !daRifare_) {
        if (n > vecchie) {
            modello_->beginInsertColumns({}, vecchie - f, n - f - 1);
            colonne_ = n;
            modello_->colonne = n - f;
            modello_->endInsertColumns();
        } else {
            modello_->beginRemoveColumns({}, n - f, vecchie - f - 1);
            colonne_ = n;
            modello_->colonne = n - f;
            modello_->endRemoveColumns();
        }
        ApplicaLarghezze();
    } else {
        colonne_ = n;
        daRifare_ = true;
    }
    Sistema();
}

void Griglia::SetFixedRows(int n) {
    n = std::clamp(n, 0, Rows());
    if (n == fisseR_) return;
    Dentro d(interno_);
    if (ridisegna_) cima_ = TopRow();
    fisseR_ = n;
    cima_ = std::max(cima_, n);
    daRifare_ = true;
    ApplicaAltezze();
    Sistema();
}

void Griglia::SetFixedCols(int n) {
    n = std::clamp(n, 0, colonne_);
    if (n == fisseC_) return;
    Dentro d(interno_);
    if (ridisegna_) cima_ = TopRow();
    fisseC_ = n;
    daRifare_ = true;
    Sistema();
}

void Griglia::SetRow(int r) {
    if (r < 0 || r >= Rows()) return;
    riga_ = r;
    MostraCorrente();
}

void Griglia::SetCol(int c) {
    if (c < 0 || c >= colonne_) return;
    colonna_ = c;
    MostraCorrente();
}

QString Griglia::TextMatrix(int r, int c) const {
    if (r < 0 || r >= Rows() || c < 0 || c >= colonne_) return {};
    return righe_->Cella(r, c);
}

QByteArrayView Griglia::RowUtf8(int r) const {
    if (r < 0 || r >= Rows()) return {};
    return righe_->LineaUtf8(r);
}

QByteArrayView Griglia::CellaNuda(int r, int c) const {
    if (r < 0 || r >= Rows() || c < 0 || c >= colonne_) return {};
    return righe_->CellaNuda(r, c);
}

void Griglia::SetTextMatrix(int r, int c, const QString& testo) {
    if (r < 0 || r >= Rows() || c < 0 || c >= colonne_) return;
    righe_->ImpostaCella(r, c, testo);
    if (!ridisegna_) {
        testiCambiati_ = true;
    } else if (c < fisseC_) {
        if (r < fisseR_ && angolo_)
            angolo_->update();
        else if (r >= fisseR_)
            fisse_->updateSection(r - fisseR_);
    } else if (r < fisseR_) {
        emit modello_->headerDataChanged(Qt::Horizontal, c - fisseC_, c - fisseC_);
    } else {
        const QModelIndex i = modello_->index(r - fisseR_, c - fisseC_);
        emit modello_->dataChanged(i, i);
    }
}

int Griglia::TopRow() const {
    return ridisegna_ ? fisseR_ + verticalScrollBar()->value() : cima_;
}

void Griglia::SetTopRow(int r) {
    if (ridisegna_)
        ApplicaCima(r);
    else
        cima_ = std::max(r, fisseR_);
}

int Griglia::ColWidth(int c) const {
    if (c < 0 || c >= colonne_) return 0;
    return toolkit::TwipDaPixelX(LarghezzaColonna(c));
}

void Griglia::SetColWidth(int c, int twips) {
    if (c < 0 || c >= colonne_) return;
    larghezze_[std::size_t(c)] = twips < 0 ? -1 : toolkit::PixelDaTwipX(twips);
    ApplicaLarghezze();
}

int Griglia::RowHeight(int r) const {
    if (r < 0 || r >= Rows()) return 0;
    return toolkit::TwipDaPixelY(AltezzaRiga());
}

int Griglia::ColPos(int c) const {
    int x = 0;
    for (int k = 0; k < c && k < colonne_; ++k) x += LarghezzaColonna(k);
    if (c <= fisseC_) return toolkit::TwipDaPixelX(x);
    // A scrollable column scrolled under the fixed ones starts, as far as a click can tell,
    // where the fixed ones end.
    return toolkit::TwipDaPixelX(std::max(x - intestazione_->offset(), LarghezzaFisse()));
}

int Griglia::RowPos(int r) const {
    const int h = AltezzaRiga();
    if (r < fisseR_) return toolkit::TwipDaPixelY(r * h);
    return toolkit::TwipDaPixelY((fisseR_ + r - TopRow()) * h);
}

void Griglia::AddItem(const QString& testo) {
    AddItem(testo, Rows());
}

void Griglia::AddItem(const QString& testo, int r) {
    Aggiungi(r, [&] { righe_->Inserisci(r, QStringView(testo), colonne_); });
}

void Griglia::AddItemCelle(std::span<const QByteArrayView> celle) {
    const int r = Rows();
    Aggiungi(r, [&] { righe_->Inserisci(r, celle, colonne_); });
}

template <typename Inserisci>
void Griglia::Aggiungi(int r, Inserisci inserisci) {
    const int vecchie = Rows();
    if (r < 0 || r > vecchie) return;
    Dentro d(interno_);
    if (ridisegna_ && r >= fisseR_) {
        modello_->beginInsertRows({}, r - fisseR_, r - fisseR_);
        inserisci();
        ++modello_->righe;
        modello_->endInsertRows();
    } else {
        if (ridisegna_) cima_ = TopRow();
        inserisci();
        if (r != vecchie) daRifare_ = true;
    }
    Sistema();
}

void Griglia::RemoveItem(int r) {
    if (r < 0 || r >= Rows()) return;
    Dentro d(interno_);
    if (ridisegna_ && r >= fisseR_) {
        modello_->beginRemoveRows({}, r - fisseR_, r - fisseR_);
        righe_->Rimuovi(r);
        --modello_->righe;
        modello_->endRemoveRows();
    } else {
        if (ridisegna_) cima_ = TopRow();
        righe_->Rimuovi(r);
        if (fisseR_ > Rows()) {
            fisseR_ = Rows();
            ApplicaAltezze();
        }
        daRifare_ = true;
    }
    Sistema();
}

void Griglia::RiordinaRighe(const std::vector<int>& ordine) {
    if (fisseR_ > Rows() || !righe_->Riordina(fisseR_, ordine)) return;
    Dentro d(interno_);
    testiCambiati_ = true;
    if (ridisegna_) Pubblica();
    Sistema();
}

void Griglia::SetRedraw(bool acceso) {
    if (acceso == ridisegna_) {
        if (acceso) viewport()->update();
        return;
    }
    if (!acceso) {
        cima_ = TopRow();
        ridisegna_ = false;
        setUpdatesEnabled(false);
        return;
    }
    ridisegna_ = true;
    {
        Dentro d(interno_);
        Pubblica();
        ApplicaCima(cima_);
    }
    MostraCorrente();
    setUpdatesEnabled(true);
}

QModelIndex Griglia::moveCursor(CursorAction azione, Qt::KeyboardModifiers modificatori) {
    // Ctrl+End goes to the result's last row, not to the last one arrived so far.
    if (azione == MoveEnd && (modificatori & Qt::ControlModifier) && CompletaRighe) CompletaRighe();
    return QTableView::moveCursor(azione, modificatori);
}

bool Griglia::eventFilter(QObject* o, QEvent* e) {
    if (o == angolo_ && e->type() == QEvent::Paint) {
        QPainter p(angolo_);
        DisegnaFisse(p, *angolo_, angolo_->rect(), [this](int c) { return TestoFisso(c); });
        return true;
    }
    if (o == viewport() || o == intestazione_->viewport() || o == fisse_->viewport() ||
        o == angolo_) {
        if (e->type() == QEvent::MouseButtonPress && MouseDown) {
            auto* m = static_cast<QMouseEvent*>(e);
            const QPoint p = static_cast<QWidget*>(o)->mapTo(this, m->position().toPoint()) -
                             contentsRect().topLeft();
            MouseDown(Pulsante(m->button()), StatoMaiuscole(m->modifiers()),
                      toolkit::TwipDaPixelX(p.x()), toolkit::TwipDaPixelY(p.y()));
        } else if (e->type() == QEvent::MouseButtonDblClick && DblClick) {
            DblClick();
        }
    }
    return QTableView::eventFilter(o, e);
}

void Griglia::changeEvent(QEvent* e) {
    QTableView::changeEvent(e);
    if (e->type() == QEvent::FontChange) ApplicaAltezze();
}

void Griglia::focusInEvent(QFocusEvent* e) {
    // The cursor the operator gets is on a row of data, never on the headings the program
    // was writing.
    if (riga_ < fisseR_ && Rows() > fisseR_) {
        riga_ = fisseR_;
        colonna_ = std::max(colonna_, fisseC_);
        MostraCorrente();
    }
    QTableView::focusInEvent(e);
    // Coming back from another window or a popup is not the operator entering the grid.
    const bool ritorno = e->reason() == Qt::PopupFocusReason ||
                         (e->reason() == Qt::ActiveWindowFocusReason && uscitoPerFinestra_);
    uscitoPerFinestra_ = false;
    if (!ritorno && GotFocus) GotFocus();
}

void Griglia::focusOutEvent(QFocusEvent* e) {
    QTableView::focusOutEvent(e);
    uscitoPerFinestra_ = e->reason() == Qt::ActiveWindowFocusReason;
}

void Griglia::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    if (interno_ || !current.isValid()) return;
    riga_ = current.row() + fisseR_;
    colonna_ = current.column() + fisseC_;
}

void Griglia::keyboardSearch(const QString& search) {
    // A typed letter does not jump to a matching row: the forms give letters their own
    // meaning, and a search through a million rows would stall the keyboard.
    (void)search;
}

int Griglia::AltezzaRiga() const {
    return std::max(toolkit::PixelDaTwipY(kAltezzaBase), fontMetrics().height() + 2);
}

int Griglia::LarghezzaColonna(int c) const {
    const int w = larghezze_[std::size_t(c)];
    return w < 0 ? intestazione_->defaultSectionSize() : w;
}

int Griglia::LarghezzaFisse() const {
    int x = 0;
    for (int c = 0; c < fisseC_ && c < colonne_; ++c) x += LarghezzaColonna(c);
    return x;
}

QString Griglia::TestoFisso(int c) const {
    QString testo;
    for (int r = 0; r < fisseR_ && r < Rows(); ++r) {
        if (r > 0) testo += '\n';
        testo += righe_->Cella(r, c);
    }
    return testo;
}

void Griglia::DisegnaFisse(QPainter& p, const QWidget& su, const QRect& rect,
                           const std::function<QString(int)>& testo) const {
    int x = rect.left();
    for (int c = 0; c < fisseC_ && c < colonne_; ++c) {
        const int w = LarghezzaColonna(c);
        if (w == 0) continue;
        QStyleOptionHeader o;
        // The grid's colours and state: the corner is a disabled button only so that a
        // click there selects nothing.
        o.initFrom(this);
        o.state &= ~(QStyle::State_HasFocus | QStyle::State_MouseOver);
        o.rect = QRect(x, rect.top(), w, rect.height());
        o.text = testo(c);
        o.textAlignment = Qt::AlignLeft | Qt::AlignVCenter;
        o.orientation = Qt::Horizontal;
        o.position = QStyleOptionHeader::Middle;
        su.style()->drawControl(QStyle::CE_Header, &o, &p, &su);
        x += w;
    }
}

void Griglia::ApplicaLarghezze() {
    for (int j = 0; j < modello_->colonne; ++j) {
        const int w = LarghezzaColonna(j + fisseC_);
        setColumnHidden(j, w == 0);
        if (w > 0) setColumnWidth(j, w);
    }
    fisse_->setVisible(LarghezzaFisse() > 0);
    fisse_->updateGeometry();
    updateGeometries();
    fisse_->viewport()->update();
    if (angolo_) angolo_->update();
}

void Griglia::ApplicaAltezze() {
    const int h = AltezzaRiga();
    verticalHeader()->setDefaultSectionSize(h);
    intestazione_->altezza = fisseR_ * h;
    intestazione_->setVisible(fisseR_ > 0);
    updateGeometries();
}

void Griglia::ApplicaCima(int r) {
    const int valore = std::max(0, r - fisseR_);
    // At the top already: the rows told to the view have laid it out again (a search adds
    // them below the first screen, several times).
    if (valore == 0 && verticalScrollBar()->value() == 0) return;
    updateGeometries();
    verticalScrollBar()->setValue(valore);
}

void Griglia::MostraCorrente() {
    if (!ridisegna_) return;
    Dentro d(interno_);
    // Moving the current cell from the program leaves the scrolling alone.
    const bool scorre = hasAutoScroll();
    setAutoScroll(false);
    QItemSelectionModel* s = selectionModel();
    // On a fixed column the view's cursor stands on the row's first scrollable cell.
    if (riga_ >= fisseR_ && riga_ < Rows() && colonna_ < colonne_ && modello_->colonne > 0) {
        s->setCurrentIndex(modello_->index(riga_ - fisseR_, std::max(0, colonna_ - fisseC_)),
                           QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    } else {
        s->clearSelection();
        s->clearCurrentIndex();
    }
    setAutoScroll(scorre);
}

// Brings the view up to date with the store after changes it was not told of.
void Griglia::Pubblica() {
    const int righe = std::max(0, Rows() - fisseR_);
    if (daRifare_) {
        modello_->beginResetModel();
        modello_->righe = righe;
        modello_->colonne = std::max(0, colonne_ - fisseC_);
        daRifare_ = testiCambiati_ = false;
        modello_->endResetModel();
        ApplicaLarghezze();
        ApplicaAltezze();
        return;
    }
    if (righe > modello_->righe) {
        modello_->beginInsertRows({}, modello_->righe, righe - 1);
        modello_->righe = righe;
        modello_->endInsertRows();
    }
    if (testiCambiati_) {
        testiCambiati_ = false;
        const int colonne = modello_->colonne;
        if (righe > 0 && colonne > 0)
            emit modello_->dataChanged(modello_->index(0, 0),
                                       modello_->index(righe - 1, colonne - 1));
        if (colonne > 0) emit modello_->headerDataChanged(Qt::Horizontal, 0, colonne - 1);
        fisse_->viewport()->update();
        if (angolo_) angolo_->update();
    }
}

// After a change of rows or columns: the current cell stays inside the grid and the view
// catches up at once unless painting is suspended.
void Griglia::Sistema() {
    riga_ = std::clamp(riga_, 0, std::max(0, Rows() - 1));
    colonna_ = std::clamp(colonna_, 0, std::max(0, colonne_ - 1));
    // Rows taken away take the top with them, as the view's scroll bar would: a grid
    // emptied and filled again while it is not painted starts at its top.
    cima_ = std::clamp(cima_, fisseR_, std::max(fisseR_, Rows() - 1));
    if (!ridisegna_) return;
    if (daRifare_) {
        Dentro d(interno_);
        Pubblica();
        ApplicaCima(cima_);
    }
    MostraCorrente();
}

void SvuotaGriglia(Griglia& g) {
    const bool acceso = g.Redraw();
    g.SetRedraw(false);
    g.AddItem(QStringLiteral(" "), g.FixedRows());
    g.SetRows(g.FixedRows() + 1);
    g.SetRedraw(acceso);
}
