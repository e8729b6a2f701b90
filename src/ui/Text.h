// Conversions between the core's Windows-1252 text and Qt's strings, at the window edge.
#pragma once

#include <QString>
#include <string>
#include <string_view>

#include "expr/Codepage.h"

namespace exo::ui {

inline QString qt(std::string_view cp1252) { return QString::fromStdString(exo::toUtf8(cp1252)); }
inline std::string core(const QString& text) { return exo::fromUtf8(text.toStdString()); }

}  // namespace exo::ui
