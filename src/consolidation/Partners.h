// The records of the holders of formats 1010 (partners and shareholders) and 1012 (balances per
// holder): TDatosSocios turns the directory record of a third party into the identification
// fields of a holder row, with the rules of a well-formed third party but the one on natural
// persons without name structure; TBaseSocios reads one row of a holder table ("TrF1010B.dbf" or
// "TrF1012B.dbf") for the detail panel of its dialog.
#pragma once

#include <string>

#include "masterdata/ThirdParty.h"

namespace exo {
class Interp;
}
namespace exo::store {
class Engine;
}

namespace exo::consolidation {

// TDatosSocios: the third-party record with the directory name beside it, judged by rules 1 to 5
// (its error text keeps the sixth slot empty).
class TDatosSocios : public masterdata::ThirdPartyBase {
 public:
  TDatosSocios() : ThirdPartyBase(masterdata::kRulesOneToFive) {}

  // New: the record of the directory record on which `direcArea` stands (not moved).
  static TDatosSocios New(Interp& ip, int direcArea);
  static TDatosSocios New(const masterdata::DirectoryEntry& entry);

  // Nombre: the third party's name in the directory, 40 characters.
  const std::string& nombre() const { return m_nombre; }

  bool ValidaTodo();
  std::string SoloNit() const { return identificationWithoutDigit(); }
  std::string PoneDigVerif() const { return writtenCheckDigit(); }
  void PoneNombre() { splitName(); }

 private:
  std::string m_nombre;
};

// TBaseSocios: the current row of a holder table. Fields a format does not use stay empty: the
// address and location codes belong to 1010, the balance to 1012.
struct TBaseSocios {
  std::string clave, tDoc, nId, dv, apl1, apl2, nom1, nom2, raz, dir, dpto, mncp, pais;
  double nSaldo = 0;
  bool hasSaldo = false;  // nSaldo was read (format 1012)
  bool lError = false;
  std::string cError = std::string(50, ' ');

  // New: reads the row on which `area` stands; `formatNumber` is 10 or 12.
  static TBaseSocios New(store::Engine& engine, int area, int formatNumber);
};

// The full name of a holder: the business name when there is one, else the surnames and names
// present joined by single blanks.
std::string fullName(std::string_view raz, std::string_view apl1, std::string_view apl2,
                     std::string_view nom1, std::string_view nom2);

}  // namespace exo::consolidation
