// The review dialog of the withholding bases and the manual-data dialogs over real tables, on
// the offscreen platform: what the grids show, edits written at once, the picker's marks and
// choice, and pictures of each dialog.
#include <gtest/gtest.h>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "GuiTestSupport.h"
#include "consolidation/BasesFixture.h"
#include "consolidation/pages/BasesGrid.h"
#include "consolidation/pages/ManualDataDialogs.h"
#include "consolidation/pages/ThirdPartyPicker.h"
#include "consolidation/pages/WithholdingBasesDialog.h"
#include "ui/BrowseGrid.h"

namespace {

using basestest::Company;
using namespace exo;

template <class D>
D* modal() {
  return qobject_cast<D*>(QApplication::activeModalWidget());
}

QString cell(QAbstractItemModel* m, int row, int column) {
  return m->data(m->index(row, column), Qt::DisplayRole).toString().trimmed();
}

TEST(BasesDialogs, WithholdingReviewEditsPercentagesAndHidesConcept2302) {
  guitest::app();
  Company c;
  c.chart({{"2367050001", 0, "RETEIVA"}, {"2365050001", 3.5, "RETENCION"}});
  c.directory({terceros::sound("A0001", "ALFA LTDA")});
  c.formatTable("1002", {{"A0001", "2367050001", "2318", -800, "2"},
                         {"A0001", "2365050001", "2304", -350, "2"},
                         {"A0001", "2365050001", "2302", -90, "2"}});
  int rows = -1;
  QString title, base, baseAfter, columns;
  QTimer::singleShot(0, [&] {
    auto* d = modal<consolidation::WithholdingBasesDialog>();
    if (d == nullptr) return;
    title = d->windowTitle();
    QAbstractItemModel* m = d->grid()->model();
    rows = m->rowCount();
    for (int i = 0; i < m->columnCount(); ++i)
      columns += m->headerData(i, Qt::Horizontal, Qt::DisplayRole).toString() + "|";
    base = cell(m, 1, 6);
    // The VAT percentage of the 2318 row set to 0: the base of the retention alone.
    EXPECT_TRUE(m->setData(m->index(1, 5), QStringLiteral("0"), Qt::EditRole));
    baseAfter = cell(m, 1, 6);
    // A text that is no number is refused.
    EXPECT_FALSE(m->setData(m->index(1, 4), QStringLiteral("abc"), Qt::EditRole));
    EXPECT_EQ(d->grid()->frozenColumns(), 4);
    int used = 0;
    for (int i = 0; i < m->columnCount(); ++i) used += d->grid()->columnWidth(i);
    EXPECT_GE(used, d->grid()->viewport()->width());  // the name takes the free width
    guitest::picture(*d, "bases-retenciones-1002");
    d->accept();
  });
  consolidation::REGUL_BASE_RET(*c.session, c.engine, nullptr);
  EXPECT_TRUE(title.startsWith(QStringLiteral("Regularizaci\u00f3n de Bases en Retenciones")));
  EXPECT_EQ(rows, 2);  // 2302 not shown
  EXPECT_EQ(columns, QStringLiteral("C\u00f3digo|Nombre|Concepto|Valor\nretenido|%\nRetenc.|% "
                                    "IVA\naplicado|Valor Base|"));
  EXPECT_EQ(base, "10,000");
  EXPECT_EQ(baseAfter, "1,600");
  EXPECT_EQ(c.ui.callsOf("message").size(), 1u);  // the refused text
  // The table is closed with the dialog, the edit on disk.
  EXPECT_EQ(c.engine.areaOf("BaseRet"), 0);
  EXPECT_EQ(c.column("TrF1002B.dbf", "POR_IVA")[1], "0.000000");
}

TEST(BasesDialogs, PartnersDialogImportsMarkedThirdPartiesThroughThePicker) {
  guitest::app();
  Company c;
  c.directory({terceros::sound("A0001", "ALFA LTDA"), terceros::sound("B0002", "BETA SA"),
               terceros::sound("C0003", "GAMA SA")});
  int rowsAfter = -1;
  QString code, firstName, pickerColumns;
  QTimer::singleShot(0, [&] {
    auto* d = modal<consolidation::ManualDataDialog>();
    if (d == nullptr) return;
    QTimer::singleShot(0, [&] {
      auto* p = modal<consolidation::ThirdPartyPicker>();
      if (p == nullptr) return;
      QAbstractItemModel* m = p->grid()->model();
      for (int i = 0; i < m->columnCount(); ++i)
        pickerColumns += m->headerData(i, Qt::Horizontal, Qt::DisplayRole).toString() + "|";
      p->toggle(2);
      p->toggle(0);
      p->search(QStringLiteral("BETA"), consolidation::SearchField::Name);
      EXPECT_EQ(p->currentCode(), "B0002");
      guitest::picture(*p, "selector-terceros");
      p->accept();
    });
    d->button(QStringLiteral("&Importar Tercero"))->click();
    rowsAfter = d->grid()->model()->rowCount();
    d->grid()->setCurrentIndex(d->grid()->model()->index(0, 0));
    code = d->detail(QStringLiteral("C\u00f3digo:"));
    firstName = cell(d->grid()->model(), 0, 0);
    EXPECT_TRUE(d->grid()->model()->setData(d->grid()->model()->index(0, 1),
                                            QStringLiteral("2,500,000"), Qt::EditRole));
    // The name column takes the grid's free width: no grey space on its right.
    int used = 0;
    for (int i = 0; i < d->grid()->model()->columnCount(); ++i) used += d->grid()->columnWidth(i);
    EXPECT_GE(used, d->grid()->viewport()->width());
    EXPECT_EQ(d->grid()->stretchColumn(), 0);
    // Every detail field is as tall as its font with the accents of capitals ("L\u00d3PEZ").
    for (QLabel* l : d->findChildren<QLabel*>()) {
      if (l->frameShape() == QFrame::NoFrame) continue;
      const int needed =
          l->fontMetrics().boundingRect(QStringLiteral("L\u00d3PEZ \u00c1\u00d1")).height();
      // Inside its frame and its padding of one pixel above and below, even when the dialog is
      // short of room.
      EXPECT_GE(l->height(), needed + 2 * l->frameWidth() + 2) << l->text().toStdString();
    }
    guitest::picture(*d, "datos-1010");
    d->button(QStringLiteral("&Salir"))->click();
  });
  EXPECT_TRUE(consolidation::REGUL_FORM10(*c.session, c.engine, nullptr));
  EXPECT_EQ(pickerColumns, QStringLiteral("Sel|C\u00f3digo|Nombre|NIT|"));
  EXPECT_EQ(rowsAfter, 2);
  EXPECT_EQ(code, "A0001");
  EXPECT_EQ(firstName, "ALFA LTDA");
  EXPECT_EQ(c.column("TrF1010B.dbf", "VAL"),
            (std::vector<std::string>{"2500000.000000", "0.000000"}));
}

TEST(BasesDialogs, AccountsDialogTakesOneThirdPartyForTheCurrentRow) {
  guitest::app();
  Company c;
  c.chart({{"1205050001", 0, "ACCIONES ALFA"}});
  c.directory({terceros::sound("A0001", "ALFA LTDA"), terceros::sound("B0002", "BETA SA")});
  c.assign({{"1012", "8201", "1205050001"}, {"1012", "8202", "1205050001"}});
  c.formatTable("1012", {{"A0001", "1205050001", "8202", 750}});
  QString tercero, saldo, pickerColumns;
  QTimer::singleShot(0, [&] {
    auto* d = modal<consolidation::ManualDataDialog>();
    if (d == nullptr) return;
    d->grid()->setCurrentIndex(d->grid()->model()->index(1, 0));
    QTimer::singleShot(0, [&] {
      auto* p = modal<consolidation::ThirdPartyPicker>();
      if (p == nullptr) return;
      QAbstractItemModel* m = p->grid()->model();
      for (int i = 0; i < m->columnCount(); ++i)
        pickerColumns += m->headerData(i, Qt::Horizontal, Qt::DisplayRole).toString() + "|";
      p->grid()->setCurrentIndex(m->index(1, 0));
      emit p->grid()->rowActivated(1);  // Enter accepts in the single picker
    });
    d->button(QStringLiteral("&Importar Tercero"))->click();
    tercero = cell(d->grid()->model(), 1, 3);
    saldo = d->detail(QStringLiteral("Saldo:"));
    guitest::picture(*d, "datos-1012");
    d->button(QStringLiteral("&Salir"))->click();
  });
  EXPECT_TRUE(consolidation::REGUL_FORM12(*c.session, c.engine, nullptr));
  EXPECT_EQ(pickerColumns, QStringLiteral("C\u00f3digo|Nombre|NIT|"));
  EXPECT_EQ(tercero, "BETA SA");
  EXPECT_EQ(saldo, "750");
  EXPECT_EQ(c.column("TrF1012B.dbf", "CLAVE"), (std::vector<std::string>{"     ", "B0002"}));
}

TEST(BasesDialogs, DiscountsDialogShowsTheConceptsAndWritesAmounts) {
  guitest::app();
  Company c;
  c.formatTable("1004", {});
  QString title, conceptText;
  int rows = -1;
  QTimer::singleShot(0, [&] {
    auto* d = modal<consolidation::ManualDataDialog>();
    if (d == nullptr) return;
    title = d->windowTitle();
    rows = d->grid()->model()->rowCount();
    conceptText = d->detail(QStringLiteral("Detalle"));
    EXPECT_TRUE(d->grid()->model()->setData(d->grid()->model()->index(0, 2), QStringLiteral("4500"),
                                            Qt::EditRole));
    guitest::picture(*d, "datos-1004");
    d->button(QStringLiteral("Salir"))->click();
  });
  EXPECT_TRUE(consolidation::REGUL_FORM04(*c.session, c.engine, nullptr));
  EXPECT_EQ(title, QStringLiteral("Ingrese datos para formato  1004"));
  EXPECT_GT(rows, 0);
  EXPECT_FALSE(conceptText.isEmpty());
  EXPECT_EQ(c.column("TrF1004B.dbf", "VLR_ADIC1").front(), "4500.000000");
}

}  // namespace
