// The DIAN check digit, the third-party record built from a directory entry and judged by its
// six rules, a member of the family with fewer rules, and the class TValidTercero of the
// expression language over a directory table on disk.
#include <gtest/gtest.h>

#include <filesystem>

#include "../store/StoreTestSupport.h"
#include "expr/Codepage.h"
#include "expr/Failure.h"
#include "expr/Interp.h"
#include "masterdata/CheckDigit.h"
#include "masterdata/ThirdParty.h"
#include "store/Dbf.h"
#include "store/Dictionary.h"
#include "store/Engine.h"

namespace {

using namespace exo;
using namespace exo::masterdata;

const std::string kFiveSeparators = "  ;    ;    ;    ;    ;  ";

TEST(CheckDigit, ReadsTheNumberBeforeTheFirstHyphenWithoutDotsOrCommas) {
  struct Case {
    const char* identification;
    const char* digit;
  };
  const Case cases[] = {
      {"12345678", "8"},  // the worked example: 476 mod 11 = 3
      {"12.345.678", "8"},
      {"12,345,678", "8"},
      {"   12345678", "8"},
      {"12345678-5", "8"},
      {"12345678-5-3", "8"},  // the part before the first hyphen
      {"800197268", "4"},
      {"800.197.268-4", "4"},
      {"0", "0"},   // remainder 0
      {"4", "1"},   // 4 x 3 = 12: remainder 1
      {"11", "1"},  // 7 + 3 = 10: 11 - 10
      {"", "0"},
      {"     ", "0"},
      {"ABC", "0"},  // no digits: the value 0
      {"NIT 12345678", "0"},
      {"123A45678", "8"},                 // 13 + 14 + 9 = 36
      {"000000000000000012345678", "8"},  // leading zeros are not digits of the value
  };
  for (const Case& c : cases) EXPECT_EQ(CALCULADIGV(c.identification), c.digit) << c.identification;
}

TEST(CheckDigit, IdentificationsPastFifteenDigitsAreReadButNotCheckable) {
  EXPECT_TRUE(isCheckable("123456789012345"));
  EXPECT_TRUE(isCheckable("0000123456789012345"));
  EXPECT_FALSE(isCheckable("1234567890123456"));
  EXPECT_FALSE(isCheckable(std::string(300, '9')));
  // The digit of the last fifteen digits, never a crash or a character outside "0".."9".
  EXPECT_EQ(CALCULADIGV("1234567890123456"), CALCULADIGV("234567890123456"));
  const std::string d = CALCULADIGV(std::string(300, '9'));
  ASSERT_EQ(d.size(), 1u);
  EXPECT_TRUE(d[0] >= '0' && d[0] <= '9');
}

// A complete, valid Colombian legal person; tests change what they look at.
DirectoryEntry legal(const std::string& nit) {
  return {
      "00001", "COMERCIALIZADORA ANDINA S.A.", "0000", "J", "31", nit, "CRA 8 # 6C-38", "11", "001",
      "0169"};
}

DirectoryEntry natural(const std::string& structure, const std::string& name) {
  return {"00002", name, structure, "N", "13", "79123456", "CL 5 # 4-20", "05", "001", "0169"};
}

TEST(ThirdPartyRecord, NitCheckDigitRule) {
  const TValidTercero ok = TValidTercero::New(legal("12345678-8          "));
  EXPECT_EQ(ok.record().nit2, "12345678");
  EXPECT_EQ(ok.record().digVerf, "8");
  EXPECT_FALSE(ok.record().lError);
  EXPECT_EQ(ok.record().cError, kFiveSeparators);

  const TValidTercero wrong = TValidTercero::New(legal("12345678-7"));
  EXPECT_TRUE(wrong.record().lError);
  EXPECT_EQ(wrong.record().cError,
            "  ;    ;  Error 2  -  Digito verificador no corresponde  ;    ;    ;  ");

  // No hyphen: no identification without digit, no written digit, nothing to compare.
  const TValidTercero bare = TValidTercero::New(legal("12345678"));
  EXPECT_EQ(bare.record().nit2, std::string(20, ' '));
  EXPECT_EQ(bare.record().digVerf, "");
  EXPECT_FALSE(bare.record().lError);

  // A blank after the hyphen is no written digit.
  EXPECT_FALSE(TValidTercero::New(legal("12345678- ")).record().lError);

  const TValidTercero dots = TValidTercero::New(legal("12.345.678-8"));
  EXPECT_EQ(dots.record().nit2, "12.345.678");
  EXPECT_EQ(dots.record().digVerf, "8");
  EXPECT_FALSE(dots.record().lError);

  // Two hyphens: the record splits at the last one, the digit reads before the first one.
  const TValidTercero two = TValidTercero::New(legal("12345678-1-8"));
  EXPECT_EQ(two.record().nit2, "12345678-1");
  EXPECT_EQ(two.record().digVerf, "8");
  EXPECT_FALSE(two.record().lError);

  // Letters end the number; a natural person's NIT is not judged by this rule.
  EXPECT_TRUE(TValidTercero::New(legal("NIT12345678-8")).record().lError);
  DirectoryEntry person = natural("1111", "PEREZ GOMEZ JUAN CARLOS");
  person.tpN = "31", person.direc4 = "12345678-7";
  EXPECT_FALSE(TValidTercero::New(person).record().lError);
  EXPECT_EQ(TValidTercero::New(person).record().nit2, "12345678");
}

TEST(ThirdPartyRecord, IdentificationsTooLongForACheckDigitFailTheNitRule) {
  const std::string tooLong = "1234567890123456";
  for (const std::string& written : {tooLong + "-" + CALCULADIGV(tooLong), tooLong + "-"}) {
    const TValidTercero t = TValidTercero::New(legal(written));
    EXPECT_TRUE(t.record().lError) << written;
    EXPECT_EQ(t.record().cError,
              "  ;    ;  Error 2  -  Digito verificador no corresponde  ;    ;    ;  ");
  }
  EXPECT_FALSE(TValidTercero::New(legal("123456789012345-" + CALCULADIGV("123456789012345")))
                   .record()
                   .lError);
}

TEST(ThirdPartyRecord, NamePartsFollowTheStructure) {
  struct Case {
    const char* structure;
    const char* name;
    const char *priApell, *segApell, *priNomb, *segNomb;
  };
  const Case cases[] = {
      {"1111", "PEREZ GOMEZ JUAN CARLOS", "PEREZ", "GOMEZ", "JUAN", "CARLOS"},
      {"1110", "  PEREZ   GOMEZ JUAN", "PEREZ", "GOMEZ", "JUAN", ""},
      {"1011", "PEREZ JUAN CARLOS", "PEREZ", "", "JUAN", "CARLOS"},
      {"1010", "PEREZ  JUAN", "PEREZ", "", "JUAN", ""},
      {"1111", "PEREZ JUAN", "PEREZ", "JUAN", "", ""},  // missing words are empty
      {"1100", "PEREZ GOMEZ", "", "", "", ""},
  };
  for (const Case& c : cases) {
    const TValidTercero t = TValidTercero::New(natural(c.structure, c.name));
    const ThirdPartyRecord& r = t.record();
    EXPECT_EQ(r.priApell, c.priApell) << c.name;
    EXPECT_EQ(r.segApell, c.segApell) << c.name;
    EXPECT_EQ(r.priNomb, c.priNomb) << c.name;
    EXPECT_EQ(r.segNomb, c.segNomb) << c.name;
    EXPECT_EQ(r.razonSoc, "") << c.name;
    EXPECT_FALSE(r.lError) << c.name;
  }
  // Anyone but a natural person carries the business name, or the structure error as its name.
  const TValidTercero company = TValidTercero::New(legal("12345678-8"));
  EXPECT_EQ(company.record().razonSoc, "COMERCIALIZADORA ANDINA S.A.");
  EXPECT_EQ(company.record().priApell, "");
  DirectoryEntry badStructure = legal("12345678-8");
  badStructure.estrNomb = "1111";
  const TValidTercero bad = TValidTercero::New(badStructure);
  EXPECT_EQ(bad.record().razonSoc, "Error en la estrucura del nombre");
  EXPECT_FALSE(bad.record().lError);  // rule 6 is about natural persons
  DirectoryEntry noType = badStructure;
  noType.tpP = " ";
  EXPECT_EQ(TValidTercero::New(noType).record().razonSoc, "Error en la estrucura del nombre");
}

TEST(ThirdPartyRecord, EachRuleFillsItsOwnSlot) {
  struct Case {
    const char* what;
    DirectoryEntry entry;
    const char* cError;
  };
  DirectoryEntry noTown = legal("12345678-8");
  noTown.cMncp = "   ";
  DirectoryEntry foreignNit = legal("12345678-8");
  foreignNit.pais = "0249";
  DirectoryEntry foreignId = foreignNit;
  foreignId.tpN = "42";
  DirectoryEntry legalCard = legal("79123456");
  legalCard.tpN = "13";
  DirectoryEntry nationalForeign = natural("1111", "PEREZ GOMEZ JUAN CARLOS");
  nationalForeign.tpN = "43";
  DirectoryEntry naturalBusiness = natural("0000", "PEREZ GOMEZ JUAN CARLOS");
  DirectoryEntry several = naturalBusiness;
  several.direc1 = "";
  several.tpN = "42";
  const Case cases[] = {
      {"rule 1", noTown, "Error 1  -  Datos incompletos  ;    ;    ;    ;    ;  "},
      {"rule 3 only", foreignNit,
       "  ;    ;    ;  Error 3  -  Extranj. verifique Tipo Doc.  ;    ;  "},
      {"foreign id", foreignId, "  ;    ;    ;    ;    ;  "},
      {"rule 4", legalCard,
       "  ;  Error 4  -  Jur\355dico nacional no puede tener Doc. dif. a 31  ;    ;    ;    ;  "},
      {"rule 5", nationalForeign,
       "  ;    ;    ;    ;  Error 5  -  Informado nacional no puede tener Doc. 42 \363 43  ;  "},
      {"rule 6", naturalBusiness,
       "  ;    ;    ;    ;    ;  Error 6  -  Persona natural no puede tener estructura de nombre "
       "'0000'"},
      {"rules 1, 5, 6", several,
       "Error 1  -  Datos incompletos  ;    ;    ;    ;  Error 5  -  Informado nacional no puede "
       "tener Doc. 42 \363 43  ;  Error 6  -  Persona natural no puede tener estructura de nombre "
       "'0000'"},
  };
  for (const Case& c : cases) {
    const TValidTercero t = TValidTercero::New(c.entry);
    EXPECT_EQ(t.record().cError, c.cError) << c.what;
    EXPECT_EQ(t.record().lError, t.record().cError != kFiveSeparators) << c.what;
  }
  // Rule 6 blanks the name parts.
  const TValidTercero t = TValidTercero::New(naturalBusiness);
  EXPECT_EQ(t.record().priApell, std::string(60, ' '));
  EXPECT_EQ(t.record().segNomb, std::string(60, ' '));
}

TEST(ThirdPartyRecord, FieldsAreTakenFromTheDirectoryEntry) {
  const TValidTercero t = TValidTercero::New(legal("12345678-8"));
  const ThirdPartyRecord& r = t.record();
  EXPECT_EQ(r.ctaDir, "00001");
  EXPECT_EQ(r.tipoP, "J");
  EXPECT_EQ(r.tipoDoc, "31");
  EXPECT_EQ(r.nit1, "12345678-8");
  EXPECT_EQ(r.direccion, "CRA 8 # 6C-38");
  EXPECT_EQ(r.codDpto, "11");
  EXPECT_EQ(r.codMncp, "001");
  EXPECT_EQ(r.codPais, "169");
  // A record not built yet holds no error and 50 blanks.
  const TValidTercero empty;
  EXPECT_FALSE(empty.record().lError);
  EXPECT_EQ(empty.record().cError, std::string(50, ' '));
}

// A member of the family without rule 6, as the partners' record is.
class PartnerRecord : public ThirdPartyBase {
 public:
  explicit PartnerRecord(const DirectoryEntry& e) : ThirdPartyBase(kRulesOneToFive) { build(e); }
};

TEST(ThirdPartyRecord, AFamilyMemberWithoutRuleSixKeepsItsSlotEmpty) {
  DirectoryEntry e = natural("0000", "PEREZ GOMEZ JUAN CARLOS");
  e.direc1 = "";
  const PartnerRecord p(e);
  EXPECT_TRUE(p.record().lError);
  EXPECT_EQ(p.record().cError, "Error 1  -  Datos incompletos  ;    ;    ;    ;    ;  ");
  EXPECT_EQ(p.record().priApell, "");  // not blanked
  e.direc1 = "CL 5";
  EXPECT_FALSE(PartnerRecord(e).record().lError);
}

// The class of the language over a directory table written as the ledger writes it (names in
// the OEM code page).
class ThirdPartyClass : public ::testing::Test {
 protected:
  void SetUp() override {
    path = dir.file("VRDIR.DBF");
    store::Dbf t = store::Dbf::create(path,
                                      {{"CLAVE", 'C', 5, 0},
                                       {"NOMBRE", 'C', 60, 0},
                                       {"ESTR_NOMB", 'C', 4, 0},
                                       {"TP_P", 'C', 1, 0},
                                       {"TP_N", 'C', 2, 0},
                                       {"DIREC1", 'C', 40, 0},
                                       {"DIREC4", 'C', 20, 0},
                                       {"C_DPTO", 'C', 2, 0},
                                       {"C_MNCP", 'C', 3, 0},
                                       {"PAIS", 'C', 4, 0}},
                                      {false, false, 2000}, store::kOem850Mark);
    add(t, {"00001", "BANCO ANDINO S.A.", "0000", "J", "31", "CL 1", "800197268-4", "11", "001",
            "0169"});
    add(t, {"00002", ansiToOem("MU\321OZ PE\321A JOS\311"), "1110", "N", "13", "CL 2", "79123456",
            "05", "001", "0169"});
    t.close();
    registerThirdPartyClasses(ip);
  }
  static void add(store::Dbf& t, const std::vector<std::string>& values) {
    std::vector<char> rec = t.blankRecord();
    for (std::size_t i = 0; i < values.size(); ++i)
      t.setText(rec.data(), static_cast<int>(i), values[i]);
    t.append(rec.data());
  }
  std::string text(const std::string& expression) {
    const Value v = ip.evalText(expression);
    return v.isText() ? std::string(v.textView()) : "<" + displayValue(v) + ">";
  }

