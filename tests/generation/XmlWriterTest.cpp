// The DIAN XML file: header and document text, the conversion of a review workbook written with
// the spreadsheet script (through the real working table), and the language functions.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "generation/XmlTestSupport.h"
#include "store/StoreTestSupport.h"

namespace {

using namespace exo::generation;
using exo::Value;
using xmltest::XmlCompany;
namespace fs = std::filesystem;

const std::string kHead1001 =
    "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><mas "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
    "xsi:noNamespaceSchemaLocation=\"1001.xsd\">\r\n"
    "<Cab>\r\n<Ano>2011</Ano>\r\n<CodCpt>1</CodCpt>\r\n<Formato>1001</Formato>\r\n"
    "<Version>7</Version>\r\n<NumEnvio>1</NumEnvio>\r\n<FecEnvio>2011-03-15T10:20:30</FecEnvio>\r\n"
    "<FecInicial>2010-01-01</FecInicial>\r\n<FecFinal>2010-12-31</FecFinal>\r\n";

const char* kName1001 = "Dmuisca_010100107201100000001.xml";

TEST(XmlFileName, BuiltFromTheHeader) {
  XmlHeader h{"2008", "1.- Inserci\xF3n", "1001", "7", "1", "", "", ""};
  EXPECT_EQ(xmlFileName(h, 1), "Dmuisca_010100107200800000001.xml");
  h.numEnv = "1  ";  // typed with trailing blanks
  EXPECT_EQ(xmlFileName(h, 1), "Dmuisca_010100107200800000001.xml");
  h.codCpt = "2.- Reemplazo";
  h.numEnv = "123";
  EXPECT_EQ(xmlFileName(h, 12), "Dmuisca_020101207200800000123.xml");
  // The version has two places in the name: a version of two digits takes both.
  h.versi = "10";
  EXPECT_EQ(xmlFileName(h, 12), "Dmuisca_020101210200800000123.xml");
  std::string name;
  const std::string t =
      TEXTO4CABEZAXML(1, {"2008", "2.- Reemplazo", "1001", "7", "1  ", "", "", ""}, 0, 0, name);
  EXPECT_NE(t.find("<NumEnvio>1</NumEnvio>\r\n"), std::string::npos);
  EXPECT_NE(t.find("<CodCpt>2</CodCpt>\r\n"), std::string::npos);
  EXPECT_EQ(name.substr(0, 10), "Dmuisca_02");
}

TEST(XmlDocument, TotalsRoundHalfAwayAndKeepTheSign) {
  const XmlHeader h{"2011", "1", "1011", "6", "2", "f", "i", "e"};
  std::string name;
  const std::string neg = xmlDocument(11, h, {{"8301", "-1500.5"}, {"8302", "200"}}, name);
  EXPECT_NE(neg.find("<ValorTotal>-1301</ValorTotal>\r\n<CantReg>2</CantReg>"), std::string::npos);
  EXPECT_NE(neg.find("<decl cpt=\"8301\" sal=\"-1500.5\" />\r\n<decl cpt=\"8302\" sal=\"200\" "
                     "/>\r\n</mas>"),
            std::string::npos);
  // Empty values are left out, every value is trimmed, a record with no value is bare.
  const std::string doc = xmlDocument(11, h, {{"  8301 ", ""}, {"", " "}}, name);
  EXPECT_NE(doc.find("<decl cpt=\"8301\" />\r\n<decl />\r\n</mas>"), std::string::npos);
  EXPECT_EQ(doc.substr(doc.size() - 6), "</mas>");
  EXPECT_EQ(xmlAttributeValue(" A&B <C> \"D\" \xD1o\xF1o' "),
            "A&amp;B &lt;C> &quot;D&quot; \xD1o\xF1o'");
}

// One record per format with a distinct value in every attribute: the element, the attribute
// names and their order.
TEST(XmlDocument, RecordLayoutOfEveryFormat) {
  const std::vector<std::string> expected = {
      "<pagos cpt=\"1\" tdoc=\"2\" nid=\"3\" dv=\"4\" apl1=\"5\" apl2=\"6\" nom1=\"7\" nom2=\"8\" "
      "raz=\"9\" dir=\"10\" dpto=\"11\" mun=\"12\" pais=\"13\" pag=\"14\" ded=\"15\" />",
      "<rets cpt=\"1\" tdoc=\"2\" nid=\"3\" dv=\"4\" apl1=\"5\" apl2=\"6\" nom1=\"7\" nom2=\"8\" "
      "raz=\"9\" dir=\"10\" dpto=\"11\" mun=\"12\" pais=\"13\" vabo=\"14\" vret=\"15\" />",
      "<rets cpt=\"1\" tdoc=\"2\" nid=\"3\" dv=\"4\" apl1=\"5\" apl2=\"6\" nom1=\"7\" nom2=\"8\" "
      "raz=\"9\" dir=\"10\" dpto=\"11\" mcpo=\"12\" valor=\"13\" ret=\"14\" />",
      "<descuentos cpt=\"1\" vpag=\"2\" vdes=\"3\" />",
      "<impventas tdoc=\"1\" nid=\"2\" dv=\"3\" apl1=\"4\" apl2=\"5\" nom1=\"6\" nom2=\"7\" "
      "raz=\"8\" vimp=\"9\" />",
      "<impoventas tdoc=\"1\" nid=\"2\" dv=\"3\" apl1=\"4\" apl2=\"5\" nom1=\"6\" nom2=\"7\" "
      "raz=\"8\" vimp=\"9\" />",
      "<ingresos cpt=\"1\" tdoc=\"2\" nid=\"3\" dv=\"4\" apl1=\"5\" apl2=\"6\" nom1=\"7\" "
      "nom2=\"8\" raz=\"9\" pais=\"10\" ing=\"11\" dev=\"12\" />",
      "<saldoscc cpt=\"1\" tdoc=\"2\" nid=\"3\" dv=\"4\" apl1=\"5\" apl2=\"6\" nom1=\"7\" "
      "nom2=\"8\" raz=\"9\" dir=\"10\" dpto=\"11\" mun=\"12\" pais=\"13\" sal=\"14\" />",
      "<saldoscp cpt=\"1\" tdoc=\"2\" nid=\"3\" dv=\"4\" apl1=\"5\" apl2=\"6\" nom1=\"7\" "
      "nom2=\"8\" raz=\"9\" dir=\"10\" dpto=\"11\" mun=\"12\" pais=\"13\" sal=\"14\" />",
      "<socios tdoc=\"1\" nid=\"2\" dv=\"3\" apl1=\"4\" apl2=\"5\" nom1=\"6\" nom2=\"7\" raz=\"8\" "
      "dir=\"9\" dpto=\"10\" mun=\"11\" pais=\"12\" val=\"13\" vpar=\"14\" por=\"15\" />",
      "<decl cpt=\"1\" sal=\"2\" />",
      "<dectri cpt=\"1\" tdoc=\"2\" nid=\"3\" dv=\"4\" apl1=\"5\" apl2=\"6\" nom1=\"7\" nom2=\"8\" "
      "raz=\"9\" pais=\"10\" val=\"11\" />",
  };
  const std::vector<std::string> totals = {"14", "15", "14", "2",  "9", "9",
                                           "11", "14", "14", "13", "2", "11"};
  for (int format = 1; format <= 12; ++format) {
    SCOPED_TRACE(format);
    XmlRecord r;
    for (std::size_t i = 0; i < LOSCAMPOSXML(format).fields.size(); ++i)
      r.push_back(std::to_string(i + 1));
    std::string name;
    const std::string doc = xmlDocument(format, {"2011", "1", "", "7", "1", "", "", ""}, {r}, name);
    const std::string code = std::to_string(1000 + format);
    EXPECT_NE(doc.find("noNamespaceSchemaLocation=\"" + code + ".xsd\">\r\n"), std::string::npos);
    EXPECT_NE(doc.find("<Formato>" + code + "</Formato>"), std::string::npos);
    const std::size_t cab = doc.find("</Cab>\r\n");
    ASSERT_NE(cab, std::string::npos);
    EXPECT_EQ(doc.substr(cab + 8), expected[static_cast<std::size_t>(format - 1)] + "\r\n</mas>");
    EXPECT_NE(doc.find("<ValorTotal>" + totals[static_cast<std::size_t>(format - 1)] +
                       "</ValorTotal>\r\n<CantReg>1</CantReg>"),
              std::string::npos);
  }
}

// Whether xmllint takes `bytes` as a well-formed document (skips when the tool is missing).
bool wellFormed(const std::string& bytes, const fs::path& file) {
  {
    std::ofstream out(file, std::ios::binary);
    out << bytes;
  }
  return std::system(("xmllint --noout '" + file.string() + "' 2>/dev/null").c_str()) == 0;
}

// Bytes that XML 1.0 does not allow, and Windows-1252 characters that ISO-8859-1 lacks, never
// reach the file: each changed value is a finding that names the record, the third party and
// the attribute.
TEST(XmlDocument, CharactersTheFileCannotHoldAreReplacedAndNamed) {
  if (std::system("xmllint --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "xmllint missing";
  const XmlHeader h{"2011", "1", "1001", "7", "1", "2011-03-15\x0B", "2010-01-01", "2010-12-31"};
  XmlRecord r = {"5001",
                 "31",
                 "800100200",
                 "7",
                 "",
                 "",
                 "",
                 "",
                 "ACME\x07 S.A. \x96 \x93Sur\x94",
                 "CL 5 \x80 10\x01",
                 "11",
                 "001",
                 "169",
                 "1500",
                 "0"};
  XmlRecord plain = {"5002", "13", "79123456", "",  "P\x8A\x9AREZ", "", "ANA", "", "", "",
                     "",     "",   "",         "10"};
  std::string name;
  std::vector<XmlFinding> changed;
  const std::string doc = xmlDocument(1, h, {r, plain}, name, &changed);
  for (const char c : doc) {
    const auto b = static_cast<unsigned char>(c);
    EXPECT_FALSE((b < 0x20 && c != '\r' && c != '\n' && c != '\t') || (b >= 0x80 && b <= 0x9F))
        << "byte " << static_cast<int>(b);
  }
  EXPECT_NE(doc.find("raz=\"ACME  S.A. - &quot;Sur&quot;\""), std::string::npos) << doc;
  EXPECT_NE(doc.find("dir=\"CL 5 EUR 10\""), std::string::npos) << doc;
  EXPECT_NE(doc.find("apl1=\"PSsREZ\""), std::string::npos) << doc;
  EXPECT_NE(doc.find("<FecEnvio>2011-03-15 </FecEnvio>"), std::string::npos) << doc;
  ASSERT_EQ(changed.size(), 4u);
  EXPECT_EQ(changed[0].record, 0);
  EXPECT_EQ(changed[0].field, "FecEnvio");
  EXPECT_EQ(changed[1].record, 1);
  EXPECT_EQ(changed[1].thirdParty, "31 800100200 ACME  S.A. - \"Sur\"");
  EXPECT_EQ(changed[1].field, "raz");
  EXPECT_EQ(changed[2].field, "dir");
  EXPECT_EQ(changed[2].value, "CL 5 EUR 10");
  EXPECT_EQ(changed[3].record, 2);
  EXPECT_EQ(changed[3].thirdParty, "13 79123456 PSsREZ ANA");
  EXPECT_EQ(changed[3].field, "apl1");
  EXPECT_NE(describe(changed[3]).find("reemplazado"), std::string::npos);

  storetest::TempDir dir;
  EXPECT_TRUE(wellFormed(doc, dir.file("a.xml")));
  // Header values the dialog let through are escaped as element text.
  const std::string header = xmlDocument(1, {"20&1", "1", "", "7", "<1", "", "", ""}, {}, name);
  EXPECT_TRUE(wellFormed(header, dir.file("b.xml"))) << header;
}

class XmlConversion : public XmlCompany, public ::testing::Test {};

// The file written from a work area, as the format's definition has it written: well formed,
// and the values changed are kept for the generation driver.
TEST_F(XmlConversion, TheWrittenFileIsWellFormedAndItsChangesKept) {
  if (std::system("xmllint --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "xmllint missing";
  std::vector<exo::store::FieldDef> fields;
  for (const XmlField& f : LOSCAMPOSXML(1).fields) fields.push_back({f.name, 'C', 254, 0});
  writeTable(work() / "TmpXml.dbf", fields,
             {{{"CPT", Value::text("5001")},
               {"TDOC", Value::text("31")},
               {"NID", Value::text("800100200")},
               {"RAZ", Value::text("ACME\x1B S.A.")},
               {"PAG", Value::text("1500")}}});
  const int area = engine.open((work() / "TmpXml.dbf").string(), "TmpXml", false);
  engine.select(area);
  const XmlResult r = GENERAXML(*session, 1);
  engine.close(ip, area);
  ASSERT_TRUE(r.written) << r.error;
  ASSERT_EQ(r.changed.size(), 1u);
  EXPECT_EQ(r.changed[0].field, "raz");
  EXPECT_EQ(r.changed[0].thirdParty, "31 800100200 ACME  S.A.");
  EXPECT_EQ(lastXmlFile(ip), r.file);
  ASSERT_EQ(lastXmlFiles(ip).size(), 1u);
  EXPECT_EQ(lastXmlFiles(ip).front().changed.size(), 1u);
  EXPECT_EQ(std::system(("xmllint --noout '" + r.file.string() + "'").c_str()), 0);
  forgetXmlFiles(ip);
  EXPECT_TRUE(lastXmlFiles(ip).empty());
}

TEST_F(XmlConversion, WorkbookEndingAtRowFourGivesAHeaderOnly) {
  workbook(1, {});
  const XmlResult r = CONVIERTE2XML(*session, 1, [] { return true; });
  ASSERT_TRUE(r.written) << r.error;
  EXPECT_EQ(r.file, output() / kName1001);
  EXPECT_EQ(ledgertest::readBytes(r.file),
            kHead1001 + "<ValorTotal>0</ValorTotal>\r\n<CantReg>0</CantReg>\r\n</Cab>\r\n</mas>");
  // The copy and the working table are gone.
  EXPECT_FALSE(fs::exists(output() / "EMP1-TempExc01.xlsx"));
  EXPECT_FALSE(fs::exists(work() / "TmpTraC.dbf"));
}

TEST_F(XmlConversion, RowsBecomeRecordsInWorkbookOrder) {
  workbook(1, {{"5001", "31", "800123456", "", "", "", "", "", "PEREZ & CIA S.A.", "CRA 7 # 12-30",
                "11", "001", "169", "1234.5", "0"},
               {"5002", "13", "79123456", "", "GOMEZ", "", "ANA", "", "", "CL 1", "05", "001",
                "169", "1234.4"},
               {"5001", "43", "222222222", "", "", "", "", "", "CUANTIAS MENORES", "", "", "", "",
                "1500000", "", "columna de mas"}});
  const XmlResult r = CONVIERTE2XML(*session, 1, [] { return true; });
  ASSERT_TRUE(r.written) << r.error;
  EXPECT_EQ(r.records, 3);
  EXPECT_EQ(ledgertest::readBytes(r.file),
            kHead1001 +
                "<ValorTotal>1502469</ValorTotal>\r\n<CantReg>3</CantReg>\r\n</Cab>\r\n"
                "<pagos cpt=\"5001\" tdoc=\"31\" nid=\"800123456\" raz=\"PEREZ &amp; CIA S.A.\" "
                "dir=\"CRA 7 # 12-30\" dpto=\"11\" mun=\"001\" pais=\"169\" pag=\"1234.5\" "
                "ded=\"0\" />\r\n"
                "<pagos cpt=\"5002\" tdoc=\"13\" nid=\"79123456\" apl1=\"GOMEZ\" nom1=\"ANA\" "
                "dir=\"CL 1\" "
                "dpto=\"05\" mun=\"001\" pais=\"169\" pag=\"1234.4\" />\r\n"
                "<pagos cpt=\"5001\" tdoc=\"43\" nid=\"222222222\" raz=\"CUANTIAS MENORES\" "
                "pag=\"1500000\" />\r\n</mas>");
}

// A cell of the review workbook that the user turned into a formula is read by the value the
// spreadsheet program last computed, of whatever kind; a formula with no such value (never
// computed, or computed to an error) stops the conversion instead of reaching the file as 0.
TEST_F(XmlConversion, AFormulaIsReadByItsComputedValueAndNeverTakenForZero) {
  if (std::system("python3 -c 'import zipfile' >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "python3 missing";
  const fs::path book = workbook(1, {{"5001", "31", "800123456", "", "", "", "", "", "PEREZ S.A.",
                                      "CRA 7", "11", "001", "169", "1500", "0"}});
  const fs::path script = work() / "cells.py";
  std::ofstream(script) << "import re, sys, zipfile\n"
                           "path = sys.argv[1]\n"
                           "with zipfile.ZipFile(path) as z:\n"
                           "    parts = {n: z.read(n) for n in z.namelist()}\n"
                           "sheet = [n for n in parts if n.startswith('xl/worksheets/sheet')][0]\n"
                           "xml = parts[sheet].decode()\n"
                           "for change in sys.argv[2:]:\n"
                           "    ref = change[change.index('\"') + 1:].split('\"')[0]\n"
                           "    cell = '<c r=\"' + ref + '\"(?:[^>]*/>|[^>]*>.*?</c>)'\n"
                           "    xml, n = re.subn(cell, change, xml, count=1)\n"
                           "    assert n == 1, ref\n"
                           "parts[sheet] = xml.encode()\n"
                           "with zipfile.ZipFile(path, 'w', zipfile.ZIP_DEFLATED) as z:\n"
                           "    for n, b in parts.items():\n"
                           "        z.writestr(n, b)\n";
  const fs::path original = work() / "original.xlsx";
  fs::copy_file(book, original);
  const auto convertWith = [&](const std::vector<std::string>& cells) {
    fs::copy_file(original, book, fs::copy_options::overwrite_existing);
    std::string command = "python3 '" + script.string() + "' '" + book.string() + "'";
    for (const std::string& c : cells) command += " '" + c + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return CONVIERTE2XML(*session, 1, [] { return true; });
  };

  XmlResult r =
      convertWith({"<c r=\"I5\" t=\"str\"><f>\"ACME\"&amp;\" S.A.\"</f><v>ACME S.A.</v></c>",
                   "<c r=\"N5\"><f>1000+500</f><v>1500</v></c>",
                   "<c r=\"O5\" t=\"b\"><f>FALSE()</f><v>0</v></c>"});
  ASSERT_TRUE(r.written) << r.error;
  const std::string written = ledgertest::readBytes(r.file);
  EXPECT_NE(written.find("raz=\"ACME S.A.\" dir=\"CRA 7\""), std::string::npos) << written;
  EXPECT_NE(written.find("pag=\"1500\" ded=\"F\""), std::string::npos) << written;
  EXPECT_NE(written.find("<ValorTotal>1500</ValorTotal>"), std::string::npos) << written;

  for (const std::string& unusable :
       {std::string("<c r=\"N5\" t=\"e\"><f>1/0</f><v>#DIV/0!</v></c>"),
        std::string("<c r=\"N5\"><f>1000+500</f></c>"),
        std::string("<c r=\"N5\"><f>1000+500</f><v></v></c>"),
        std::string("<c r=\"N5\"><f t=\"shared\" si=\"0\"/></c>")}) {
    fs::remove(r.file);
    const XmlResult failed = convertWith({unusable});
    EXPECT_FALSE(failed.written) << unusable;
    EXPECT_NE(failed.error.find("La celda N5 del libro tiene una f\xF3rmula"), std::string::npos)
        << failed.error;
    EXPECT_FALSE(fs::exists(r.file)) << unusable;
    EXPECT_FALSE(fs::exists(work() / "TmpTraC.dbf"));
  }
}

TEST_F(XmlConversion, HalfTotalsAndTheLanguageFunctions) {
  workbook(11, {{"8301", "1234.5"}, {"8302", "1234.4"}});
  header("2.- Reemplazo", "7");
  ip.evalText("CONVIERTE2XML(11)");
  const fs::path file = output() / "Dmuisca_020101107201100000007.xml";
  ASSERT_TRUE(fs::exists(file));
  EXPECT_EQ(lastXmlFile(ip), file);
  const std::string doc = ledgertest::readBytes(file);
  EXPECT_NE(doc.find("<ValorTotal>2469</ValorTotal>\r\n<CantReg>2</CantReg>"), std::string::npos);
  EXPECT_NE(doc.find("<decl cpt=\"8301\" sal=\"1234.5\" />\r\n<decl cpt=\"8302\" sal=\"1234.4\" "
                     "/>\r\n</mas>"),
            std::string::npos);
  // LOSCAMPOSXML sets OFORXML; the conversions of cell values.
  const exo::Value fields = ip.evalText("LOSCAMPOSXML(11)");
  ASSERT_TRUE(fields.isArray());
  EXPECT_EQ(fields.arrayData().items.size(), 2u);
  EXPECT_EQ(std::string(ip.evalText("OFORXML:cElement").textView()), "decl");
  EXPECT_EQ(std::string(ip.evalText("OFORXML:Cmpo2Sum").textView()), "sal");
  EXPECT_EQ(std::string(ip.evalText("AllTrim(CONVIERTEXVALUE(1500000))").textView()), "1500000");
  EXPECT_EQ(std::string(ip.evalText("AllTrim(CONVIERTEXVALUE(12.5, \"C\"))").textView()), "12.5");
  EXPECT_EQ(ip.evalText("CONVIERTEXVALUE(\"12abc\", \"N\")").num(), 12);
  EXPECT_EQ(ip.evalText("NUMGETDECIMALS(1.250)").num(), 2);
  EXPECT_EQ(ip.evalText("NUMGETDECIMALS(10^25)").num(), 0);
}

TEST_F(XmlConversion, MissingWorkbookOrCancelledHeaderWritesNothing) {
  XmlResult r = CONVIERTE2XML(*session, 3, [] { return true; });
  EXPECT_FALSE(r.written);
  EXPECT_NE(r.error.find("no ha sido creado"), std::string::npos);
  workbook(3, {{"1301"}});
  bool asked = false;
  r = CONVIERTE2XML(*session, 3, [&] { return asked = true, false; });
  EXPECT_TRUE(asked);
  EXPECT_FALSE(r.written);
  EXPECT_FALSE(fs::exists(output() / "EMP1-TempExc03.xlsx"));
  for (const auto& e : fs::directory_iterator(output()))
    EXPECT_EQ(e.path().extension(), ".xlsx") << e.path();
}

}  // namespace
