// Reading and writing memory-variable files.
#include "shell/MemFile.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>

#include "expr/Failure.h"
#include "expr/Interp.h"
#include "expr/Memvars.h"
#include "expr/Numbers.h"
#include "shell/ShellFailure.h"
#include "store/File.h"
#include "store/StoreFailure.h"

namespace exo::shell {
namespace {

constexpr std::size_t kHeaderSize = 32;
constexpr std::size_t kNameLength = 10;
constexpr std::size_t kMaxText = 65534;  // the stored length (with its NUL) is 16 bits
constexpr std::uintmax_t kMaxFileSize = 16u << 20;
constexpr unsigned char kEnd = 0x1A;
constexpr unsigned char kText = 0xC3, kNumber = 0xCE, kDate = 0xC4, kLogical = 0xCC;

// `err` is the system's error number (0 when none).
[[noreturn]] void fail(GenCode code, std::string description, const std::string& fileName,
                       int err = 0) {
  const int osCode = err == 0 ? 0 : store::osCodeFromErrno(err);
  if (store::isDiskFull(osCode)) description = store::kDiskFullText;
  Failure f = shellFailure(code, std::move(description), fileName);
  f.osCode = osCode;
  f.canRetry = code != GenCode::Corruption;
  f.canDefault = true;
  throw FailureError(std::move(f));
}

// The same failure with this file's own description, keeping the system's error code.
template <class Step>
void describing(GenCode code, const char* description, const std::string& fileName, Step step) {
  try {
    step();
  } catch (const FailureError& e) {
    const int osCode = e.failure().osCode;
    Failure f = shellFailure(code, store::isDiskFull(osCode) ? store::kDiskFullText : description,
                             fileName);
    f.osCode = osCode;
    f.canRetry = true;
    f.canDefault = true;
    throw FailureError(std::move(f));
  }
}

[[noreturn]] void damaged(const std::string& what, const std::string& fileName) {
  fail(GenCode::Corruption, "Archivo de variables da\361ado: " + what, fileName);
}

bool isIdentifier(std::string_view name) {
  if (name.empty()) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(name[i]);
    const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
    if (!letter && !(i > 0 && c >= '0' && c <= '9')) return false;
  }
  return true;
}

void putDouble(std::string& out, double d) {
  unsigned char bytes[8];
  std::uint64_t bits;
  std::memcpy(&bits, &d, 8);
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<unsigned char>(bits >> (8 * i));
  out.append(reinterpret_cast<const char*>(bytes), 8);
}

double getDouble(std::string_view s) {
  std::uint64_t bits = 0;
  for (int i = 7; i >= 0; --i)
    bits = (bits << 8) | static_cast<unsigned char>(s[static_cast<std::size_t>(i)]);
  double d;
  std::memcpy(&d, &bits, 8);
  return d;
}

// The header and value of one variable.
void encodeOne(std::string& out, const MemVar& var, const std::string& fileName) {
  if (!isIdentifier(var.name))
    fail(GenCode::Write, "Nombre de variable no v\341lido: " + var.name, fileName);
  std::string header(kHeaderSize, '\0');
  const std::string name = upperName(var.name).substr(0, kNameLength);
  std::memcpy(header.data(), name.data(), name.size());
  std::string value;
  const Value& v = var.value;
  if (v.isText()) {
    if (v.textView().size() > kMaxText)
      fail(GenCode::Write, "Texto demasiado largo en la variable " + name, fileName);
    const std::size_t length = v.textView().size() + 1;
    header[11] = static_cast<char>(kText);
    header[16] = static_cast<char>(length & 0xFF);
    header[17] = static_cast<char>(length >> 8);
    value.assign(v.textView());
    value.push_back('\0');
  } else if (v.isNumber()) {
    header[11] = static_cast<char>(kNumber);
    header[16] = static_cast<char>(std::min(255, displayWidth(v.num(), v.width(), v.decimals())));
    header[17] = static_cast<char>(v.decimals());
    putDouble(value, v.num());
  } else if (v.isDate() || v.isLogical()) {
    header[11] = static_cast<char>(v.isDate() ? kDate : kLogical);
    header[16] = 1;
    if (v.isDate()) putDouble(value, static_cast<double>(v.julian()));
    else value.push_back(v.logical() ? 1 : 0);
  } else {
    fail(GenCode::Write,
         "La variable " + name + " no se puede guardar (tipo " + v.typeLetter() + ")", fileName);
  }
  out += header;
  out += value;
}

// Reads the variable at `pos`, advancing it past the value.
MemVar decodeOne(std::string_view bytes, std::size_t& pos, const std::string& fileName) {
  if (bytes.size() - pos < kHeaderSize) damaged("encabezado de variable incompleto", fileName);
  const std::string_view header = bytes.substr(pos, kHeaderSize);
  const std::size_t nameEnd = header.find('\0');
  if (nameEnd == std::string_view::npos || nameEnd > kNameLength)
    damaged("nombre de variable sin terminar", fileName);
  MemVar var;
  var.name = std::string(header.substr(0, nameEnd));
  if (!isIdentifier(var.name)) damaged("nombre de variable no v\341lido", fileName);
  var.name = upperName(var.name);
  const unsigned char type = static_cast<unsigned char>(header[11]);
  const unsigned lo = static_cast<unsigned char>(header[16]),
                 hi = static_cast<unsigned char>(header[17]);
  pos += kHeaderSize;
  std::size_t size = type == kText ? lo | (hi << 8) : type == kLogical ? 1 : 8;
  if (type != kText && type != kNumber && type != kDate && type != kLogical) {
    damaged("tipo desconocido en la variable " + var.name, fileName);
  }
  if (type == kText && size == 0) damaged("longitud nula en la variable " + var.name, fileName);
  if (bytes.size() - pos < size) damaged("valor incompleto de la variable " + var.name, fileName);
  const std::string_view raw = bytes.substr(pos, size);
  pos += size;
  if (type == kText) {
    var.value = Value::text(raw.back() == '\0' ? raw.substr(0, raw.size() - 1) : raw);
  } else if (type == kLogical) {
    var.value = Value::logical(raw[0] != 0);
  } else {
    const double d = getDouble(raw);
    if (!std::isfinite(d)) damaged("n\372mero no v\341lido en la variable " + var.name, fileName);
    if (type == kDate) {
      if (d < 0 || d > 5373484 || d != std::floor(d))
        damaged("fecha no v\341lida en la variable " + var.name, fileName);
      var.value = Value::date(static_cast<std::int32_t>(d));
    } else {
      const int dec = static_cast<int>(hi);
      const int intWidth = static_cast<int>(lo) - (dec > 0 ? dec + 1 : 0);
      var.value = Value::number(d, dec, intWidth > 0 ? intWidth : 0);
    }
  }
  return var;
}

}  // namespace

