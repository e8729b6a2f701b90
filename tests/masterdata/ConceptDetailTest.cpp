// The description of a concept as the user sees it: the technical rows of the reference data
// (formats without DIAN concepts) show their format's description.
#include <gtest/gtest.h>

#include "masterdata/ReferenceLists.h"

namespace {

using exo::masterdata::conceptDetail;

TEST(ConceptDetail, TechnicalRowsShowTheirFormatsDescription) {
  const std::string technical =
      "Impuesto a las ventas descontable (registro t\351cnico: el formato no tiene concepto DIAN)";
  EXPECT_EQ(conceptDetail(technical, "Impuesto a la Ventas por pagar (Descontable)   "),
            "Impuesto a la Ventas por pagar (Descontable)");
  // A concept of DIAN keeps its own description, trimmed.
  EXPECT_EQ(conceptDetail("Honorarios      ", "Pagos o Abonos en Cuenta"), "Honorarios");
  // Without the format's description there is nothing better to show.
  EXPECT_EQ(conceptDetail(technical, "  "), technical);
}

}  // namespace
