// exogena-cli dbf FILE [--index CDX] [--tag NAME] [--recnos]: shows a table as it is on disk:
// its header and fields, the tags of its index file, and its records in natural order or in the
// order of a tag (deleted records marked). With --recnos only the record numbers are printed,
// one per line, in the order walked.
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "expr/Codepage.h"
#include "expr/Dates.h"
#include "expr/Failure.h"
#include "expr/Text.h"
#include "store/Cdx.h"
#include "store/Dbf.h"
#include "store/File.h"

namespace exo::cli {

namespace {

using store::Cdx;
using store::Dbf;

void printLine(const std::string& cp1252) { std::printf("%s\n", toUtf8(cp1252).c_str()); }

// The value of one field in a readable form (memo texts on one line).
std::string shown(const Dbf& t, const char* rec, int i) {
  const store::Field& f = t.fields()[static_cast<std::size_t>(i)];
  switch (f.type) {
    case 'D': {
      const std::int32_t jd = t.date(rec, i);
      return jd == 0 ? std::string() : dateToText(jd);
    }
    case 'L': return t.logical(rec, i) ? ".T." : ".F.";
    case 'I':
    case 'B':
    case 'Y': {
      char buf[64];
      std::snprintf(buf, sizeof buf, "%.*f", f.type == 'Y' ? 4 : f.decimals,
                    t.number(rec, i).value);
      return buf;
    }
    case 'M': {
      std::string text;
      for (char c : t.memo(rec, i)) {
        if (c == '\r') continue;
        text += c == '\n' ? std::string("\\n") : std::string(1, c);
      }
      return text;
    }
    case 'N':
    case 'F':
    case 'C': {
      std::string_view raw = t.text(rec, i);
      if (f.type != 'C') raw = trimLeft(raw);
      return std::string(trimRight(raw));
    }
    default: {
      std::string hex;
      char buf[4];
      for (unsigned char c : t.text(rec, i)) {
        std::snprintf(buf, sizeof buf, "%02X", c);
        hex += buf;
      }
      return hex;
    }
  }
}

void printRecord(Dbf& t, std::uint32_t recno, std::vector<char>& rec) {
  t.read(recno, rec.data());
  std::string line = std::to_string(recno) + (Dbf::isDeleted(rec.data()) ? " *" : "  ");
  for (std::size_t i = 0; i < t.fields().size(); ++i) {
    line += i == 0 ? " " : " | ";
    line += shown(t, rec.data(), static_cast<int>(i));
  }
  printLine(line);
}

int usage() {
  std::fputs("Uso: exogena-cli dbf ARCHIVO [--index CDX] [--tag NOMBRE] [--recnos]\n", stderr);
  return 2;
}

}  // namespace

int dbfCommand(int argc, char** argv) {
  std::string file, index, tag;
  bool recnosOnly = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--index" && i + 1 < argc) index = argv[++i];
    else if (arg == "--tag" && i + 1 < argc) tag = argv[++i];
    else if (arg == "--recnos") recnosOnly = true;
    else if (!arg.empty() && arg[0] != '-' && file.empty()) file = arg;
    else return usage();
  }
  if (file.empty()) return usage();
  try {
    store::OpenOptions options;
    options.shared = true;
    options.readOnly = true;
    Dbf t = Dbf::open(file, options);
    if (index.empty()) index = store::findCompanion(file, ".cdx");
    std::optional<Cdx> cdx;
    if (!index.empty()) {
      store::CdxOptions cdxOptions;
      cdxOptions.readOnly = true;
      cdx.emplace(Cdx::open(index, cdxOptions));
    }
    std::optional<std::size_t> tagIndex;
    if (!tag.empty()) {
      if (!cdx) {
        std::fprintf(stderr, "exogena-cli: la tabla no tiene archivo de \xC3\xADndices\n");
        return 1;
      }
      tagIndex = cdx->findTag(tag);
      if (!tagIndex) {
        std::fprintf(stderr, "exogena-cli: no existe la etiqueta %s\n", toUtf8(tag).c_str());
        return 1;
      }
    }

    std::vector<char> rec(t.recordLength());
    if (!recnosOnly) {
      char head[200];
      std::snprintf(head, sizeof head,
                    "Versi\363n 0x%02X  registros %u  cabecera %u bytes  registro %u bytes  "
                    "p\341gina de c\363digos 0x%02X",
                    t.version(), t.recordCount(), t.headerLength(), t.recordLength(),
                    t.codePageMark());
      printLine("Tabla " + fromUtf8(file));
      printLine(head);
      printLine("Campos:");
      for (const store::Field& f : t.fields()) {
        char line[80];
        std::snprintf(line, sizeof line, "  %-10s %c %4u %2u", f.name.c_str(), f.type, f.length,
                      f.decimals);
        printLine(line);
      }
      if (cdx) {
        printLine("Etiquetas de " + fromUtf8(index) + ":");
        for (const store::TagInfo& info : cdx->tags()) {
          std::string line = "  " + info.name + "  clave " + info.keyExpression;
          if (!info.forExpression.empty()) line += "  FOR " + info.forExpression;
          if (info.descending) line += "  descendente";
          if (info.unique()) line += "  \372nica";
          printLine(line);
        }
      }
      printLine(tagIndex ? "Registros en el orden de " + cdx->tags()[*tagIndex].name + ":"
                         : "Registros:");
    }
    auto visit = [&](std::uint32_t recno) {
      if (recnosOnly) std::printf("%u\n", recno);
      else if (recno >= 1 && recno <= t.recordCount()) printRecord(t, recno, rec);
      else std::printf("%u (fuera de la tabla)\n", recno);
    };
    if (tagIndex) {
      // Every key of the tag, as its B-tree holds it; descending tags from the last.
      const std::size_t ti = *tagIndex;
      store::CdxCursor cursor(*cdx, ti);
      const bool descending = cdx->tags()[ti].descending;
      for (bool ok = descending ? cursor.last() : cursor.first(); ok;
           ok = descending ? cursor.prev() : cursor.next()) {
        visit(cursor.recno());
      }
    } else {
      for (std::uint32_t r = 1; r <= t.recordCount(); ++r) visit(r);
    }
    return 0;
  } catch (const FailureError& e) {
    std::string message = errorMessage(e.failure());
    if (!e.failure().fileName.empty()) message += " (" + e.failure().fileName + ")";
    std::fprintf(stderr, "exogena-cli: %s\n", toUtf8(message).c_str());
    return 1;
  }
}

}  // namespace exo::cli