std::string encodeMemFile(const std::vector<MemVar>& vars, const std::string& fileName) {
  std::string out;
  for (const MemVar& var : vars) encodeOne(out, var, fileName);
  out.push_back(static_cast<char>(kEnd));
  return out;
}

std::vector<MemVar> decodeMemFile(std::string_view bytes, const std::string& fileName) {
  std::vector<MemVar> vars;
  std::size_t pos = 0;
  for (;;) {
    if (pos >= bytes.size()) damaged("falta la marca de fin (archivo truncado)", fileName);
    if (static_cast<unsigned char>(bytes[pos]) == kEnd) return vars;
    vars.push_back(decodeOne(bytes, pos, fileName));
  }
}

std::vector<MemVar> readMemFile(const std::filesystem::path& path) {
  const std::string name = path.string();
  std::ifstream in(path, std::ios::binary);
  if (!in) fail(GenCode::Open, "No se puede abrir el archivo de variables", name, errno);
  std::string bytes;
  char buf[4096];
  while (in.read(buf, sizeof buf) || in.gcount() > 0) {
    bytes.append(buf, static_cast<std::size_t>(in.gcount()));
    if (bytes.size() > kMaxFileSize) damaged("tama\361o excesivo", name);
  }
  if (in.bad()) fail(GenCode::Read, "No se pudo leer el archivo de variables", name);
  return decodeMemFile(bytes, name);
}

void writeMemFile(const std::filesystem::path& path, const std::vector<MemVar>& vars) {
  const std::string name = path.string();
  const std::string bytes = encodeMemFile(vars, name);
  // Written whole beside the old file, made durable, then put in its place.
  const std::string temp = store::siblingTempName(name);
  store::File out;
  describing(GenCode::Create, "No se pudo crear el archivo de variables", name,
             [&] { out = store::File::create(temp); });
  try {
    describing(GenCode::Write, "No se pudo escribir el archivo de variables", name,
               [&] { out.writeAt(0, bytes.data(), bytes.size()); });
    describing(GenCode::Write, "No se pudo asegurar el archivo de variables", name,
               [&] { out.sync(); });
    out.close();
    describing(GenCode::Write, "No se pudo reemplazar el archivo de variables", name,
               [&] { store::replaceFile(temp, name); });
  } catch (...) {
    out.close();
    store::removeFileQuietly(temp);
    throw;
  }
}

std::size_t saveMemvars(Interp& ip, const std::filesystem::path& path, std::string_view mask) {
  std::vector<MemVar> vars;
  for (const std::string& name : ip.memvars().visibleNames(mask)) {
    const Value& v = ip.memvars().find(name)->value();
    if (v.isText() || v.isNumber() || v.isDate() || v.isLogical()) vars.push_back({name, v});
  }
  for (;;) {
    try {
      writeMemFile(path, vars);
      return vars.size();
    } catch (const FailureError& e) {
      bool retry = false;
      ip.raise(e.failure(), &retry);
      if (!retry) return 0;
    }
  }
}

bool restoreMemvars(Interp& ip, const std::filesystem::path& path) {
  std::vector<MemVar> vars;
  for (;;) {
    try {
      vars = readMemFile(path);
      break;
    } catch (const FailureError& e) {
      bool retry = false;
      ip.raise(e.failure(), &retry);
      if (!retry) return false;
    }
  }
  Memvars& mv = ip.memvars();
  for (MemVar& var : vars) {
    if (mv.find(var.name) != nullptr) mv.assign(var.name, std::move(var.value));
    else mv.declarePublic(var.name, std::move(var.value));
  }
  return true;
}

}  // namespace exo::shell
