// The placement rule of the threshold formats and the minor amounts it gives.
#include "generation/MinorAmounts.h"

#include <cmath>
#include <utility>
#include <vector>

#include "expr/Text.h"
#include "store/Engine.h"

namespace exo::generation {

namespace {

constexpr std::string_view kMinor = "Meno";

bool isThresholdFormat(int n) { return n >= 1 && n <= 9 && n != 4; }

}  // namespace

Placement placeRecord(int n, std::string_view conc, double own, const PartyTotal& p,
                      double& total) {
  total = 0;
  if ((n == 8 || n == 9) && std::round(own) == 0) return Placement::Dropped;
  if (n == 1) total = p.monto;
  else if (n == 6) total = p.adic;
  else if (n == 9) total = p.nat.starts_with("2") ? -p.monto : p.monto;
  else total = p.nat.starts_with("1") ? p.monto : -p.monto;
  if (n == 8 && conc == "1318") total = -total;
  if (n == 8) return total < p.base ? Placement::MinorAmounts : Placement::Own;
  if (n == 9) {
    if (total < p.base || own > 0) return Placement::MinorAmounts;
    return own < 0 ? Placement::Own : Placement::Dropped;
  }
  if (total < p.base) return total > 0 ? Placement::MinorAmounts : Placement::Dropped;
  return Placement::Own;
}

double reportedAmount(int n, std::string_view nat, double monto) {
  if (n == 1) return monto;
  if (n == 9) return nat.starts_with("2") ? -monto : monto;
  return nat.starts_with("1") ? monto : -monto;
}

std::string gatheredForm(int n, std::string_view conc) {
  return n == 8 && conc == "1318" ? std::string("1318") : std::string(kMinor);
}

std::map<std::string, double> minorAmountsByConcept(store::Engine& engine, int area, int n) {
  std::map<std::string, double> minor;
  if (!isThresholdFormat(n)) return minor;
  // The totals the builder makes: per third party (1001: concept 5001 apart) and per third party
  // and concept, each with the nature and threshold of its first movement.
  struct Group {
    double monto = 0;
    std::string nat;
  };
  std::map<std::string, PartyTotal> byParty, by5001;
  std::map<std::pair<std::string, std::string>, Group> byConcept;
  const bool sumsAdic = n == 6 || n == 7;
  const bool hasAdic = engine.fieldIndex(area, "VLR_ADIC1") >= 0;
  const bool hasType = engine.fieldIndex(area, "TIPO_COMP") >= 0;
  engine.forEach(area, [&] {
    const std::string party = engine.text(area, "CTA_DIR");
    const std::string conc(trimBlanks(engine.text(area, "CONC")));
    const std::string nat(trimBlanks(engine.text(area, "NAT")));
    double monto = engine.number(area, "MONTO");
    double adic = hasAdic ? engine.number(area, "VLR_ADIC1") : 0.0;
    // 1007: income moved to returns (debits, and negative amounts of sale-return vouchers).
    if (n == 7 && (monto > 0 ||
                   (hasType && trimRight(engine.text(area, "TIPO_COMP")) == "FD" && monto < 0))) {
      adic = monto;
      monto = 0;
    }
    auto& totals = n == 1 && conc == "5001" ? by5001 : byParty;
    auto [it, fresh] = totals.try_emplace(party);
    if (fresh) {
      it->second.nat = nat;
      it->second.base = engine.number(area, "BASE");
    }
    it->second.monto += monto;
    if (sumsAdic) it->second.adic += adic;
    auto [g, first] = byConcept.try_emplace({party, conc});
    if (first) g->second.nat = nat;
    g->second.monto += monto;
    return true;
  });
  for (const auto& [key, g] : byConcept) {
    const auto& totals = n == 1 && key.second == "5001" ? by5001 : byParty;
    const auto p = totals.find(key.first);
    if (p == totals.end()) continue;
    double total = 0;
    if (placeRecord(n, key.second, g.monto, p->second, total) != Placement::MinorAmounts) continue;
    if (gatheredForm(n, key.second) != kMinor) continue;
    minor[key.second] += reportedAmount(n, g.nat, g.monto);
  }
  // 1008 and 1009 report a concept's minor amounts only when they add up to more than zero.
  if (n == 8 || n == 9)
    for (auto it = minor.begin(); it != minor.end();)
      it = it->second > 0 ? std::next(it) : minor.erase(it);
  return minor;
}

}  // namespace exo::generation
