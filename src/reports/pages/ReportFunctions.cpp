// The language functions of printing, browsing and viewing.
#include "reports/pages/ReportFunctions.h"

#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QMainWindow>
#include <QMenuBar>
#include <QPrinterInfo>
#include <QStandardItemModel>
#include <QVBoxLayout>
#include <cctype>
#include <cmath>
#include <fstream>

#include "expr/Functions.h"
#include "expr/Interp.h"
#include "expr/Object.h"
#include "expr/PathPolicy.h"
#include "expr/Text.h"
#include "expr/WorkAreas.h"
#include "shell/Paths.h"
#include "shell/UserInterface.h"
#include "store/Engine.h"
#include "ui/BrowseGrid.h"
#include "ui/SideBar.h"
#include "ui/Text.h"
#include "ui/WorkAreaModel.h"

namespace exo::reports {

using ui::qt;

ReportWindowContext& reportWindowContext() {
  static ReportWindowContext context;
  return context;
}

namespace {

constexpr std::string_view kTitle = "Atenci\363n.....";

// A file name made of the plain characters of a title.
std::string plainFileName(std::string_view title) {
  std::string name;
  for (const char c : trimBlanks(title)) {
    const auto u = static_cast<unsigned char>(c);
    name += (std::isalnum(u) != 0 || c == '-' || c == '_') ? c : '_';
  }
  return name.empty() ? std::string("Informe") : name;
}

std::filesystem::path pdfFor(std::string_view title) {
  return reportWindowContext().pdfFolder / (plainFileName(title) + ".pdf");
}

// --- printer, font and pen objects -------------------------------------------------------------

class FontObject final : public Object {
 public:
  explicit FontObject(QFont f) : font(std::move(f)) {}
  std::string_view className() const override { return "TFont"; }
  Value send(Interp& ip, const std::string& name, std::span<Value>, bool) override {
    if (name == "CFACENAME") return Value::text(ui::core(font.family()));
    if (name == "NHEIGHT") return Value::number(font.pointSizeF());
    if (name == "LBOLD") return Value::logical(font.bold());
    if (name == "LITALIC") return Value::logical(font.italic());
    if (name == "END") return Value();
    return messageNotFound(ip, className(), name, false);
  }
  Value assign(Interp& ip, const std::string& name, const Value&) override {
    return messageNotFound(ip, className(), name, true);
  }
  QFont font;
};

class PenObject final : public Object {
 public:
  explicit PenObject(QPen p) : pen(std::move(p)) {}
  std::string_view className() const override { return "TPen"; }
  Value send(Interp& ip, const std::string& name, std::span<Value>, bool) override {
    if (name == "NWIDTH") return Value::number(pen.widthF());
    if (name == "END") return Value();
    return messageNotFound(ip, className(), name, false);
  }
  Value assign(Interp& ip, const std::string& name, const Value&) override {
    return messageNotFound(ip, className(), name, true);
  }
  QPen pen;
};

// TPrinter:New(cDocument, lPreview): a print job; StartPage, EndPage, Say(nRow, nCol, cText,
// oFont) in centimetres, Cmtr2Pix(nRow, nCol) -> {y, x}, nVertRes, nHorzRes, cFile (the PDF
// written when no printer is installed), End (shows the preview or prints).
class PrinterObject final : public Object {
 public:
  std::string_view className() const override { return "TPrinter"; }
  Value send(Interp& ip, const std::string& name, std::span<Value> args, bool) override {
    const Value self = Value::object(Ref<Object>(this));
    const auto arg = [&](std::size_t i) { return i < args.size() ? args[i] : Value(); };
    const auto num = [&](std::size_t i) {
      const Value v = arg(i);
      return v.isNumber() ? v.num() : 0.0;
    };
    if (name == "NEW") {
      const std::string doc =
          arg(0).isText() ? std::string(arg(0).textView()) : std::string("Informe");
      const bool preview = arg(1).isLogical() ? arg(1).logical() : true;
      job = std::make_unique<PrintJob>(qt(doc), preview && reportWindowContext().preview,
                                       pdfFor(doc));
      return self;
    }
    if (!job) return messageNotFound(ip, className(), name, false);
    if (name == "STARTPAGE") return job->startPage(), self;
    if (name == "ENDPAGE") return job->endPage(), self;
    if (name == "SAY" || name == "CMSAY") {
      QFont font(QStringLiteral("Arial"), 10);
      if (arg(3).isObject() && arg(3).objectRef().className() == "TFont")
        font = static_cast<FontObject&>(arg(3).objectRef()).font;
      const std::string text = arg(2).isText() ? std::string(arg(2).textView())
                                               : std::string(trimBlanks(displayValue(arg(2))));
      job->text({job->cmToX(num(1)), job->cmToY(num(0))}, qt(text), font);
      return self;
    }
    if (name == "CMTR2PIX") {
      Value pair = Value::newArray(0);
      pair.arrayData().items.push_back(Value::number(std::round(job->cmToY(num(0)))));
      pair.arrayData().items.push_back(Value::number(std::round(job->cmToX(num(1)))));
      return pair;
    }
    if (name == "NVERTRES") return Value::number(std::round(job->page().height()));
    if (name == "NHORZRES") return Value::number(std::round(job->page().width()));
    if (name == "CFILE") return Value::text(job->toPdf() ? job->pdfFile().string() : "");
    if (name == "END") {
      finish();
      return Value();
    }
    return messageNotFound(ip, className(), name, false);
  }
  Value assign(Interp& ip, const std::string& name, const Value&) override {
    return messageNotFound(ip, className(), name, true);
  }
  void finish() {
    if (!job) return;
    const bool printed = job->finish();
    if (printed && job->toPdf() && !job->printer().outputFileName().isEmpty() &&
        !reportWindowContext().preview && reportWindowContext().ui != nullptr)
      reportWindowContext().ui->openWithShell(job->pdfFile().string());
    job.reset();
  }
  std::unique_ptr<PrintJob> job;
};

PrinterObject* printerOf(const Value& v) {
  if (!v.isObject() || v.objectRef().className() != "TPrinter") return nullptr;
  auto* p = static_cast<PrinterObject*>(&v.objectRef());
  return p->job ? p : nullptr;
}

Value tprinterFn(Args&) { return Value::object(Ref<Object>(new PrinterObject)); }

// ACTIVAFONT(cFace, nWidth, nHeight, oPrn, lBold, lItalic)
Value activafontFn(Args& a) {
  QFont font(qt(a.text(0)));
  const double height = std::abs(a.num(2, 10));
  font.setPointSizeF(height > 0 ? height : 10);
  font.setBold(a.logical(4, false));
  font.setItalic(a.logical(5, false));
  return Value::object(Ref<Object>(new FontObject(font)));
}

// ACTIVAPEN(oPrn, nWidth, nStyle): a pen of the default colour.
Value activapenFn(Args& a) {
  static constexpr Qt::PenStyle kStyles[] = {Qt::SolidLine,   Qt::DashLine,       Qt::DotLine,
                                             Qt::DashDotLine, Qt::DashDotDotLine, Qt::NoPen};
  const int style = static_cast<int>(a.num(2, 0));
  QPen pen(Qt::black);
  pen.setWidthF(std::max(0.0, a.num(1, 1)));
  pen.setStyle(style >= 0 && style < 6 ? kStyles[style] : Qt::SolidLine);
  return Value::object(Ref<Object>(new PenObject(pen)));
}

// CAJARECT / LINEA(nTop, nLeft, nBottom, nRight, oPrn, oPen, nUnits): units 1 centimetres,
// 2 device pixels, anything else draws nothing.
template <bool Box>
Value drawFn(Args& a) {
  PrinterObject* prn = printerOf(a[4]);
  if (prn == nullptr) return a.fail();
  QPen pen(Qt::black);
  if (a[5].isObject() && a[5].objectRef().className() == "TPen")
    pen = static_cast<PenObject&>(a[5].objectRef()).pen;
  const int units = static_cast<int>(a.num(6, 1));
  double top = a.num(0), left = a.num(1), bottom = a.num(2), right = a.num(3);
  if (units == 1) {
    top = prn->job->cmToY(top);
    bottom = prn->job->cmToY(bottom);
    left = prn->job->cmToX(left);
    right = prn->job->cmToX(right);
  } else if (units != 2) {
    return Value();
  }
  if (Box) prn->job->rect(QRectF(QPointF(left, top), QPointF(right, bottom)), pen);
  else prn->job->line(QLineF(left, top, right, bottom), pen);
  return Value();
}

// REPMIBRW(oBrowse, cTitle): the table of the browse (here: an alias), else the selected one.
Value repmibrwFn(Args& a) {
  Interp& ip = a.interp();
  WorkAreas* w = ip.workAreas();
  if (w == nullptr) return Value();
  int area = w->selected();
  if (a[0].isText()) area = w->areaOf(trimBlanks(a[0].textView()));
  if (area == 0 || !w->isUsed(area)) return Value();
  const std::string title = a.has(1) ? std::string(a.text(1)) : w->aliasOf(area);
  const Value company = ip.evalText("G_EMPRESA");
  const std::string companyName =
      company.isText() ? std::string(trimBlanks(company.textView())) : std::string();

  shell::UserInterface* ui = reportWindowContext().ui;
  if (ui != nullptr) ui->waitOpen("Procesando Informe......", std::nullopt);
  struct Close {
    shell::UserInterface* ui;
    ~Close() {
      if (ui != nullptr) ui->waitClose();
    }
  } close{ui};
  PrinterObject printer;
  printer.job = std::make_unique<PrintJob>(QStringLiteral("Informes Norvasta 2000"),
                                           reportWindowContext().preview, pdfFor(title));
  if (printListing(ip, area, title, companyName, *printer.job) && printer.job->toPdf() &&
      !reportWindowContext().preview && ui != nullptr)
    ui->openWithShell(printer.job->pdfFile().string());
  return Value();
}

// HACEBROWSE(cAlias): the generic browse window over the alias or the selected area.
Value hacebrowseFn(Args& a) {
  ReportWindowContext& ctx = reportWindowContext();
  Interp& ip = a.interp();
  WorkAreas* w = ip.workAreas();
  if (w == nullptr || ctx.engine == nullptr) return Value();
  const int area = a[0].isText() ? w->areaOf(trimBlanks(a[0].textView())) : w->selected();
  if (area == 0 || !w->isUsed(area)) {
    if (ctx.ui != nullptr)
      ctx.ui->message(shell::MessageKind::Alert, kTitle, "No hay una tabla abierta para mostrar.");
    return Value();
  }
  std::vector<ui::GridColumn> columns;
  for (const FieldInfo& f : w->fields(area)) {
    ui::GridColumn c;
    c.heading = qt(f.name);
    c.expression = f.name;
    c.width = std::max<int>(static_cast<int>(f.name.size()), f.type == 'D' ? 10 : f.width);
    if (f.type == 'N') c.alignment = Qt::AlignRight | Qt::AlignVCenter;
    if (f.type == 'M') c.width = 30;
    columns.push_back(std::move(c));
  }
  auto* dialog = new QDialog(ctx.mainWindow);
  dialog->setObjectName(QStringLiteral("HACEBROWSE"));
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setWindowTitle(qt(w->aliasOf(area)));
  auto* grid = new ui::BrowseGrid(dialog);
  auto* model = new ui::WorkAreaModel(*ctx.engine, area, std::move(columns), grid);
  grid->setModel(model);
  auto* layout = new QVBoxLayout(dialog);
  layout->addWidget(grid);
  dialog->resize(760, 480);
  dialog->show();
  return Value();
}

// SEETEXTO(cFile): the text viewer.
Value seetextoFn(Args& a) {
  ReportWindowContext& ctx = reportWindowContext();
  const std::string path(a.text(0));
  if (!allowPath(a.interp(), path, PathUse::Read, "SEETEXTO")) return Value();
  std::ifstream in(path, std::ios::binary);
  if (!in || !std::filesystem::is_regular_file(path)) {
    if (ctx.ui != nullptr)
      ctx.ui->message(shell::MessageKind::Alert, kTitle, "El archivo " + path + " no existe.");
    return Value();
  }
  auto* window = new QMainWindow(ctx.mainWindow);
  window->setObjectName(QStringLiteral("SEETEXTO"));
  window->setAttribute(Qt::WA_DeleteOnClose);
  window->setWindowFlag(Qt::Window);
  window->setWindowTitle(QStringLiteral("Visualizador de archivo texto"));
  QAction* quit = window->menuBar()->addAction(QStringLiteral("&Salir del Previsualizador"));
  QObject::connect(quit, &QAction::triggered, window, &QWidget::close);

  auto* model = new QStandardItemModel(0, 1, window);
  model->setHorizontalHeaderLabels({qt("Archivo " + path)});
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    auto* item = new QStandardItem(qt(line));
    item->setEditable(false);
    model->appendRow(item);
  }
  auto* grid = new QTableView;
  grid->setModel(model);
  QFont font(QStringLiteral("Courier New"));
  font.setStyleHint(QFont::Monospace);
  font.setPixelSize(14);
  grid->setFont(font);
  grid->setSelectionMode(QAbstractItemView::NoSelection);
  grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  grid->setShowGrid(false);
  grid->verticalHeader()->hide();
  grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  grid->verticalHeader()->setDefaultSectionSize(std::max(12, grid->fontMetrics().height()));
  grid->horizontalHeader()->setStretchLastSection(true);
  grid->setStyleSheet(QStringLiteral(
      "QTableView { color: black; background: rgb(235,235,235); }"
      "QHeaderView::section { color: white; background: qlineargradient(x1:0, y1:0, x2:0, y2:1,"
      " stop:0 white, stop:1 rgb(128,0,0)); }"));
  auto* central = new QWidget;
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(3, 3, 3, 3);
  layout->addWidget(grid);
  window->setCentralWidget(central);
  if (ctx.mainWindow != nullptr) {
    const QSize size = ctx.mainWindow->size();
    int width = size.width() - 10;
    if (auto* side = ctx.mainWindow->findChild<ui::SideBar*>()) width -= side->width();
    window->resize(std::max(200, width), std::max(150, size.height() - 100));
  } else {
    window->resize(760, 500);
  }
  window->show();
  return Value();
}

// AGETPRINTERS(): the printers Qt sees, each name cut to 32 characters.
Value agetprintersFn(Args&) {
  Value list = Value::newArray(0);
  for (const QString& name : QPrinterInfo::availablePrinterNames())
    list.arrayData().items.push_back(Value::text(ui::core(name.left(32))));
  return list;
}

// EDITRPO(): picks a definition file and opens it with the desktop's text editor.
Value editrpoFn(Args& a) {
  ReportWindowContext& ctx = reportWindowContext();
  Interp& ip = a.interp();
  std::string start = (ctx.folder / "FORMS").string();
  if (Memvars::Slot* s = ip.memvars().find("G_PRUEBA");
      s != nullptr && s->defined() && s->value().isText())
    start = std::string(trimBlanks(s->value().textView()));
  const QString chosen = QFileDialog::getOpenFileName(
      ctx.mainWindow, QStringLiteral("Seleccione un Informe"), qt(start),
      QStringLiteral("Informe (*.rpo);;Adicional usuario (*.rpu)"));
  if (!chosen.isEmpty() && ctx.ui != nullptr) ctx.ui->openWithShell(ui::core(chosen));
  return Value();
}

}  // namespace

void registerReportFunctions(Interp& ip, ReportWindowContext context) {
  if (context.pdfFolder.empty()) context.pdfFolder = context.folder / "Informes";
  reportWindowContext() = std::move(context);
  Functions& f = ip.functions();
  f.add("TPRINTER", tprinterFn, 0, 0);
  f.add("ACTIVAFONT", activafontFn, 1, 6);
  f.add("ACTIVAPEN", activapenFn, 0, 3);
  f.add("CAJARECT", drawFn<true>, 5, 7);
  f.add("LINEA", drawFn<false>, 5, 7);
  f.add("REPMIBRW", repmibrwFn, 0, 2);
  f.add("HACEBROWSE", hacebrowseFn, 0, 1);
  f.add("SEETEXTO", seetextoFn, 1, 1);
  f.add("AGETPRINTERS", agetprintersFn, 0, 0);
  f.add("EDITRPO", editrpoFn, 0, 0);
}

}  // namespace exo::reports
