// The dialog of the XML file's header ("Datos del encabezado - Formato NNNN"): the eight values
// of OCABEZ with their edit masks, the format code and version shown but not editable, and the
// name of the file the values give, refreshed as they change. The period proposed is the
// company-year's tax year; a year typed in one of its dates moves the other date with it, so
// that the period stays inside one calendar year. It closes only through its two
// buttons; the generation page hands it to the generation driver as the header editor.
#pragma once

#include <QDialog>
#include <utility>
#include <vector>

#include "generation/Generation.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace exo::generation {

class HeaderDialog : public QDialog {
  Q_OBJECT
 public:
  HeaderDialog(const Header& header, QWidget* parent = nullptr);

  // The values as they stand in the fields.
  Header header() const;
  // "Año de envío:", "Número de envío:"... the line edit of a caption (null for "Concepto:").
  QLineEdit* field(const QString& caption) const;
  QComboBox* conceptList() const { return m_concept; }
  QLabel* fileName() const { return m_file; }
  QLabel* problem() const { return m_error; }
  QPushButton* continueButton() const { return m_continue; }
  QPushButton* cancelButton() const { return m_cancel; }

 protected:
  void reject() override;  // Escape and the close box do nothing
  void closeEvent(QCloseEvent* event) override;

 private:
  void refreshFileName();
  void followPeriod(QLineEdit* edited, QLineEdit* other);
  void tryAccept();

  Header m_header;
  std::vector<std::pair<QString, QLineEdit*>> m_fields;
  QComboBox* m_concept;
  QLabel* m_file;
  QLabel* m_error;
  QPushButton* m_continue;
  QPushButton* m_cancel;
  bool m_closing = false;
};

// The header editor of the desktop: the dialog over `parent`, placed 68 pixels below and 247
// pixels right of the main window's corner.
HeaderEditor headerDialogEditor(QWidget* parent);

}  // namespace exo::generation
