#include <gtest/gtest.h>

#include "LettoreCsv.h"
#include "app/Cp1252.h"

namespace {

using namespace setup::csv;

std::vector<QStringList> Campi(const std::vector<Record>& record) {
    std::vector<QStringList> v;
    for (const Record& r : record) {
        QStringList campi;
        for (const QByteArray& c : r.campi) campi << QString::fromUtf8(c);
        if (!r.errore.isEmpty()) campi = QStringList{"!" + r.errore};
        v.push_back(campi);
    }
    return v;
}

// What spreadsheets and mdb-export write: quotes around fields, doubled inside, line breaks
// inside a quoted field; CR LF, LF or a bare CR end a line; the line numbers after such a
// field still point at the right line.
TEST(LettoreCsv, CampiQuotatiSuPiuRighe) {
    const QByteArray dati =
        "1,\"ROSSI, \"\"IL GRANDE\"\"\",x\r\n"
        "2,\"VIA\r\nROMA\",\r\n"
        "\r\n"
        "3,A \"B\" C,\"\"\r"
        "4,\"VIA\rMILANO\",\r"
        "5,\"APERTA,y\n"
        "6,ULTIMA,z";
    const std::vector<Record> r = LeggiTutti(dati, 0, 2, {',', true, 0});
    ASSERT_EQ(r.size(), 7u);
    const std::vector<QStringList> attesi = {{"1", "ROSSI, \"IL GRANDE\"", "x"},
                                             {"2", "VIA\r\nROMA", ""},
                                             {},
                                             {"3", "A \"B\" C", ""},
                                             {"4", "VIA\rMILANO", ""},
                                             {"!virgolette aperte e mai chiuse"},
                                             {"6", "ULTIMA", "z"}};
    EXPECT_EQ(Campi(r), attesi);
    const std::vector<std::pair<qint64, qint64>> righe = {{2, 1}, {3, 2}, {5, 1}, {6, 1},
                                                          {7, 2}, {9, 1}, {10, 1}};
    for (size_t i = 0; i < r.size(); ++i)
        EXPECT_EQ(std::make_pair(r[i].riga, r[i].righe), righe[i]) << "record " << i;
    EXPECT_TRUE(r[2].vuota);
    EXPECT_EQ(dati.mid(r[1].inizio, r[1].fine - r[1].inizio), "2,\"VIA\r\nROMA\",");
    EXPECT_EQ(TestoCampo(r[1].campi[1], Codifica::Utf8), "VIA ROMA");
    EXPECT_EQ(TestoCampo(r[4].campi[1], Codifica::Utf8), "VIA MILANO");

    const std::vector<QStringList> dopoLaChiusura = {{"!testo dopo le virgolette di chiusura"}};
    EXPECT_EQ(Campi(LeggiTutti("1,\"AB\"C,2\n", 0, 1, {',', true, 0})), dopoLaChiusura);
}

// The program's export, before and after it quoted a field holding ";" or '"': each line
// reads as the fields the grid had.
TEST(LettoreCsv, LeDueFormeDellEsportazione) {
    const Opzioni esportazione{';', false, 3};
    const QByteArray dati =
        "1;\"A;B\";\"\"\"X\"\" Y\";\r\n"  // quoted: A;B and "X" Y
        "2;\"X\" Y;Z;\r\n"                // unquoted, as older exports wrote a quote
        "3;\"NOME;Z;\r\n"                 // an opening quote that never closes
        "4;A;B;C;\r\n"                    // a ";" in an unquoted name: one field too many
        "5;A;B\r\n";                      // no final separator, as a spreadsheet saves it
    const std::vector<QStringList> attesi = {{"1", "A;B", "\"X\" Y", ""},
                                             {"2", "\"X\" Y", "Z", ""},
                                             {"3", "\"NOME", "Z", ""},
                                             {"4", "A", "B", "C", ""},
                                             {"5", "A", "B"}};
    EXPECT_EQ(Campi(LeggiTutti(dati, 0, 2, esportazione)), attesi);
}

TEST(LettoreCsv, CodifichePerByte) {
    EXPECT_EQ(TipoTesto("CAFFE'"), Testo::Ascii);
    EXPECT_EQ(TipoTesto("CAFF\xC3\x88"), Testo::Utf8);
    EXPECT_EQ(TipoTesto("CAFF\xC8"), Testo::NonUtf8);
    EXPECT_EQ(TipoTesto("\xC3"), Testo::NonUtf8) << "a sequence cut short";
    // Every character of the code page comes back as it went out.
    QString tutti;
    for (char16_t c = 0x20; c <= 0xFF; ++c)
        if (c < 0x80 || c >= 0xA0) tutti += QChar(c);
    tutti += QString::fromUtf8("€‚ƒ„…†‡ˆ‰Š‹ŒŽ‘’“”•–—˜™š›œžŸ");
    EXPECT_EQ(DaCp1252(Cp1252(tutti)), tutti);
    EXPECT_EQ(Cp1252(u"Ω😀"), "??") << "one character, one \"?\"";
    EXPECT_EQ(TestoCampo("  CAFF\xC8 \r\n", Codifica::Windows1252), QString::fromUtf8("CAFFÈ"));
}

}  // namespace
