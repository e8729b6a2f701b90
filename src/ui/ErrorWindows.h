// The windows of the run-time error handler: the dialog "LISTA DE ERRORES PRODUCIDOS POR EL
// PROGAMA" with its list of calls and buttons, the error log browser "Registro de Errores del
// Programa" (newest first, positioned on today's entries, the report text below), and printing a
// report text with a preview (to a PDF file where there is no printer).
#pragma once

#include <QDialog>
#include <filesystem>
#include <string>
#include <vector>

class QListWidget;
class QPlainTextEdit;

namespace exo::store {
class Engine;
}
namespace exo::shell {
class ErrorHandler;
}

namespace exo::ui {

class BrowseGrid;
class ArrayModel;

class ErrorDialog : public QDialog {
  Q_OBJECT
 public:
  ErrorDialog(QWidget* parent, const std::string& message, const std::vector<std::string>& calls,
              const std::vector<std::string>& buttons);
  // Index of the button chosen, -1 when the dialog was closed otherwise.
  int chosen() const { return m_chosen; }
  QListWidget* callList() const { return m_calls; }

 private:
  QListWidget* m_calls = nullptr;
  int m_chosen = -1;
};

class ErrorLogBrowser : public QDialog {
  Q_OBJECT
 public:
  ErrorLogBrowser(QWidget* parent, store::Engine& engine, const std::filesystem::path& folder);
  BrowseGrid* grid() const { return m_grid; }
  QPlainTextEdit* report() const { return m_text; }

 private:
  void showEntry(int row);
  BrowseGrid* m_grid = nullptr;
  ArrayModel* m_model = nullptr;
  QPlainTextEdit* m_text = nullptr;
  std::vector<std::string> m_reports;
};

// Prints a report text (IMPERROR's layout) with a preview; without a printer it is written as
// a PDF file in `pdfFolder` and opened with the desktop's viewer.
void printReportText(QWidget* parent, const std::string& title, const std::string& text,
                     const std::filesystem::path& pdfFolder);

// Gives the handler its windows: the dialog, the log browser and printing.
void installErrorWindows(shell::ErrorHandler& handler, QWidget* parent, store::Engine& engine);

}  // namespace exo::ui
