// The two dialogs of the one-run generation of the generation page: the choice of the formats
// and outputs ("Generar todos los formatos"), and the summary of the run with records, total,
// files and observations per format.
#pragma once

#include <QDialog>
#include <array>
#include <vector>

#include "generation/GenerateAll.h"

class QCheckBox;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;

namespace exo::generation {

class AllFormatsDialog : public QDialog {
  Q_OBJECT
 public:
  // `captions` are the twelve format captions of the page, in format order.
  AllFormatsDialog(const std::array<QString, 12>& captions, QWidget* parent = nullptr);

  std::vector<int> formats() const;  // the ticked formats, in format order
  bool excel() const;
  bool xml() const;

  QCheckBox* formatBox(int n) const { return m_formats.at(static_cast<std::size_t>(n) - 1); }
  QCheckBox* excelBox() const { return m_excel; }
  QCheckBox* xmlBox() const { return m_xml; }
  QPushButton* generateButton() const { return m_generate; }
  QPushButton* cancelButton() const { return m_cancel; }

 private:
  void refresh();

  std::array<QCheckBox*, 12> m_formats{};
  QCheckBox* m_excel;
  QCheckBox* m_xml;
  QPushButton* m_all;
  QPushButton* m_none;
  QPushButton* m_generate;
  QPushButton* m_cancel;
};

class AllFormatsSummary : public QDialog {
  Q_OBJECT
 public:
  // `open` opens a folder with the desktop; false when it could not.
  AllFormatsSummary(const AllFormatsResult& result, bool xml, const QString& outputFolder,
                    std::function<bool(const QString&)> open, QWidget* parent = nullptr);

  QTableWidget* table() const { return m_table; }
  QPlainTextEdit* details() const { return m_details; }
  QPushButton* folderButton() const { return m_folder; }
  QPushButton* closeButton() const { return m_close; }

 private:
  QTableWidget* m_table;
  QPlainTextEdit* m_details;
  QPushButton* m_folder;
  QPushButton* m_close;
};

}  // namespace exo::generation
