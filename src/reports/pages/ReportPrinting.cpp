// Print jobs and the columnar listing of a table.
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinterInfo>
#include <algorithm>
#include <ctime>

#include "expr/Interp.h"
#include "expr/Text.h"
#include "expr/WorkAreas.h"
#include "reports/pages/ReportFunctions.h"
#include "shell/ErrorReport.h"
#include "store/File.h"
#include "ui/Text.h"

namespace exo::reports {

using ui::qt;

PrintJob::PrintJob(const QString& document, bool preview, const std::filesystem::path& pdf)
    : m_printer(std::make_unique<QPrinter>(QPrinter::HighResolution)),
      m_pdf(pdf),
      m_preview(preview && QGuiApplication::platformName() != QLatin1String("offscreen")) {
  m_printer->setDocName(document);
  m_printer->setPageOrientation(QPageLayout::Portrait);
  if (reportWindowContext().pdfOnly || QPrinterInfo::availablePrinterNames().isEmpty()) {
    m_toPdf = true;
    m_printer->setOutputFormat(QPrinter::PdfFormat);
    m_printer->setPageSize(QPageSize(QPageSize::Letter));
    m_pdfTemp = store::siblingTempName(pdf.string());
    m_printer->setOutputFileName(QString::fromStdString(m_pdfTemp.string()));
  }
}

QRectF PrintJob::page() const { return m_printer->pageRect(QPrinter::DevicePixel); }
double PrintJob::cmToX(double cm) const { return cm * m_printer->resolution() / 2.54; }
double PrintJob::cmToY(double cm) const { return cm * m_printer->resolution() / 2.54; }

std::vector<PrintJob::Op>& PrintJob::current() {
  if (!m_pageOpen) startPage();
  return m_pages.back();
}

void PrintJob::startPage() {
  m_pages.emplace_back();
  m_pageOpen = true;
}
void PrintJob::endPage() { m_pageOpen = false; }

void PrintJob::text(const QPointF& at, const QString& s, const QFont& font, Qt::Alignment align,
                    double width) {
  current().push_back(TextOp{at, s, font, align, width});
}
void PrintJob::rect(const QRectF& r, const QPen& pen) { current().push_back(RectOp{r, pen}); }
void PrintJob::line(const QLineF& l, const QPen& pen) { current().push_back(LineOp{l, pen}); }

bool PrintJob::render(QPrinter* printer) {
  QPainter p;
  if (!p.begin(printer)) return false;
  // Operations are kept relative to the printable area.
  for (std::size_t i = 0; i < m_pages.size(); ++i) {
    if (i > 0) printer->newPage();
    for (const Op& op : m_pages[i]) {
      if (const auto* t = std::get_if<TextOp>(&op)) {
        p.setFont(t->font);
        p.setPen(Qt::black);
        const QFontMetricsF fm(t->font, printer);
        if (t->width > 0) {
          const QRectF box(t->at.x(), t->at.y(), t->width, fm.height());
          p.drawText(box, static_cast<int>(t->align | Qt::AlignTop) | Qt::TextSingleLine,
                     fm.elidedText(t->text, Qt::ElideRight, t->width));
        } else {
          p.drawText(QPointF(t->at.x(), t->at.y() + fm.ascent()), t->text);
        }
      } else if (const auto* r = std::get_if<RectOp>(&op)) {
        p.setPen(r->pen);
        p.setBrush(Qt::NoBrush);
        p.drawRect(r->r);
      } else if (const auto* l = std::get_if<LineOp>(&op)) {
        p.setPen(l->pen);
        p.drawLine(l->l);
      }
    }
  }
  return p.end();
}

bool PrintJob::placePdf(bool written) {
  if (!m_toPdf) return written;
  std::error_code ec;
  written = written && std::filesystem::file_size(m_pdfTemp, ec) > 0 && !ec;
  try {
    if (written) {
      store::replaceFile(m_pdfTemp.string(), m_pdf.string());
      return true;
    }
  } catch (const FailureError&) {
    written = false;
  }
  try {
    store::removeFile(m_pdfTemp.string());
  } catch (const FailureError&) {
    // A leftover temporary file goes at the next start.
  }
  return written;
}

bool PrintJob::finish() {
  m_pageOpen = false;
  if (m_pages.empty()) m_pages.emplace_back();
  if (m_toPdf) std::filesystem::create_directories(m_pdf.parent_path());
  if (m_preview) {
    QPrintPreviewDialog dialog(m_printer.get());
    dialog.setWindowTitle(m_printer->docName());
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested,
                     [this](QPrinter* printer) { render(printer); });
    dialog.exec();
    std::error_code ec;
    if (m_toPdf && std::filesystem::exists(m_pdfTemp, ec)) placePdf(true);
    return true;
  }
  QPainter probe;
  if (!probe.begin(m_printer.get())) return placePdf(false);
  probe.end();
  return placePdf(render(m_printer.get()));
}

