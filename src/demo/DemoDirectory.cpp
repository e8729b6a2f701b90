// The demo company's directory of third parties: customers, suppliers, employees, professionals,
// landlords, banks, social-security entities, the tax office, partners, foreigners and the VAT
// pseudo third parties, with a few defective records of every kind the validation reports.
#include <algorithm>
#include <cstdio>

#include "demo/DemoLedger.h"

namespace exo::demo {
namespace {

const std::vector<std::string> kSurnames = {
    "RODR\315GUEZ", "G\323MEZ",   "GONZ\301LEZ", "MART\315NEZ", "GARC\315A", "L\323PEZ",
    "HERN\301NDEZ", "S\301NCHEZ", "RAM\315REZ",  "P\311REZ",    "D\315AZ",   "MU\321OZ",
    "ROJAS",        "MORENO",     "JIM\311NEZ",  "CASTRO",      "VARGAS",    "ORTIZ",
    "RUIZ",         "OSORIO",     "CASTA\321O",  "PE\321A",     "OCAMPO",    "CARDONA",
    "RESTREPO",     "GIRALDO",    "QUINTERO",    "BOTERO",      "ARIAS",     "SALAZAR",
    "VALENCIA",     "MEJ\315A",   "NU\321EZ",    "BERM\332DEZ", "ZULUAGA",   "CORRALES"};
const std::vector<std::string> kGivenNames = {
    "JOS\311",  "LUIS",     "CARLOS",    "JUAN",      "ANDR\311S", "JORGE",     "DIEGO",
    "SERGIO",   "MAURICIO", "ALEJANDRO", "FERNANDO",  "HERN\301N", "MAR\315A",  "ANA",
    "LUZ",      "CLAUDIA",  "SANDRA",    "PATRICIA",  "ADRIANA",   "M\323NICA", "DIANA",
    "CAROLINA", "PAOLA",    "NATALIA",   "\301NGELA", "GLORIA",    "MARTHA",    "LILIANA"};
const std::vector<std::string> kTradeWords = {"COMERCIALIZADORA", "DISTRIBUIDORA", "INVERSIONES",
                                              "SUMINISTROS",      "INDUSTRIAS",    "TRANSPORTES",
                                              "ALMACENES",        "SERVICIOS",     "FERRETER\315A",
                                              "PAPELER\315A",     "IMPORTADORA",   "SOLUCIONES"};
const std::vector<std::string> kTradeNames = {
    "DEL VALLE",  "ANDINA",    "LA ESPERANZA",     "EL PORVENIR", "DE LA SABANA",  "DEL CARIBE",
    "MONTERREY",  "LOS ALPES", "SAN JORGE",        "LA 80",       "DEL NORTE",     "ORI\323N",
    "TEQUENDAMA", "EL DORADO", "SANTA B\301RBARA", "PACIFICO",    "LA CANDELARIA", "GUADALUPE"};
const std::vector<std::string> kCompanyForms = {"S.A.", "S.A.S.", "LTDA", "& C\315A. S. EN C.",
                                                "S.A.S."};
const std::vector<std::string> kForeignNames = {"GLOBAL TECH SUPPORT INC", "IBERIA SOFTWARE S.L.",
                                                "PACIFIC TRADING CO LTD",  "HANSA MASCHINEN GMBH",
                                                "MEXTRADE S.A. DE C.V.",   "SOFTCORP SYSTEMS LLC"};
struct City {
  const char* department;
  const char* municipality;
  const char* name;
  int weight;
};
const std::vector<City> kCities = {
    {"11", "001", "BOGOT\301", 30},   {"05", "001", "MEDELL\315N", 12},
    {"76", "001", "CALI", 10},        {"08", "001", "BARRANQUILLA", 6},
    {"68", "001", "BUCARAMANGA", 5},  {"13", "001", "CARTAGENA", 3},
    {"66", "001", "PEREIRA", 3},      {"17", "001", "MANIZALES", 2},
    {"25", "754", "SOACHA", 2},       {"25", "473", "MOSQUERA", 2},
    {"05", "360", "ITAG\334\315", 2}, {"54", "001", "C\332CUTA", 2},
    {"73", "001", "IBAGU\311", 2},    {"50", "001", "VILLAVICENCIO", 1},
    {"76", "520", "PALMIRA", 1}};
const std::vector<const char*> kForeignCountries = {"0249", "0245", "0023", "0493", "0215", "0105"};
const std::vector<const char*> kStreets = {"CL", "CRA", "AV", "DG", "TV", "AK"};

const City& pickCity(Random& r) {
  int total = 0;
  for (const City& c : kCities) total += c.weight;
  int n = static_cast<int>(r.below(static_cast<std::uint32_t>(total)));
  for (const City& c : kCities) {
    if (n < c.weight) return c;
    n -= c.weight;
  }
  return kCities.front();
}

std::string address(Random& r) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%s %d # %d-%02d", r.pick(kStreets),
                static_cast<int>(r.range(1, 170)), static_cast<int>(r.range(1, 120)),
                static_cast<int>(r.range(1, 99)));
  std::string s = buf;
  if (r.chance(25)) s += " OF " + std::to_string(r.range(101, 905));
  return s;
}

