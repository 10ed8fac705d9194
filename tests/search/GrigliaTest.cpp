#include "search/Griglia.h"

#include "app/Toolkit.h"

#include <QAbstractButton>
#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

namespace {

using toolkit::PixelDaTwipX;
using toolkit::PixelDaTwipY;

// A line of ten cells as the search form writes them: code first, in the fixed column.
QString Cliente(int i) {
    QStringList celle{QString::number(i), QString("CLIENTE %1").arg(i)};
    for (int c = 2; c < 10; ++c) celle << QString("C%1R%2").arg(c).arg(i);
    return celle.join('\t');
}

class GrigliaTest : public ::testing::Test {
  protected:
    GrigliaTest() {
        auto* layout = new QVBoxLayout(&finestra);
        layout->addWidget(altro);
        layout->addWidget(g);
        finestra.resize(500, 300);
        g->SetCols(10);
        for (int c = 0; c < 10; ++c) g->SetTextMatrix(0, c, QString("Titolo %1").arg(c));
        SvuotaGriglia(*g);
    }
    void Mostra() {
        finestra.show();
        finestra.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&finestra));
    }
    void Riempi(int n) {
        g->SetRedraw(false);
        for (int i = 1; i <= n; ++i) g->AddItem(Cliente(i));
        g->SetRedraw(true);
    }
    int RigheNelModello() const { return g->model()->rowCount(); }
    // What the view shows in a scrollable cell, or in a scrollable column's heading.
    QString Vista(int r, int c) const {
        return g->model()->index(r - g->FixedRows(), c - g->FixedCols()).data().toString();
    }
    QString Titolo(int c) const {
        return g->model()->headerData(c - g->FixedCols(), Qt::Horizontal).toString();
    }

    QWidget finestra;
    QLineEdit* altro = new QLineEdit;
    Griglia* g = new Griglia;
};

