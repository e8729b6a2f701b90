// The functions report definitions call to print, browse and view: the printer object TPrinter
// with its fonts and pens and the drawing helpers (ACTIVAFONT, ACTIVAPEN, CAJARECT, LINEA), the
// columnar listing of a table (REPMIBRW), the generic browse window (HACEBROWSE), the text
// viewer (SEETEXTO), the list of printers (AGETPRINTERS) and the definition editor (EDITRPO).
//
// Printing goes through Qt's print support: a job is drawn into pages in the printer's device
// units, then shown in a preview (from which it is printed) or printed at once. Without an
// installed printer the job is written as a PDF file.
#pragma once

#include <QFont>
#include <QPen>
#include <QPrinter>
#include <QString>
#include <filesystem>
#include <memory>
#include <string>
#include <variant>
#include <vector>

class QWidget;

namespace exo {
class Interp;
}
namespace exo::store {
class Engine;
}
namespace exo::shell {
class UserInterface;
}

namespace exo::reports {

struct ReportWindowContext {
  QWidget* mainWindow = nullptr;  // parent of the windows the functions open
  store::Engine* engine = nullptr;
  shell::UserInterface* ui = nullptr;
  std::filesystem::path folder;     // the program folder
  std::filesystem::path pdfFolder;  // where jobs go as PDF when no printer is installed
  bool preview = true;              // jobs are shown in a preview first (never offscreen)
  bool pdfOnly = false;             // jobs always go to a PDF file, printers or not
};

// Registers the functions on `ip`; the objects in the context must outlive their use. An empty
// pdfFolder becomes the program folder's "Informes".
void registerReportFunctions(Interp& ip, ReportWindowContext context);
ReportWindowContext& reportWindowContext();

// A print job: pages of drawing operations in the printer's device pixels, finished by a
// preview or by printing.
class PrintJob {
 public:
  // `pdf` is the file written when no printer is installed.
  PrintJob(const QString& document, bool preview, const std::filesystem::path& pdf);

  QPrinter& printer() { return *m_printer; }
  bool toPdf() const { return m_toPdf; }
  const std::filesystem::path& pdfFile() const { return m_pdf; }
  // The printable area in device pixels, and centimetres to device pixels.
  QRectF page() const;
  double cmToX(double cm) const;
  double cmToY(double cm) const;

  void startPage();
  void endPage();
  void text(const QPointF& topLeft, const QString& text, const QFont& font,
            Qt::Alignment align = Qt::AlignLeft, double width = 0);
  void rect(const QRectF& r, const QPen& pen);
  void line(const QLineF& l, const QPen& pen);
  int pageCount() const { return static_cast<int>(m_pages.size()); }

  // Shows the preview or prints; false when no printer device could be opened. A PDF file is
  // written beside under a temporary name and put in place whole (store::replaceFile): a failed
  // or interrupted print leaves the previous file, if any, as it was.
  bool finish();

 private:
  struct TextOp {
    QPointF at;
    QString text;
    QFont font;
    Qt::Alignment align;
    double width;
  };
  struct RectOp {
    QRectF r;
    QPen pen;
  };
  struct LineOp {
    QLineF l;
    QPen pen;
  };
  using Op = std::variant<TextOp, RectOp, LineOp>;
  bool render(QPrinter* printer);
  bool placePdf(bool written);
  std::vector<Op>& current();

  std::unique_ptr<QPrinter> m_printer;
  std::filesystem::path m_pdf;
  std::filesystem::path m_pdfTemp;  // where the printer writes until the file is complete
  bool m_toPdf = false;
  bool m_preview;
  bool m_pageOpen = false;
  std::vector<std::vector<Op>> m_pages;
};

// REPMIBRW: lists the table of `area` as columns, one per field, titled "Fichero:   " + title,
// with the date, time and `company` in the header and "Página: nnn" in the footer. Returns
// false when no printer device could be opened.
bool printListing(Interp& ip, int area, const std::string& title, const std::string& company,
                  PrintJob& job);

}  // namespace exo::reports