std::string withDots(const std::string& digits) {
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += '.';
    out += digits[i];
  }
  return out;
}

// A company: NIT of nine digits with its check digit, sometimes written with dots.
void makeLegal(Random& r, ThirdParty& t, const std::string& name) {
  const std::string nit = std::to_string(r.range(800000000, 900999999));
  t.name = name;
  t.structure = "0000";
  t.personType = 'J';
  t.documentType = "31";
  t.identification = (r.chance(15) ? withDots(nit) : nit) + "-" + checkDigit(nit);
}

void makeNatural(Random& r, ThirdParty& t) {
  static const char* kStructures[] = {"1111", "1111", "1110", "1110", "1011", "1010"};
  t.structure = kStructures[r.below(6)];
  std::string name = r.pick(kSurnames);
  if (t.structure[1] == '1') name += " " + r.pick(kSurnames);
  name += " " + r.pick(kGivenNames);
  if (t.structure[3] == '1') name += " " + r.pick(kGivenNames);
  t.name = name;
  t.personType = 'N';
  t.documentType = "13";
  t.identification =
      std::to_string(r.chance(70) ? r.range(10000000, 99999999) : r.range(1010000000, 1130000000));
  // Persons registered for VAT carry a NIT built on their identity card.
  if (r.chance(10)) {
    t.documentType = "31";
    const char dv[3] = {'-', checkDigit(t.identification), '\0'};
    t.identification += dv;
  }
}

std::string companyName(Random& r) {
  return r.pick(kTradeWords) + " " + r.pick(kTradeNames) + " " + r.pick(kCompanyForms);
}

void place(Random& r, ThirdParty& t) {
  const City& c = pickCity(r);
  t.department = c.department;
  t.municipality = c.municipality;
  t.city = c.name;
  t.country = "0169";
  t.address = address(r);
  char phone[16];
  std::snprintf(phone, sizeof phone, "%d%06d", static_cast<int>(r.range(2, 8)),
                static_cast<int>(r.range(0, 999999)));
  t.phone = phone;
}

ThirdParty fixedLegal(Random& r, Role role, const std::string& name) {
  ThirdParty t;
  t.role = role;
  place(r, t);
  makeLegal(r, t, name);
  return t;
}

// Whether a record can carry defect `kind` (see spoil()).
bool suitable(const ThirdParty& t, int kind) {
  if (!t.note.empty() || t.role == Role::Bank || t.role == Role::SocialSecurity ||
      t.role == Role::Government || t.role == Role::Partner || t.role == Role::ForeignSupplier)
    return false;
  switch (kind) {
    case 0:
    case 3: return t.personType == "J" && t.documentType == "31";
    case 2:
    case 5: return t.personType == "N";
    default: return true;
  }
}

// Breaks one rule of the validation: a wrong check digit, a missing address, a natural person
// with the structure of a business name, a legal person without a NIT, a missing municipality,
// a national with a foreigner's document.
void spoil(ThirdParty& t, int kind) {
  switch (kind) {
    case 0: {
      char& digit = t.identification.back();
      digit = static_cast<char>('0' + (digit - '0' + 1) % 10);
      break;
    }
    case 1: t.address.clear(); break;
    case 2: t.structure = "0000"; break;
    case 3:
      t.documentType = "13";
      t.identification.erase(t.identification.find('-'));
      break;
    case 4: t.municipality.clear(); break;
    case 5: t.documentType = "42"; break;
  }
  t.note = "Registro con datos por revisar";
}

void spoilSome(Random& r, std::vector<ThirdParty>& out) {
  for (int kind = 0; kind < 6; ++kind) {
    for (ThirdParty& t : out) {
      if (suitable(t, kind)) {
        spoil(t, kind);
        break;
      }
    }
  }
  for (ThirdParty& t : out) {
    const int kind = static_cast<int>(r.below(6));
    if (r.chance(2) && suitable(t, kind)) spoil(t, kind);
  }
  // A foreigner recorded with a NIT.
  for (ThirdParty& t : out) {
    if (t.role == Role::ForeignSupplier) {
      t.documentType = "31";
      t.note = "Registro con datos por revisar";
      break;
    }
  }
}

}  // namespace