TEST_F(GrigliaTest, RigheInseriteTolteEContate) {
    EXPECT_EQ(g->Rows(), 2) << "emptied: the headings and one blank row";
    EXPECT_EQ(g->TextMatrix(1, 0), " ");
    EXPECT_EQ(RigheNelModello(), 1);
    EXPECT_EQ(Titolo(3), "Titolo 3");
    Riempi(3);  // blank, 1, 2, 3
    g->AddItem("X\tIN MEZZO", 2);
    EXPECT_EQ(g->Rows(), 6);
    EXPECT_EQ(g->TextMatrix(2, 1), "IN MEZZO");
    EXPECT_EQ(g->TextMatrix(2, 5), "") << "a short line leaves the rest empty";
    EXPECT_EQ(g->TextMatrix(3, 1), "CLIENTE 1");

    g->RemoveItem(3);
    EXPECT_EQ(g->TextMatrix(3, 1), "CLIENTE 2");
    EXPECT_EQ(RigheNelModello(), 4);

    g->SetRows(3);
    EXPECT_EQ(g->TextMatrix(2, 1), "IN MEZZO");
    g->SetRows(6);
    EXPECT_EQ(RigheNelModello(), 5);
    EXPECT_EQ(g->TextMatrix(2, 1), "IN MEZZO");
    EXPECT_EQ(g->TextMatrix(5, 0), "");

    // Pieces past the last column are dropped, and stay dropped when the grid widens.
    g->SetCols(3);
    g->AddItem("a\tb\tc\td");
    g->SetCols(4);
    EXPECT_EQ(g->TextMatrix(6, 2), "c");
    EXPECT_EQ(g->TextMatrix(6, 3), "");
    EXPECT_EQ(g->TextMatrix(0, 3), "") << "narrowing lost the heading";
    EXPECT_EQ(g->model()->columnCount(), 3) << "the fixed column is not the model's";

    // Changes made with painting off reach the view on resume, whatever their kind.
    g->SetRedraw(false);
    g->RemoveItem(1);
    g->AddItem("Z\tPRIMO", 1);
    g->SetTextMatrix(0, 1, "Nome");
    g->AddItem("Y\tULTIMO");
    EXPECT_EQ(RigheNelModello(), 6) << "the view is not told yet";
    g->SetRedraw(true);
    EXPECT_EQ(RigheNelModello(), g->Rows() - 1);
    EXPECT_EQ(Vista(1, 1), "PRIMO");
    EXPECT_EQ(Vista(g->Rows() - 1, 1), "ULTIMO");
    EXPECT_EQ(Titolo(1), "Nome");

    // Enough text to be compacted away: the headings and the new lines survive it.
    Riempi(20'000);
    SvuotaGriglia(*g);
    EXPECT_EQ(g->Rows(), 2);
    Riempi(2);
    EXPECT_EQ(g->TextMatrix(0, 1), "Nome");
    EXPECT_EQ(g->TextMatrix(3, 1), "CLIENTE 2");
    EXPECT_EQ(RigheNelModello(), 3);
}

TEST_F(GrigliaTest, CellaCorrenteETesti) {
    Riempi(3);
    g->RemoveItem(1);
    g->SetRow(2);
    g->SetCol(4);
    EXPECT_EQ(g->Text(), "C4R2");
    EXPECT_EQ(g->currentIndex().row(), 1) << "grid row 2 is the view's second row";
    EXPECT_EQ(g->currentIndex().column(), 3) << "grid column 4 is the model's fourth";
    EXPECT_TRUE(g->selectionModel()->isRowSelected(1, {}));

    g->SetText("Società\tSNC");
    EXPECT_EQ(g->Text(), "Società SNC");
    EXPECT_EQ(g->TextMatrix(2, 3), "C3R2");
    EXPECT_EQ(g->TextMatrix(2, 5), "C5R2");
    EXPECT_EQ(Vista(2, 4), "Società SNC");

    // Past the end of a short line.
    g->SetTextMatrix(1, 7, "sette");
    EXPECT_EQ(g->TextMatrix(1, 7), "sette");
    EXPECT_EQ(g->TextMatrix(1, 0), "1");
    EXPECT_EQ(g->TextMatrix(1, 6), "C6R1");
    g->AddItem("X\tcorta");
    g->SetTextMatrix(4, 8, "otto");
    EXPECT_EQ(g->TextMatrix(4, 8), "otto");
    EXPECT_EQ(g->TextMatrix(4, 7), "");
    EXPECT_EQ(g->TextMatrix(4, 1), "corta");

    // A heading is written through the current cell too.
    g->SetRow(0);
    g->SetText("Ragione sociale");
    EXPECT_EQ(Titolo(4), "Ragione sociale");
    EXPECT_FALSE(g->currentIndex().isValid());

    // Out of range is ignored.
    g->SetRow(9);
    EXPECT_EQ(g->Row(), 0);
    g->SetRow(4);
    g->SetRows(3);
    EXPECT_EQ(g->Row(), 2) << "the current row stays inside the grid";
}

// Fixed-width fields come padded with blanks; every reading gives them back as written,
// whichever way the line came in and however it was changed after.
TEST_F(GrigliaTest, IBianchiTornanoComeScritti) {
    const QString lunghi(200, ' ');
    const std::vector<QStringList> righe{
        {"  7", "VIA ROMA 1" + QString(25, ' '), "40063    ", "IT ", "", "   "},
        {"1", "A  B   C" + lunghi, QString(127, ' '), QString(128, ' '), "x"},
        {"2", QStringLiteral("\x01 codice   \x01"), "fine   "},
        {"3", QStringLiteral("Società    à"), "\x7f   \x80"},
    };
    for (const QStringList& celle : righe) {
        const QString testo = celle.join('\t');
        g->AddItem(testo);
        std::vector<QByteArray> utf8;
        for (const QString& c : celle) utf8.push_back(c.toUtf8());
        g->AddItemCelle(std::vector<QByteArrayView>(utf8.begin(), utf8.end()));
    }
    for (int i = 0; i < int(righe.size()) * 2; ++i) {
        const QStringList& celle = righe[size_t(i / 2)];
        const int r = 2 + i;
        EXPECT_EQ(g->RowUtf8(r), celle.join('\t').toUtf8()) << r;
        for (int c = 0; c < celle.size(); ++c) {
            EXPECT_EQ(g->TextMatrix(r, c), celle[c]) << r << c;
            // What a sort compares: the cell in place, without the blanks that end it.
            QString nuda = celle[c];
            while (nuda.endsWith(' ')) nuda.chop(1);
            EXPECT_EQ(g->CellaNuda(r, c), nuda.toUtf8()) << r << c;
        }
    }
    EXPECT_EQ(Vista(2, 1), righe[0][1]);
    g->SetTextMatrix(4, 1, "   NUOVO   ");
    EXPECT_EQ(g->TextMatrix(4, 1), "   NUOVO   ");
    EXPECT_EQ(g->TextMatrix(4, 2), QString(127, ' '));
    EXPECT_EQ(g->TextMatrix(4, 4), "x");
    g->SetCols(3);
    EXPECT_EQ(g->TextMatrix(5, 2), QString(127, ' '));
    EXPECT_EQ(g->TextMatrix(2, 2), "40063    ");

    // Sorted, the lines move whole; a list that is not an order of the rows moves none.
    std::vector<int> ordine(size_t(g->Rows() - 1));
    std::iota(ordine.rbegin(), ordine.rend(), 0);
    const QByteArray ultima = g->RowUtf8(g->Rows() - 1).toByteArray();
    for (int volte = 0; volte < 2; ++volte, ordine[0] = 0) g->RiordinaRighe(ordine);
    EXPECT_EQ(g->RowUtf8(1), ultima);
    EXPECT_EQ(g->TextMatrix(g->Rows() - 1, 0), " ");
}

TEST_F(GrigliaTest, MisureInTwip) {
    Mostra();
    g->SetColWidth(0, 300);
    g->SetColWidth(1, 1500);
    g->SetColWidth(2, 0);
    g->SetColWidth(3, 1200);
    EXPECT_TRUE(g->isColumnHidden(2 - g->FixedCols()));
    EXPECT_EQ(g->ColPos(3), g->ColWidth(0) + g->ColWidth(1));
    EXPECT_EQ(g->ColPos(4), g->ColPos(3) + g->ColWidth(3));
    // Where the columns are drawn: the fixed one in the row header, the others after it.
    EXPECT_EQ(g->verticalHeader()->width(), PixelDaTwipX(g->ColWidth(0)));
    EXPECT_EQ(PixelDaTwipX(g->ColPos(3)),
              g->verticalHeader()->width() + g->columnViewportPosition(3 - g->FixedCols()));

    const int alta = g->RowHeight(0);
    EXPECT_EQ(g->TopRow(), 1);
    EXPECT_EQ(g->RowPos(g->TopRow()), alta);
    EXPECT_EQ(PixelDaTwipY(alta), g->horizontalHeader()->height());

    Riempi(200);
    g->SetTopRow(50);
    EXPECT_EQ(g->TopRow(), 50);
    EXPECT_EQ(g->RowPos(50), alta);
    EXPECT_EQ(g->RowPos(52), 3 * alta);
    EXPECT_EQ(g->rowAt(0), 49) << "grid row 50 is the first row in the viewport";

    // No further than the last row at the bottom.
    g->SetTopRow(10'000);
    EXPECT_EQ(g->TopRow(), 1 + g->verticalScrollBar()->maximum());
    EXPECT_GT(g->TopRow(), 150);
    const int fondo =
        toolkit::TwipDaPixelY(g->horizontalHeader()->height() + g->viewport()->height());
    EXPECT_LE(g->RowPos(g->Rows() - 1) + alta, fondo) << "the last row is in view";
    EXPECT_GT(g->RowPos(g->Rows() - 1) + 2 * alta, fondo) << "and at the bottom";

    // Remembered while painting is off and applied on resume.
    g->SetRedraw(false);
    g->SetTopRow(20);
    EXPECT_EQ(g->TopRow(), 20);
    g->SetRedraw(true);
    EXPECT_EQ(g->TopRow(), 20);
    // A grid emptied and filled again while painting is off starts at its top.
    g->SetRedraw(false);
    SvuotaGriglia(*g);
    for (int i = 1; i <= 100; ++i) g->AddItem(Cliente(i));
    g->SetRedraw(true);
    EXPECT_EQ(g->TopRow(), 1);
    Riempi(100);
    g->SetTopRow(20);

    // Scrolled all the way right, the code column is still where it was, and a click on it is
    // still a click on it; the scrollable columns start after it.
    g->SetColWidth(0, 720);
    for (int c = 1; c < 10; ++c) g->SetColWidth(c, 3000);
    const QRect fissa = g->verticalHeader()->geometry();
    EXPECT_EQ(fissa.width(), PixelDaTwipX(720));
    g->horizontalScrollBar()->setValue(g->horizontalScrollBar()->maximum());
    QApplication::processEvents();
    ASSERT_GT(g->horizontalScrollBar()->value(), 0);
    EXPECT_EQ(g->verticalHeader()->geometry(), fissa);
    EXPECT_TRUE(g->verticalHeader()->isVisible());
    EXPECT_EQ(g->ColPos(0), 0);
    for (int c = 1; c < 10; ++c) EXPECT_GE(g->ColPos(c), 720) << c;
    EXPECT_EQ(PixelDaTwipX(g->ColPos(9)),
              fissa.width() + g->columnViewportPosition(9 - g->FixedCols()));

    // The fixed cells show the rows they stand beside as the rows scroll.
    g->SetTopRow(30);
    EXPECT_EQ(g->verticalHeader()->logicalIndexAt(1), 29) << "grid row 30 at the top";
}

TEST_F(GrigliaTest, MouseEDoppioClic) {
    Riempi(5);
    Mostra();
    g->SetColWidth(0, 300);
    g->SetColWidth(1, 1500);

    struct Pressione {
        int button, shift, x, y, riga;
    };
    std::vector<Pressione> pressioni;
    g->MouseDown = [&](int button, int shift, int x, int y) {
        pressioni.push_back({button, shift, x, y, g->Row()});
    };
    int doppi = 0;
    g->DblClick = [&] { ++doppi; };

    // On the heading row, right at the left edge of column 2.
    const int bordo = g->ColPos(2);
    QTest::mouseClick(g->horizontalHeader()->viewport(), Qt::LeftButton, {},
                      QPoint(PixelDaTwipX(bordo) - g->verticalHeader()->width(), 3));
    ASSERT_EQ(pressioni.size(), 1u);
    EXPECT_EQ(pressioni[0].button, 1);
    EXPECT_EQ(pressioni[0].shift, 0);
    EXPECT_EQ(pressioni[0].x, bordo);
    EXPECT_GE(pressioni[0].y, g->RowPos(0));
    EXPECT_LT(pressioni[0].y, g->RowPos(1));

    // On client row 4: the handler still sees the old current row.
    g->SetRow(1);
    const int y = PixelDaTwipY(g->RowPos(4)) - g->horizontalHeader()->height() + 2;
    const int fisse = g->verticalHeader()->width();
    QTest::mouseClick(g->viewport(), Qt::RightButton, Qt::ShiftModifier | Qt::ControlModifier,
                      QPoint(PixelDaTwipX(g->ColPos(3)) - fisse + 2, y));
    ASSERT_EQ(pressioni.size(), 2u);
    EXPECT_EQ(pressioni[1].button, 2);
    EXPECT_EQ(pressioni[1].shift, 3);
    EXPECT_GE(pressioni[1].y, g->RowPos(4));
    EXPECT_LT(pressioni[1].y, g->RowPos(5));
    EXPECT_EQ(pressioni[1].riga, 1);
    EXPECT_EQ(g->Row(), 4);
    EXPECT_EQ(g->Col(), 3);

    QTest::mouseDClick(g->viewport(), Qt::LeftButton, {}, QPoint(5, y));
    EXPECT_EQ(doppi, 1);
    QTest::mouseClick(g->viewport(), Qt::MiddleButton, Qt::AltModifier, QPoint(5, y));
    EXPECT_EQ(pressioni.back().button, 4);
    EXPECT_EQ(pressioni.back().shift, 4);

    // On the fixed column: left of column 1, and the row becomes current; a double-click
    // there is a double-click on the grid.
    QTest::mouseClick(g->verticalHeader()->viewport(), Qt::LeftButton, {}, QPoint(3, y));
    EXPECT_LT(pressioni.back().x, g->ColPos(1));
    EXPECT_GE(pressioni.back().y, g->RowPos(4));
    EXPECT_EQ(g->Row(), 4);
    QTest::mouseDClick(g->verticalHeader()->viewport(), Qt::LeftButton, {}, QPoint(3, y));
    EXPECT_EQ(doppi, 2);
    // On the fixed column's heading, in the corner.
    QWidget* angolo = g->findChild<QAbstractButton*>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_NE(angolo, nullptr);
    QTest::mouseClick(angolo, Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_LT(pressioni.back().x, g->ColPos(1));
    EXPECT_LT(pressioni.back().y, g->RowPos(1));
}

// The program moving the current cell (as an export leaves it on the last cell, with the
// grid hidden meanwhile) does not scroll the view: the operator sees what they saw.
TEST_F(GrigliaTest, LaVistaNonSeguiIlCursoreDelProgramma) {
    Riempi(200);
    Mostra();
    for (int c = 0; c < 10; ++c) g->SetColWidth(c, 1500);
    g->setFocus();
    for (int i = 0; i < 20; ++i) QTest::keyClick(g, Qt::Key_Down);
    for (int i = 0; i < 3; ++i) QTest::keyClick(g, Qt::Key_Right);
    QApplication::processEvents();
    const int cima = g->TopRow();
    const int lato = g->horizontalScrollBar()->value();
    ASSERT_GT(cima, 1);
    g->setVisible(false);
    g->SetRow(g->Rows() - 1);
    g->SetCol(g->Cols() - 1);
    g->setVisible(true);
    QApplication::processEvents();
    EXPECT_EQ(g->Row(), g->Rows() - 1);
    EXPECT_EQ(g->Col(), 9);
    EXPECT_EQ(g->TopRow(), cima);
    EXPECT_EQ(g->horizontalScrollBar()->value(), lato);
}

TEST_F(GrigliaTest, FuocoETastiera) {
    Riempi(100);
    Mostra();
    int entrate = 0;
    g->GotFocus = [&] { ++entrate; };
    altro->setFocus(Qt::OtherFocusReason);
    g->SetRow(3);
    g->SetCol(2);
    g->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(entrate, 1);
    EXPECT_EQ(g->Row(), 3) << "entering the grid leaves the current cell alone";
    EXPECT_EQ(g->Col(), 2);
    altro->setFocus(Qt::TabFocusReason);
    g->setFocus(Qt::MouseFocusReason);
    EXPECT_EQ(entrate, 2);

    g->SetRow(1);
    g->SetCol(1);
    QTest::keyClick(g, Qt::Key_Down);
    EXPECT_EQ(g->Row(), 2);
    QTest::keyClick(g, Qt::Key_Up);
    QTest::keyClick(g, Qt::Key_Up);
    EXPECT_EQ(g->Row(), 1) << "the heading row is never reached";
    QTest::keyClick(g, Qt::Key_Left);
    EXPECT_EQ(g->Col(), 1) << "the fixed column is skipped";
    QTest::keyClick(g, Qt::Key_Right);
    EXPECT_EQ(g->Col(), 2);
    EXPECT_TRUE(g->selectionModel()->isRowSelected(0, {})) << "the whole row is highlighted";

    QTest::keyClick(g, Qt::Key_PageDown);
    EXPECT_GT(g->Row(), 5);
    EXPECT_GT(g->TopRow(), 1) << "the keyboard scrolls the current row into view";
    // The last row is the result's: rows still on their way come first.
    g->CompletaRighe = [this] {
        for (int i = 1; i <= 50; ++i) g->AddItem(Cliente(1000 + i));
        g->CompletaRighe = nullptr;
    };
    QTest::keyClick(g, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(g->TextMatrix(g->Row(), 0), "1050");
    EXPECT_EQ(g->Row(), g->Rows() - 1);
    QTest::keyClick(g, Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(g->Row(), 1);
    EXPECT_EQ(g->Col(), 1);
    EXPECT_EQ(g->TopRow(), 1);
}

}  // namespace
