#include "search/Griglia.h"

#include "app/Toolkit.h"

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QMouseEvent>
#include <QScrollBar>

#include <vector>

// Row 0 (the headings) is the header; grid row r is model row r - 1. Each row is kept as
// its tab-joined UTF-8 bytes: a million clients fit in a fraction of what cells would take.
class ModelloGriglia : public QAbstractTableModel {
  public:
    int rowCount(const QModelIndex& padre = {}) const override {
        return padre.isValid() ? 0 : int(righe_.size()) - 1;
    }
    int columnCount(const QModelIndex& padre = {}) const override {
        return padre.isValid() ? 0 : colonne_;
    }
    QVariant data(const QModelIndex& i, int ruolo) const override {
        if (ruolo != Qt::DisplayRole || !i.isValid()) return {};
        return Cella(i.row() + 1, i.column());
    }
    QVariant headerData(int sezione, Qt::Orientation o, int ruolo) const override {
        if (ruolo != Qt::DisplayRole || o != Qt::Horizontal) return {};
        return Cella(0, sezione);
    }

    QString Cella(int r, int c) const {
        if (r < 0 || r >= int(righe_.size()) || c < 0) return {};
        const QByteArray& riga = righe_[size_t(r)];
        qsizetype inizio = 0;
        for (int k = 0; k < c; ++k) {
            inizio = riga.indexOf('\t', inizio);
            if (inizio < 0) return {};
            ++inizio;
        }
        qsizetype fine = riga.indexOf('\t', inizio);
        if (fine < 0) fine = riga.size();
        return QString::fromUtf8(riga.constData() + inizio, fine - inizio);
    }
    void ImpostaCella(int r, int c, const QString& testo) {
        QStringList celle = QString::fromUtf8(righe_[size_t(r)]).split(u'\t');
        while (celle.size() <= c) celle << QString();
        celle[c] = QString(testo).replace(u'\t', u' ');
        righe_[size_t(r)] = celle.join(u'\t').toUtf8();
        if (!muto_) {
            if (r == 0)
                emit headerDataChanged(Qt::Horizontal, c, c);
            else
                emit dataChanged(index(r - 1, c), index(r - 1, c));
        }
    }

    int Righe() const { return int(righe_.size()); }
    void Ridimensiona(int n) {
        n = std::max(n, 1);
        const int prima = Righe();
        if (n == prima) return;
        if (muto_) {
            righe_.resize(size_t(n));
            return;
        }
        if (n > prima) {
            beginInsertRows({}, prima - 1, n - 2);
            righe_.resize(size_t(n));
            endInsertRows();
        } else {
            beginRemoveRows({}, n - 1, prima - 2);
            righe_.resize(size_t(n));
            endRemoveRows();
        }
    }
    void Inserisci(int r, QByteArray riga) {
        r = std::clamp(r, 1, Righe());
        if (!muto_) beginInsertRows({}, r - 1, r - 1);
        righe_.insert(righe_.begin() + r, std::move(riga));
        if (!muto_) endInsertRows();
    }
    void Togli(int r) {
        if (r < 1 || r >= Righe()) return;
        if (!muto_) beginRemoveRows({}, r - 1, r - 1);
        righe_.erase(righe_.begin() + r);
        if (!muto_) endRemoveRows();
    }
    void Colonne(int n) {
        beginResetModel();
        colonne_ = std::max(n, 1);
        endResetModel();
    }
    // Silent changes are told to the view as one reset once painting resumes.
    void Muto(bool si) {
        if (si == muto_) return;
        if (si) {
            beginResetModel();
            muto_ = true;
        } else {
            muto_ = false;
            endResetModel();
        }
    }

  private:
    std::vector<QByteArray> righe_{QByteArray()};
    int colonne_ = 2;
    bool muto_ = false;
};

namespace {

int Twip(int pixelX) {
    return toolkit::TwipDaPixelX(pixelX);
}

}  // namespace

Griglia::Griglia(QWidget* parent) : QTableView(parent), modello_(new ModelloGriglia) {
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPointSizeF(8.25);
    f.setStyleHint(QFont::SansSerif);
    setFont(f);
    setModel(modello_.get());
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(QFontMetrics(f).height() + 4);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setMinimumSectionSize(0);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    setTabKeyNavigation(false);
    viewport()->installEventFilter(this);
    horizontalHeader()->installEventFilter(this);
    SetRows(2);
}

Griglia::~Griglia() {
    setModel(nullptr);
}

int Griglia::Rows() const {
    return modello_->Righe();
}

void Griglia::SetRows(int n) {
    modello_->Ridimensiona(n);
    row_ = std::min(row_, Rows() - 1);
}

int Griglia::Cols() const {
    return modello_->columnCount();
}