char checkDigit(std::string_view digits) {
  static const int kWeights[15] = {71, 67, 59, 53, 47, 43, 41, 37, 29, 23, 19, 17, 13, 7, 3};
  std::string padded(15 - std::min<std::size_t>(15, digits.size()), '0');
  padded += digits.substr(digits.size() > 15 ? digits.size() - 15 : 0);
  int sum = 0;
  for (int i = 0; i < 15; ++i) sum += (padded[i] - '0') * kWeights[i];
  const int r = sum % 11;
  return static_cast<char>('0' + (r <= 1 ? r : 11 - r));
}

std::vector<ThirdParty> makeDirectory(Random& r, std::size_t count) {
  std::vector<ThirdParty> out;
  auto add = [&](ThirdParty t) { out.push_back(std::move(t)); };
  // Fixed parties every company has.
  add(fixedLegal(r, Role::Bank, "BANCO ANDINO S.A."));
  add(fixedLegal(r, Role::Bank, "BANCO CAFETERO DEL SUR S.A."));
  add(fixedLegal(r, Role::Bank, "CORPORACI\323N FINANCIERA DE LA SABANA S.A."));
  for (const char* name :
       {"EPS VIDA PLENA S.A.", "EPS SALUD COLOMBIA S.A.", "FONDO DE PENSIONES AMANECER S.A.",
        "FONDO DE PENSIONES HORIZONTE S.A.", "ARP SEGUROS DEL TRABAJO S.A.",
        "CAJA DE COMPENSACI\323N FAMILIAR COMFAVALLE", "INSTITUTO COLOMBIANO DE BIENESTAR FAMILIAR",
        "SERVICIO NACIONAL DE APRENDIZAJE SENA"})
    add(fixedLegal(r, Role::SocialSecurity, name));
  add(fixedLegal(r, Role::Government, "DIRECCI\323N DE IMPUESTOS Y ADUANAS NACIONALES"));
  add(fixedLegal(r, Role::Government, "SECRETAR\315A DE HACIENDA MUNICIPAL"));
  for (int i = 0; i < 3; ++i) {
    ThirdParty t;
    t.role = Role::Partner;
    place(r, t);
    if (i == 2) {
      makeLegal(r, t, "INVERSIONES " + r.pick(kTradeNames) + " S.A.S.");
    } else {
      makeNatural(r, t);
    }
    add(std::move(t));
  }
  const std::size_t fixed = out.size() + 2;  // and the two VAT pseudo parties
  const std::size_t rest = count > fixed + 40 ? count - fixed : 40;
  struct Share {
    Role role;
    int percent;
  };
  const Share shares[] = {{Role::Customer, 45},       {Role::Supplier, 18},
                          {Role::SmallSupplier, 8},   {Role::Employee, 15},
                          {Role::Professional, 6},    {Role::Landlord, 3},
                          {Role::ForeignSupplier, 3}, {Role::Customer, 2}};
  for (const Share& s : shares) {
    const std::size_t n = std::max<std::size_t>(2, rest * s.percent / 100);
    for (std::size_t i = 0; i < n; ++i) {
      ThirdParty t;
      t.role = s.role;
      place(r, t);
      const bool natural = s.role == Role::Employee || s.role == Role::Professional ||
                           (s.role == Role::Landlord && r.chance(60)) ||
                           (s.role == Role::Customer && r.chance(30)) ||
                           (s.role == Role::SmallSupplier && r.chance(50));
      if (s.role == Role::ForeignSupplier) {
        t.name = r.pick(kForeignNames);
        t.structure = "0000";
        t.personType = 'J';
        t.documentType = r.chance(50) ? "42" : "43";
        t.identification = std::to_string(r.range(100000000, 999999999));
        t.country = r.pick(kForeignCountries);
        t.department = "11";
        t.municipality = "001";
        t.city = "EXTERIOR";
      } else if (natural) {
        makeNatural(r, t);
      } else {
        makeLegal(r, t, companyName(r));
      }
      t.withholdsVat = s.role == Role::Customer && t.personType == "J" && r.chance(30);
      if (r.chance(40)) t.email = "contabilidad@empresa" + std::to_string(out.size()) + ".com.co";
      add(std::move(t));
    }
  }
  spoilSome(r, out);
  for (std::size_t i = 0; i < out.size(); ++i) {
    char key[24];
    std::snprintf(key, sizeof key, "%05zu", i + 1);
    out[i].key = key;
  }
  for (const char* name : {"IVA GENERADO", "IVA DESCONTABLE"}) {
    ThirdParty t;
    t.role = Role::VatPseudo;
    t.key = out.back().role == Role::VatPseudo ? "IVA02" : "IVA01";
    t.name = name;
    t.structure = "0000";
    t.personType = 'J';
    t.documentType = "31";
    t.identification = "800197268-4";
    t.country = "0169";
    t.department = "11";
    t.municipality = "001";
    t.city = "BOGOT\301";
    t.address = "CRA 8 # 6C-38";
    out.push_back(std::move(t));
  }
  return out;
}

}  // namespace exo::demo
