#pragma once

// The search's result grid: a flex grid's numbering (fixed rows and columns, twips) over a
// Qt view, holding up to millions of rows compactly, for forms written against that grid.

#include <QString>
#include <QTableView>

class QAbstractButton;
class QPainter;

#include <functional>
#include <memory>
#include <span>
#include <vector>

// The result grid of the search forms, numbered and driven the way the forms drive a flex
// grid: rows 0..Rows-1 and columns 0..Cols-1 count the fixed (heading) rows and columns,
// positions and sizes are in twips.
//
// Every row, fixed ones included, lives in one compact store; the Qt model shows only the
// scrollable cells (grid row FixedRows + i is model row i, grid column FixedCols + j model
// column j). The fixed rows are the view's column header, one text line per fixed row, its
// height exactly FixedRows row heights; the fixed columns are its row header, as wide as
// they are; their headings stand in the corner between the two. So headings and fixed
// columns never scroll away and the cursor never reaches them, TopRow is FixedRows plus the
// scroll bar's value (the view scrolls a whole row at a time) and RowPos(TopRow) is the
// header's bottom.
//
// Coordinates (ColPos, RowPos, MouseDown) start at the top left corner inside the border,
// which is the header's own top left corner.
class Griglia : public QTableView {
    Q_OBJECT

  public:
    explicit Griglia(QWidget* parent = nullptr);
    ~Griglia() override;

    int Rows() const;
    // Fewer drops the rows at the end, more appends empty rows.
    void SetRows(int n);
    int Cols() const { return colonne_; }
    void SetCols(int n);
    int FixedRows() const { return fisseR_; }
    void SetFixedRows(int n);
    int FixedCols() const { return fisseC_; }
    void SetFixedCols(int n);

    // The current cell; a fixed row may be current too (that is how headings get written).
    int Row() const { return riga_; }
    void SetRow(int r);
    int Col() const { return colonna_; }
    void SetCol(int c);
    QString Text() const { return TextMatrix(riga_, colonna_); }
    void SetText(const QString& testo) { SetTextMatrix(riga_, colonna_, testo); }
    QString TextMatrix(int r, int c) const;
    // The whole row in UTF-8, cells split by tabs, as AddItem takes it; valid until the grid
    // changes or is read again.
    QByteArrayView RowUtf8(int r) const;
    // A cell's UTF-8 without the blanks that end it, read in place: valid until the grid
    // changes. What a sort compares.
    QByteArrayView CellaNuda(int r, int c) const;
    void SetTextMatrix(int r, int c, const QString& testo);

    // The first scrollable row shown; it never goes past the point where the last row is
    // at the bottom.
    int TopRow() const;
    void SetTopRow(int r);

    // Twips. Width 0 hides the column.
    int ColWidth(int c) const;
    void SetColWidth(int c, int twips);
    int RowHeight(int r) const;
    int ColPos(int c) const;
    int RowPos(int r) const;

    // A row whose cells, from column 0, are the tab-separated pieces of the text; pieces
    // beyond the last column are dropped.
    void AddItem(const QString& testo);
    void AddItem(const QString& testo, int r);
    // The same, appended, from its cells already in UTF-8 (as if joined by tabs): the way a
    // long result is loaded.
    void AddItemCelle(std::span<const QByteArrayView> celle);
    void RemoveItem(int r);
    // Row FixedRows + i becomes the row that was FixedRows + ordine[i], for every scrollable
    // row; the lines are not copied. An order that is not one of the rows changes nothing.
    void RiordinaRighe(const std::vector<int>& ordine);

    // While off, nothing is painted and the view hears of the changes only on resume, at
    // once.
    bool Redraw() const { return ridisegna_; }
    void SetRedraw(bool acceso);

    // button 1 left, 2 right, 4 middle; shift 1 Shift, 2 Ctrl, 4 Alt; x and y in twips.
    // Runs before the grid acts on the press.
    std::function<void(int button, int shift, int x, int y)> MouseDown;
    std::function<void()> DblClick;
    std::function<void()> GotFocus;
    // Fetches the rows still on their way, before someone reads the grid whole or goes to
    // its last row.
    std::function<void()> CompletaRighe;

  protected:
    bool eventFilter(QObject* o, QEvent* e) override;
    void changeEvent(QEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void keyboardSearch(const QString& search) override;
    QModelIndex moveCursor(CursorAction azione, Qt::KeyboardModifiers modificatori) override;

  private:
    class Righe;
    class Modello;
    class Intestazione;
    class ColonneFisse;

    int AltezzaRiga() const;  // pixels
    int LarghezzaColonna(int c) const;
    int LarghezzaFisse() const;  // pixels
    // The fixed rows' texts of column c, one line each.
    QString TestoFisso(int c) const;
    // Paints the fixed columns' cells side by side across `rect` of `su`.
    void DisegnaFisse(QPainter& p, const QWidget& su, const QRect& rect,
                      const std::function<QString(int)>& testo) const;
    void ApplicaLarghezze();
    void ApplicaAltezze();
    void ApplicaCima(int r);
    void MostraCorrente();
    void Pubblica();
    void Sistema();
    template <typename Inserisci>
    void Aggiungi(int r, Inserisci inserisci);

    std::unique_ptr<Righe> righe_;
    Modello* modello_;  // owned by the view, which outlives its members
    Intestazione* intestazione_;
    ColonneFisse* fisse_;
    QAbstractButton* angolo_ = nullptr;  // the view's top left corner
    int colonne_ = 2;
    int fisseR_ = 1;
    int fisseC_ = 1;
    int riga_ = 1;
    int colonna_ = 1;
    int cima_ = 1;                // TopRow while the view is not told
    std::vector<int> larghezze_;  // pixels, -1 for the default
    bool ridisegna_ = true;
    bool daRifare_ = false;       // the view must be reset on resume
    bool testiCambiati_ = false;  // cells changed while painting was off
    bool interno_ = false;        // the view's current index is being moved by the grid
    bool uscitoPerFinestra_ = false;
};

// Leaves the fixed rows and one blank row, as a search form does before filling the grid.
void SvuotaGriglia(Griglia& g);
