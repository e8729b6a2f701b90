// Where a third party's total for one concept goes in the output of a threshold format (1001,
// 1002, 1003, 1005 to 1009): reported by itself, gathered into the concept's minor-amounts
// record, or dropped. One rule, used by the builders that write the files and by the coverage
// workbook that tells how much of each concept went to minor amounts, so that the two never
// disagree.
//
// The rule: a third party has one threshold over the whole format, the BASE of its first
// movement, compared with its total over all its concepts signed by the nature of that first
// movement (1001: concept 5001 apart from the others and the total taken as stored; 1006: the
// tax amount; 1009: its own sign rule). Below the threshold its concept totals go to the
// minor-amounts record when the total is above zero and are dropped otherwise; 1008 and 1009 keep
// their own rules (see placeRecord).
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace exo::store {
class Engine;
}

namespace exo::generation {

// A third party's totals over its movements (of one group of concepts): the amounts summed, the
// nature and threshold of its first movement.
struct PartyTotal {
  double monto = 0;
  double adic = 0;
  std::string nat;
  double base = 0;
};

enum class Placement { Dropped, MinorAmounts, Own };

// Where the total `own` (MONTO summed) of a third party for concept `conceptCode` goes, given the
// third party's total `party` (for 1001 and concept 5001, its 5001 total; otherwise its total
// over the format's other concepts). `signedTotal` receives the total compared with the
// threshold.
Placement placeRecord(int formatNumber, std::string_view conceptCode, double own,
                      const PartyTotal& party, double& signedTotal);

// The amount a record of nature `nat` is reported with (MONTO as the output table carries it).
double reportedAmount(int formatNumber, std::string_view nat, double monto);

// The FORM mark of the records gathered for a concept: "Meno", or "1318" for concept 1318 of
// 1008, whose aggregate is reported apart from the minor amounts.
std::string gatheredForm(int formatNumber, std::string_view conceptCode);

// The minor-amounts record of each concept (trimmed concept code -> MONTO as reported) that the
// builder makes from the format movement table open in `area` (read in record order; the
// records are not changed). Concepts without a minor-amounts record are absent. Formats without
// thresholds (1004, 1010, 1011, 1012) give none.
std::map<std::string, double> minorAmountsByConcept(store::Engine& engine, int area,
                                                    int formatNumber);

}  // namespace exo::generation