void Griglia::SetCols(int n) {
    std::vector<int> larghezze;
    for (int c = 0; c < std::min(n, Cols()); ++c) larghezze.push_back(columnWidth(c));
    modello_->Colonne(n);
    for (int c = 0; c < int(larghezze.size()); ++c) setColumnWidth(c, larghezze[size_t(c)]);
    col_ = std::min(col_, Cols() - 1);
}

void Griglia::SetRow(int r) {
    row_ = std::clamp(r, 0, Rows() - 1);
    MostraCorrente();
}

void Griglia::SetCol(int c) {
    col_ = std::clamp(c, 0, Cols() - 1);
    MostraCorrente();
}

void Griglia::MostraCorrente() {
    if (row_ < FixedRows() || !redraw_) return;
    const QModelIndex i = modello_->index(row_ - 1, col_);
    const int r = row_, c = col_;
    selectionModel()->setCurrentIndex(
        i, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    row_ = r;
    col_ = c;
}

void Griglia::currentChanged(const QModelIndex& attuale, const QModelIndex& precedente) {
    QTableView::currentChanged(attuale, precedente);
    if (!attuale.isValid()) return;
    row_ = attuale.row() + 1;
    col_ = attuale.column();
}

QString Griglia::TextMatrix(int r, int c) const {
    return modello_->Cella(r, c);
}

void Griglia::SetTextMatrix(int r, int c, const QString& testo) {
    if (r < 0 || r >= Rows() || c < 0 || c >= Cols()) return;
    modello_->ImpostaCella(r, c, testo);
}

int Griglia::TopRow() const {
    const int primo = rowAt(0);
    return primo < 0 ? FixedRows() : primo + 1;
}

void Griglia::SetTopRow(int r) {
    if (r < FixedRows() || r >= Rows()) return;
    scrollTo(modello_->index(r - 1, 0), QAbstractItemView::PositionAtTop);
}

int Griglia::ColWidth(int c) const {
    return isColumnHidden(c) ? 0 : Twip(columnWidth(c));
}

void Griglia::SetColWidth(int c, int twips) {
    const int pixel = toolkit::PixelDaTwipX(twips);
    setColumnHidden(c, pixel <= 0);
    if (pixel > 0) setColumnWidth(c, pixel);
}

int Griglia::ColPos(int c) const {
    if (c <= 0) return 0;
    int x = columnViewportPosition(c);
    if (x < 0) {
        // Scrolled out of sight or hidden: the sum of the widths before it.
        x = -horizontalScrollBar()->value();
        for (int k = 0; k < c; ++k) x += isColumnHidden(k) ? 0 : columnWidth(k);
    }
    return Twip(x + frameWidth());
}

int Griglia::RowPos(int r) const {
    const int testata = frameWidth() + horizontalHeader()->height();
    if (r < FixedRows()) return 0;
    const int y = rowViewportPosition(r - 1);
    return toolkit::TwipDaPixelY(testata + std::max(y, 0));
}

void Griglia::AddItem(const QString& testo) {
    AddItem(testo, Rows());
}

void Griglia::AddItem(const QString& testo, int r) {
    modello_->Inserisci(r, testo.toUtf8());
}

void Griglia::RemoveItem(int r) {
    modello_->Togli(r);
    row_ = std::min(row_, Rows() - 1);
}

void Griglia::SetRedraw(bool attivo) {
    if (attivo == redraw_) return;
    redraw_ = attivo;
    modello_->Muto(!attivo);
    setUpdatesEnabled(attivo);
    if (attivo) MostraCorrente();
}

bool Griglia::eventFilter(QObject* o, QEvent* e) {
    if (e->type() == QEvent::MouseButtonPress && MouseDown &&
        (o == viewport() || o == horizontalHeader())) {
        auto* m = static_cast<QMouseEvent*>(e);
        const QPoint p = static_cast<QWidget*>(o)->mapTo(this, m->position().toPoint());
        const int pulsante = m->button() == Qt::RightButton    ? 2
                             : m->button() == Qt::MiddleButton ? 4
                                                               : 1;
        int shift = 0;
        if (m->modifiers() & Qt::ShiftModifier) shift |= 1;
        if (m->modifiers() & Qt::ControlModifier) shift |= 2;
        if (m->modifiers() & Qt::AltModifier) shift |= 4;
        MouseDown(pulsante, shift, Twip(p.x()), toolkit::TwipDaPixelY(p.y()));
    }
    return QTableView::eventFilter(o, e);
}

void SvuotaGriglia(Griglia& g) {
    g.SetRedraw(false);
    g.AddItem(QStringLiteral(" "), g.FixedRows());
    g.SetRows(g.FixedRows() + 1);
    g.SetRedraw(true);
}