  storetest::TempDir dir;
  std::string path;
  Interp ip;
  store::Engine engine{ip};
};

TEST_F(ThirdPartyClass, NewReadsTheRecordOnWhichDirecStands) {
  EXPECT_THROW(ip.evalText("TValidTercero():New()"), FailureError);  // DIREC is not open
  const int area = engine.open(path, "DIREC", true, true);
  engine.open(path, "OTRA", true, true);  // another area selected: New reads DIREC all the same
  engine.goTo(ip, area, 2);
  EXPECT_EQ(text("TValidTercero():New():Pri_Apell"), "MU\321OZ");
  EXPECT_EQ(text("TValidTercero():New():Seg_Apell"), "PE\321A");
  EXPECT_EQ(text("TValidTercero():New():Pri_Nomb"), "JOS\311");
  EXPECT_EQ(text("TValidTercero():New():Nit2"), "79123456            ");
  EXPECT_EQ(text("TValidTercero():New():Cta_Dir"), "00002");
  EXPECT_EQ(engine.recNo(area), 2);  // not moved

  engine.goTo(ip, area, 1);
  EXPECT_EQ(text("TValidTercero():New():Razon_Soc"), "BANCO ANDINO S.A." + std::string(43, ' '));
  EXPECT_EQ(text("TValidTercero():New():Dig_Verf"), "4");
  EXPECT_EQ(text("TValidTercero():New():cError"), kFiveSeparators);
  EXPECT_EQ(text("TValidTercero():New():SoloNit()"), "800197268");
  EXPECT_EQ(text("TValidTercero():New():PoneDigVerif()"), "4");
  EXPECT_FALSE(ip.evalText("TValidTercero():New():lError").logical());
  EXPECT_FALSE(ip.evalText("TValidTercero():New():ValidaTodo()").logical());
  EXPECT_THROW(ip.evalText("TValidTercero():New():Nombre"), FailureError);
}

// TDatosTercero:New over output records (TRACON) while a memo lives: a record built again from
// the memo is the one built the first time, the directory is left where the lookup leaves it,
// and a directory seen through a new filter builds the record afresh.
TEST_F(ThirdPartyClass, RecordsKeptWhileAMemoLivesAreTheRecordsTheDirectoryGives) {
  const std::string output = dir.file("TRACON.DBF");
  {
    store::Dbf t = store::Dbf::create(
        output, {{"CTA_DIR", 'C', 5, 0}, {"CONC", 'C', 4, 0}, {"FORM", 'C', 4, 0}});
    add(t, {"00002", "5001", "1001"});
    add(t, {"00009", "5001", "1001"});  // not in the directory
    add(t, {"00002", "5002", "Meno"});
  }
  const int direc = engine.open(path, "DIREC", true, false);
  engine.buildIndex(direc, dir.file("VRDIR.CDX"), "Clave", "CLAVE", store::kNotDeleted);
  const int tracon = engine.open(output, "TRACON", true, true);
  const std::string surname = "TDatosTercero():New('CL 9', '05', '001', '0169'):Pri_Apell";
  const std::string name = "TDatosTercero():New('CL 9', '05', '001', '0169'):Razon_Soc";
  const std::string address = "TDatosTercero():New('CL 9', '05', '001', '0169'):Direccion";

  ThirdPartyMemoScope memo(ip);
  for (int round = 0; round < 2; ++round) {
    engine.goTo(ip, tracon, 1);
    engine.goTo(ip, direc, 1);
    EXPECT_EQ(text(surname), "MU\321OZ") << round;
    EXPECT_EQ(engine.recNo(direc), 2) << round;  // on the third party, as the lookup leaves it
    EXPECT_TRUE(engine.found(direc)) << round;
    engine.goTo(ip, tracon, 2);
    engine.goTo(ip, direc, 1);
    EXPECT_EQ(text(surname), "") << round;
    EXPECT_TRUE(engine.eof(direc)) << round;  // not found: at the end
    engine.goTo(ip, tracon, 3);               // minor amounts: the generic identification
    EXPECT_EQ(text(name), std::string(TDatosTercero::kMinorName)) << round;
    EXPECT_EQ(text(address), "CL 9") << round;
  }
  // Another filter on the directory: the kept records are not the directory's any longer.
  engine.setFilter(ip, direc, "CLAVE <> '00002'");
  engine.goTo(ip, tracon, 1);
  EXPECT_EQ(text(surname), "");
  EXPECT_TRUE(engine.eof(direc));
  engine.setFilter(ip, direc, "");
  EXPECT_EQ(text(surname), "MU\321OZ");
  // A scope that leaves the third party out: the lookup lands elsewhere, the record is built.
  engine.orderScope(ip, direc, 0, Value::text("00003"));
  EXPECT_EQ(text(surname), "");
  EXPECT_TRUE(engine.eof(direc));
  engine.orderScope(ip, direc, 0, Value());
  EXPECT_EQ(text(surname), "MU\321OZ");
  EXPECT_EQ(engine.recNo(direc), 2);
}

// Hundreds of records kept by one memo, for two third parties under the same arguments: each New
// from the memo gives the record built for its own output record and arguments, while the memo
// grows and after a new filter empties it.
TEST_F(ThirdPartyClass, ManyRecordsKeptByOneMemoAreEachGivenBackForTheirOwnKey) {
  const std::string output = dir.file("TRACON.DBF");
  {
    store::Dbf t = store::Dbf::create(
        output, {{"CTA_DIR", 'C', 5, 0}, {"CONC", 'C', 4, 0}, {"FORM", 'C', 4, 0}});
    add(t, {"00001", "5001", "1001"});
    add(t, {"00002", "5001", "1001"});
    add(t, {"00002", "5002", "Meno"});
  }
  const int direc = engine.open(path, "DIREC", true, false);
  engine.buildIndex(direc, dir.file("VRDIR.CDX"), "Clave", "CLAVE", store::kNotDeleted);
  const int tracon = engine.open(output, "TRACON", true, true);
  const auto newWith = [](int i, const char* field) {
    return "TDatosTercero():New('CL " + std::to_string(i) + "', '05', '001', '0169'):" + field;
  };
  ThirdPartyMemoScope memo(ip);
  for (int round = 0; round < 3; ++round) {
    if (round == 2) engine.setFilter(ip, direc, "CLAVE <> '00009'");  // the memo starts again
    for (int i = 1; i <= 400; ++i) {
      engine.goTo(ip, tracon, 1);
      ASSERT_EQ(text(newWith(i, "Razon_Soc")), "BANCO ANDINO S.A." + std::string(43, ' '))
          << round << " " << i;
      EXPECT_EQ(engine.recNo(direc), 1);
      engine.goTo(ip, tracon, 2);
      ASSERT_EQ(text(newWith(i, "Pri_Apell")), "MU\321OZ") << round << " " << i;
      EXPECT_EQ(engine.recNo(direc), 2);
      engine.goTo(ip, tracon, 3);  // minor amounts: the address given
      ASSERT_EQ(text(newWith(i, "Direccion")), "CL " + std::to_string(i)) << round << " " << i;
    }
  }
}

// A record given again from the memo is the object's own: what a definition changes in one object
// (fields assigned, the name split, the checks run) stays out of the kept record and the others.
TEST_F(ThirdPartyClass, ChangesToARecordGivenByTheMemoStayInItsObject) {
  const std::string output = dir.file("TRACON.DBF");
  {
    store::Dbf t = store::Dbf::create(
        output, {{"CTA_DIR", 'C', 5, 0}, {"CONC", 'C', 4, 0}, {"FORM", 'C', 4, 0}});
    add(t, {"00002", "5001", "1001"});
  }
  const int direc = engine.open(path, "DIREC", true, false);
  engine.buildIndex(direc, dir.file("VRDIR.CDX"), "Clave", "CLAVE", store::kNotDeleted);
  const int tracon = engine.open(output, "TRACON", true, true);
  engine.goTo(ip, tracon, 1);
  ThirdPartyMemoScope memo(ip);
  ip.evalText("oA := TDatosTercero():New('CL 9', '05', '001', '0169')");
  ip.evalText("oB := TDatosTercero():New('CL 9', '05', '001', '0169')");  // from the memo
  const std::string address = text("oA:Direccion");
  ip.evalText("oA:Pri_Apell := 'OTRO'");
  ip.evalText("oA:Nombre := 'CAMBIADO'");
  ip.evalText("oA:lError := .T.");
  EXPECT_EQ(text("oA:Pri_Apell"), "OTRO");
  EXPECT_EQ(text("oB:Pri_Apell"), "MU\321OZ");
  EXPECT_EQ(text("oB:Nombre"), text("TDatosTercero():New('CL 9', '05', '001', '0169'):Nombre"));
  EXPECT_NE(text("oB:Nombre"), "CAMBIADO");
  EXPECT_FALSE(ip.evalText("oB:lError").logical());
  // Changed after it was given, the next object from the memo is still the record New built.
  ip.evalText("oB:Direccion := 'OTRA'");
  ip.evalText("oB:ValidaMonto('CR 1', '11', '001', '0169')");
  EXPECT_EQ(text("TDatosTercero():New('CL 9', '05', '001', '0169'):Pri_Apell"), "MU\321OZ");
  EXPECT_EQ(text("TDatosTercero():New('CL 9', '05', '001', '0169'):Direccion"), address);
  EXPECT_EQ(text("oA:Direccion"), address);
  EXPECT_EQ(text("oB:Direccion"), "OTRA");
}

// The texts an object gives are values of their own: kept in variables, arrays and blocks they
// outlive the evaluation that read them, and a change to the object afterwards, or in the same
// expression, leaves what was read as it was.
TEST_F(ThirdPartyClass, FieldTextsOutliveTheEvaluationThatReadThem) {
  const std::string output = dir.file("TRACON.DBF");
  {
    store::Dbf t = store::Dbf::create(
        output, {{"CTA_DIR", 'C', 5, 0}, {"CONC", 'C', 4, 0}, {"FORM", 'C', 4, 0}});
    add(t, {"00002", "5001", "1001"});
    add(t, {"00001", "5001", "1001"});
  }
  const int direc = engine.open(path, "DIREC", true, false);
  engine.buildIndex(direc, dir.file("VRDIR.CDX"), "Clave", "CLAVE", store::kNotDeleted);
  const int tracon = engine.open(output, "TRACON", true, true);
  engine.goTo(ip, tracon, 1);
  // An object of its own (no memo): changed in the same expression after a field was read.
  ip.evalText("oC := TDatosTercero():New('CL 9', '05', '001', '0169')");
  ip.evalText("cAntes := oC:Pri_Apell + Eval({|| oC:Pri_Apell := 'OTRO', ''})");
  ThirdPartyMemoScope memo(ip);
  ip.evalText("oA := TDatosTercero():New('CL 9', '05', '001', '0169')");
  ip.evalText("cApellido := oA:Pri_Apell");
  ip.evalText("aV := {oA:Pri_Apell, oA:Seg_Apell, AllTrim(oA:Direccion)}");
  ip.evalText("bV := {|| cApellido + '/' + oA:Pri_Nomb}");
  // Other records and long texts through the same evaluations meanwhile.
  engine.goTo(ip, tracon, 2);
  for (int i = 0; i < 200; ++i)
    ip.evalText(
        "cZ := Replicate('Z', 300) + TDatosTercero():New('CR 1', '11', '001', '0169'):Razon_Soc");
  EXPECT_EQ(text("cApellido"), "MU\321OZ");
  EXPECT_EQ(text("aV[1]"), "MU\321OZ");
  EXPECT_EQ(text("aV[2]"), "PE\321A");
  EXPECT_EQ(text("aV[3]"), "CL 2");
  EXPECT_EQ(text("Eval(bV)"), "MU\321OZ/JOS\311");
  EXPECT_EQ(text("cAntes"), "MU\321OZ");
  EXPECT_EQ(text("oC:Pri_Apell"), "OTRO");
  EXPECT_EQ(text("Left(cZ, 3) + SubStr(cZ, 301, 5)"), "ZZZBANCO");
}

}  // namespace
