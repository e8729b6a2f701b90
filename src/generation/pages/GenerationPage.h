// The page "Generar Medios Magnéticos" of the group "Medios Magnéticos": the choice of format,
// the control report of a third party (and concept) on screen or in a workbook, the review of
// the withholding bases or the manual data of the formats that have them, the workbook and the
// XML file of the format, the review of the workbook, its conversion into the XML file and the
// tax authority's pre-validation workbook, and every format (or the ones ticked) in one run with
// one header and a summary. Every button runs as an action of the page.
#pragma once

#include <QWidget>
#include <array>
#include <filesystem>
#include <string>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QToolButton;

namespace exo::shell {
class Session;
}
namespace exo::store {
class Engine;
}

namespace exo::generation {

// The caption of the review button of a format (lines joined by '\n'), empty for the formats
// without one (all but 1002, 1003, 1004, 1010, 1011 and 1012).
QString regularizationCaption(int formatNumber);

class GenerationPage : public QWidget {
  Q_OBJECT
 public:
  GenerationPage(shell::Session& session, store::Engine& engine, QWidget* parent = nullptr);

  int formatNumber() const { return m_format; }
  // Chooses format n (1 to 12) as the user does.
  void setFormat(int n);

  QRadioButton* formatChoice(int n) const { return m_formats.at(static_cast<std::size_t>(n) - 1); }
  QRadioButton* outputChoice(int n) const { return n == 2 ? m_toWorkbook : m_toScreen; }
  QLineEdit* thirdParty() const { return m_party; }
  QLineEdit* conceptField() const { return m_concept; }
  QToolButton* conceptButton() const { return m_pickConcept; }
  QPushButton* processButton() const { return m_process; }
  QPushButton* regularizationButton() const { return m_regularize; }
  QPushButton* excelButton() const { return m_excel; }
  QPushButton* reviewButton() const { return m_review; }
  QPushButton* xmlButton() const { return m_xml; }
  QPushButton* convertButton() const { return m_convert; }
  QPushButton* prevalidatorButton() const { return m_prevalidator; }
  // "Generar todos los formatos...": the formats ticked in its dialog, in one run.
  QPushButton* allFormatsButton() const { return m_all; }
  QLabel* yearLabel() const { return m_year; }
  QLabel* statusLine() const { return m_status; }
  QProgressBar* meter() const { return m_meter; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  template <class Work>
  void run(Work work);
  void refreshRegularization();
  void showFile(const QString& outcome, const std::filesystem::path& file);
  void showFiles(const QString& outcome, std::size_t count, const std::filesystem::path& first);
  void pickConcept();
  void process();
  void regularize();
  void generate(bool excel, bool xml);
  void review();
  void convert();
  void prevalidate();
  void generateAll();

  shell::Session& m_session;
  store::Engine& m_engine;
  int m_format = 1;
  std::array<QRadioButton*, 12> m_formats{};
  QRadioButton* m_toScreen;
  QRadioButton* m_toWorkbook;
  QLineEdit* m_party;
  QLineEdit* m_concept;
  QToolButton* m_pickConcept;
  QPushButton* m_process;
  QPushButton* m_regularize;
  QPushButton* m_excel;
  QPushButton* m_review;
  QPushButton* m_xml;
  QPushButton* m_convert;
  QPushButton* m_prevalidator;
  QPushButton* m_all;
  QLabel* m_year;
  QLabel* m_status;
  QProgressBar* m_meter;
};

}  // namespace exo::generation