// --- the listing -------------------------------------------------------------------------------

namespace {

constexpr const char* kNumberPicture = "@ 999,999,999.99";

struct Column {
  QString heading;
  ProgramPtr value;
  bool numeric;
  double width = 0;
};

}  // namespace

bool printListing(Interp& ip, int area, const std::string& title, const std::string& company,
                  PrintJob& job) {
  WorkAreas& w = *ip.workAreas();
  const int previous = w.selected();
  w.select(area);
  struct Restore {
    WorkAreas& w;
    int area;
    ~Restore() { w.select(area); }
  } restore{w, previous};

  QFont bold(QStringLiteral("Arial"), 10, QFont::Bold);
  QFont regular(QStringLiteral("Arial"), 10);
  QFont titleFont(QStringLiteral("Arial"), 12, QFont::Bold);
  const QFontMetricsF fm(regular, &job.printer());
  const QFontMetricsF fmBold(bold, &job.printer());
  const double charWidth = fm.horizontalAdvance(QStringLiteral("0"));
  const double lineHeight = fm.lineSpacing();

  // One column per field: numbers through the picture, the rest in their display form.
  std::vector<Column> columns;
  const auto fields = w.fields(area);
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const FieldInfo& f = fields[i];
    const std::string get = "FieldGet(" + std::to_string(i + 1) + ")";
    Column c;
    c.heading = qt(f.name);
    c.numeric = f.type == 'N' || f.type == 'F';
    c.value = ip.compile(c.numeric ? "Transform(" + get + ", '" + kNumberPicture + "')" : get);
    const int chars = c.numeric ? 15 : f.type == 'D' ? 10 : f.type == 'M' ? 30 : f.width;
    c.width = std::max(fmBold.horizontalAdvance(c.heading), charWidth * std::max(chars, 1)) +
              charWidth * 2;
    columns.push_back(std::move(c));
  }

  const QRectF page = job.page();
  const double margin = job.cmToX(1.0);
  const double left = margin;
  const double right = page.width() - margin;
  const double bottom = page.height() - job.cmToY(1.5);
  const std::time_t now = std::time(nullptr);
  const QString header1 = qt("Fecha: " + shell::dateOf(now) + ", Hora: " + shell::timeOf(now));
  int pageNumber = 0;
  double y = 0;

  const auto startPage = [&] {
    job.startPage();
    ++pageNumber;
    y = job.cmToY(1.0);
    job.text({left, y}, qt("Fichero:   " + title), titleFont);
    y += QFontMetricsF(titleFont, &job.printer()).lineSpacing() * 1.3;
    job.text({left, y}, header1, bold);
    y += lineHeight;
    job.text({left, y}, qt(company), bold);
    y += lineHeight * 1.5;
    double x = left;
    for (const Column& c : columns) {
      if (x >= right) break;
      job.text({x, y}, c.heading, bold, c.numeric ? Qt::AlignRight : Qt::AlignLeft,
               std::min(c.width - charWidth, right - x));
      x += c.width;
    }
    y += lineHeight;
    job.line({left, y, right, y}, QPen(Qt::black, 0));
    y += lineHeight * 0.3;
    char footer[32];
    std::snprintf(footer, sizeof footer, "P\341gina: %3d", pageNumber);
    job.text({left, bottom + lineHeight * 0.5}, qt(footer), regular, Qt::AlignHCenter,
             right - left);
  };

  startPage();
  w.goTop(ip, area);
  while (w.isUsed(area) && !w.eof(area)) {
    if (y + lineHeight > bottom) {
      job.endPage();
      startPage();
    }
    double x = left;
    for (const Column& c : columns) {
      if (x >= right) break;
      const Value v = ip.eval(*c.value);
      job.text({x, y}, qt(trimRight(displayValue(v))), regular,
               c.numeric ? Qt::AlignRight : Qt::AlignLeft,
               std::min(c.width - charWidth, right - x));
      x += c.width;
    }
    y += lineHeight;
    w.skip(ip, area, 1);
  }
  job.endPage();
  const bool printed = job.finish();
  if (w.isUsed(area)) w.goTop(ip, area);
  return printed;
}

}  // namespace exo::reports
