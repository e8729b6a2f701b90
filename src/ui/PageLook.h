// The look shared by the pages: the heading in a raised frame, plain labels,
// status lines and meters.
#pragma once

#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QString>

namespace exo::ui {

// A page heading: bold navy text in a raised frame.
inline QLabel* pageHeading(const QString& text, QWidget* parent) {
  auto* heading = new QLabel(text, parent);
  heading->setFrameStyle(QFrame::Panel | QFrame::Raised);
  heading->setLineWidth(2);
  heading->setStyleSheet(QStringLiteral(
      "QLabel { font-size: 14pt; font-weight: bold; color: rgb(0,0,125); padding: 4px 10px; }"));
  return heading;
}

// A status line: navy text, one line, left aligned, the width of the page.
inline QLabel* statusLabel(QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setStyleSheet(QStringLiteral("QLabel { color: rgb(0,0,100); }"));
  label->setMinimumHeight(label->fontMetrics().height() + 4);
  return label;
}

// A meter from 0 to `maximum`, with or without its percentage.
inline QProgressBar* pageMeter(QWidget* parent, int maximum, bool showPercent) {
  auto* meter = new QProgressBar(parent);
  meter->setRange(0, maximum);
  meter->setValue(0);
  meter->setTextVisible(showPercent);
  return meter;
}

}  // namespace exo::ui
