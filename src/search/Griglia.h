#pragma once

#include <QTableView>

#include <functional>
#include <memory>

class ModelloGriglia;

// The result grid, numbered as the classic flex grid: rows 0..Rows()-1 and columns
// 0..Cols()-1 count the fixed ones, row 0 being the headings. The headings are the view's
// header, so they stay in sight while the rows scroll; the rows live in a model of our own,
// one compact line each, and only the rows in sight are ever turned into cells.
class Griglia : public QTableView {
    Q_OBJECT

  public:
    explicit Griglia(QWidget* parent = nullptr);
    ~Griglia() override;

    int Rows() const;
    void SetRows(int n);
    int Cols() const;
    void SetCols(int n);
    int FixedRows() const { return 1; }
    int FixedCols() const { return 1; }

    int Row() const { return row_; }
    void SetRow(int r);
    int Col() const { return col_; }
    void SetCol(int c);
    QString Text() const { return TextMatrix(row_, col_); }
    void SetText(const QString& testo) { SetTextMatrix(row_, col_, testo); }
    QString TextMatrix(int r, int c) const;
    void SetTextMatrix(int r, int c, const QString& testo);

    // The first scrollable row in sight.
    int TopRow() const;
    void SetTopRow(int r);

    // In twips; a column of width 0 is hidden.
    int ColWidth(int c) const;
    void SetColWidth(int c, int twips);
    // Left edge of a column and top edge of a row, in twips from the grid's own edges.
    int ColPos(int c) const;
    int RowPos(int r) const;

    // A row whose cells are the tab-separated pieces of the text: appended, or made row r.
    void AddItem(const QString& testo);
    void AddItem(const QString& testo, int r);
    void RemoveItem(int r);

    // While off, rows come and go without painting or per-row notifications.
    void SetRedraw(bool attivo);
    bool Redraw() const { return redraw_; }

    // A mouse button pressed on the grid, before the grid acts on it: button 1 left, 2 right,
    // 4 middle; shift 1 Shift, 2 Ctrl, 4 Alt; x and y in twips from the grid's edges.
    std::function<void(int pulsante, int shift, int x, int y)> MouseDown;

  protected:
    bool eventFilter(QObject* o, QEvent* e) override;
    void currentChanged(const QModelIndex& attuale, const QModelIndex& precedente) override;

  private:
    void MostraCorrente();

    std::unique_ptr<ModelloGriglia> modello_;
    int row_ = 0;
    int col_ = 0;
    bool redraw_ = true;
};

// Leaves the fixed rows and one blank row.
void SvuotaGriglia(Griglia& g);
