// exogena-cli mem FILE [NAME=VALUE ...]: lists the variables of a memory file, or writes one.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "expr/Codepage.h"
#include "expr/Dates.h"
#include "expr/Failure.h"
#include "expr/Interp.h"
#include "expr/Numbers.h"
#include "shell/MemFile.h"

namespace exo::cli {
namespace {

constexpr const char* kUsage =
    "Uso: exogena-cli mem ARCHIVO                 lista las variables\n"
    "     exogena-cli mem ARCHIVO NOMBRE=VALOR...  escribe el archivo\n"
    "VALOR es texto, o N:n\xC3\xBAmero, D:dd-mm-aaaa, L:.T./.F., C:texto\n";

int list(const char* file) {
  for (const shell::MemVar& var : shell::readMemFile(file)) {
    std::printf("%s\t%c\t%s\n", toUtf8(var.name).c_str(), var.value.typeLetter(),
                toUtf8(displayValue(var.value)).c_str());
  }
  return 0;
}

// A plain decimal number: optional sign, digits, optional point and decimals.
bool isNumber(std::string_view s) {
  std::size_t i = 0, digits = 0;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) ++i;
  for (bool point = false; i < s.size(); ++i) {
    if (s[i] == '.' && !point) point = true;
    else if (s[i] >= '0' && s[i] <= '9') ++digits;
    else return false;
  }
  return digits > 0;
}

// The value of one NAME=VALUE argument; false (with the message printed) when it is invalid.
bool parseValue(std::string_view text, Value& out) {
  const std::string_view prefix = text.substr(0, 2);
  const std::string_view rest = text.size() >= 2 ? text.substr(2) : std::string_view();
  if (prefix == "N:" || prefix == "n:") {
    int dec = 0;
    if (!isNumber(rest)) return false;
    const double n = parseNumber(rest, &dec);
    out = Value::number(n, dec);
  } else if (prefix == "D:" || prefix == "d:") {
    const std::int32_t jd = textToDate(rest);
    if (jd == 0 && rest.find_first_not_of(" -/") != std::string_view::npos) return false;
    out = Value::date(jd);
  } else if (prefix == "L:" || prefix == "l:") {
    const std::string v = upperName(rest);
    if (v != ".T." && v != ".F." && v != "T" && v != "F") return false;
    out = Value::logical(v.find('T') != std::string::npos);
  } else {
    out = Value::text(fromUtf8(prefix == "C:" || prefix == "c:" ? rest : text));
  }
  return true;
}

int write(const char* file, int count, char** assignments) {
  std::vector<shell::MemVar> vars;
  for (int i = 0; i < count; ++i) {
    const std::string_view arg = assignments[i];
    const std::size_t eq = arg.find('=');
    Value value;
    if (eq == std::string_view::npos || eq == 0 || !parseValue(arg.substr(eq + 1), value)) {
      std::fprintf(stderr, "exogena-cli mem: asignaci\xC3\xB3n no v\xC3\xA1lida: %s\n",
                   assignments[i]);
      return 2;
    }
    vars.push_back({fromUtf8(arg.substr(0, eq)), std::move(value)});
  }
  shell::writeMemFile(file, vars);
  return 0;
}

}  // namespace

int memCommand(int argc, char** argv) {
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  try {
    return argc == 2 ? list(argv[1]) : write(argv[1], argc - 2, argv + 2);
  } catch (const FailureError& e) {
    std::fprintf(stderr, "exogena-cli mem: %s\n", toUtf8(errorMessage(e.failure())).c_str());
    return 1;
  }
}

}  // namespace exo::cli
