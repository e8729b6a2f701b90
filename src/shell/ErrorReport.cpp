// Sections of the diagnostic report of a failure.
#include "shell/ErrorReport.h"

#ifdef _WIN32
#include <stdio.h>
#include <windows.h>
#else
#include <sys/resource.h>
#include <sys/utsname.h>
#endif

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <system_error>

#include "expr/Dates.h"
#include "expr/Interp.h"
#include "expr/Object.h"
#include "expr/TPublic.h"
#include "expr/WorkAreas.h"

namespace exo::shell {
namespace {

constexpr const char* kEol = "\r\n";
constexpr int kMaxAreas = 250;
constexpr std::size_t kMaxShownText = 200;

std::string heading(std::string_view title) {
  return std::string(title) + kEol + std::string(title.size(), '=') + kEol;
}

std::string line(std::string_view text) { return "   " + std::string(text) + kEol; }

// The type letter of an argument from its display form (texts come quoted).
char argumentType(std::string_view shown) {
  if (shown.size() >= 2 && shown.front() == '"') return 'C';
  if (shown == ".T." || shown == ".F.") return 'L';
  if (shown == "NIL") return 'U';
  if (shown.starts_with("{||")) return 'B';
  if (shown.starts_with("{")) return 'A';
  if (shown.starts_with("Class: ")) return 'O';
  if (shown.size() == 10 && shown[2] == '-' && shown[5] == '-') return 'D';
  return 'N';
}

// The first value of "Key: value" lines of a /proc file whose key is `key`.
std::string procField(const char* file, std::string_view key) {
  std::ifstream in(file);
  std::string l;
  while (std::getline(in, l)) {
    if (!l.starts_with(key)) continue;
    const std::size_t colon = l.find(':');
    if (colon == std::string::npos) continue;
    const std::size_t start = l.find_first_not_of(" \t", colon + 1);
    return start == std::string::npos ? std::string() : l.substr(start);
  }
  return {};
}

#ifdef _WIN32
std::string osName() {
  // The version the system reports to a program without a compatibility manifest for it is not
  // trustworthy; the kernel's own numbers are.
  using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
  OSVERSIONINFOW v{};
  v.dwOSVersionInfoSize = sizeof v;
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  const auto getVersion =
      ntdll == nullptr ? nullptr
                       : reinterpret_cast<RtlGetVersionFn>(
                             reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
  if (getVersion == nullptr || getVersion(&v) != 0) return "Windows";
  return "Windows " + std::to_string(v.dwMajorVersion) + "." + std::to_string(v.dwMinorVersion) +
         " (compilaci\xF3n " + std::to_string(v.dwBuildNumber) + ")";
}

int openFilesAllowed() { return _getmaxstdio(); }

int openFilesInUse() {
  DWORD handles = 0;
  return GetProcessHandleCount(GetCurrentProcess(), &handles) ? static_cast<int>(handles) : 0;
}
#else
std::string osName() {
  std::string pretty;
  std::ifstream in("/etc/os-release");
  for (std::string l; std::getline(in, l);) {
    if (l.starts_with("PRETTY_NAME=")) pretty = l.substr(12);
  }
  if (pretty.size() >= 2 && pretty.front() == '"') pretty = pretty.substr(1, pretty.size() - 2);
  utsname u{};
  const std::string kernel =
      ::uname(&u) == 0 ? std::string(u.sysname) + " " + u.release + " " + u.machine : "";
  return pretty.empty() ? kernel : pretty + " (" + kernel + ")";
}
#endif

std::string shownValue(const Value& v) {
  if (v.isText()) {
    std::string_view t = v.textView();
    return "\"" + std::string(t.substr(0, kMaxShownText)) +
           (t.size() > kMaxShownText ? "\"..." : "\"");
  }
  if (v.isArray()) return "Len: " + std::to_string(v.arrayData().items.size());
  if (v.isObject()) return "Class: " + std::string(v.objectRef().className());
  if (v.isBlock()) return "{|| ... }";
  return displayValue(v);
}

#ifndef _WIN32
int openFilesAllowed() {
  rlimit rl{};
  return ::getrlimit(RLIMIT_NOFILE, &rl) == 0 ? static_cast<int>(rl.rlim_cur) : 0;
}

int openFilesInUse() {
  std::error_code ec;
  int n = 0;
  for (std::filesystem::directory_iterator it("/proc/self/fd", ec), end; !ec && it != end;
       it.increment(ec))
    ++n;
  return n;
}
#endif

// OAPEJEC:nLinEjec, 0 when it is not set.
int scriptLine(Interp& ip) {
  Memvars::Slot* s = ip.memvars().find("OAPEJEC");
  if (s == nullptr || !s->value().isObject() || s->value().objectRef().className() != "TPublic")
    return 0;
  auto& c = static_cast<TPublic&>(s->value().objectRef());
  if (!c.isDef("NLINEJEC")) return 0;
  const Value& v = c.get("NLINEJEC");
  return v.isNumber() ? static_cast<int>(v.num()) : 0;
}

}  // namespace

std::string ERRORMESSAGE(const Failure& f) { return errorMessage(f); }

std::int32_t julianOf(std::time_t when) {
  std::tm tm{};
  localtime_r(&when, &tm);
  return julianFromYmd(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
}

std::string dateOf(std::time_t when) { return dateToText(julianOf(when)); }

std::string timeOf(std::time_t when) {
  std::tm tm{};
  localtime_r(&when, &tm);
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", tm.tm_hour, tm.tm_min, tm.tm_sec);
  return buf;
}

std::string groupThousands(std::uint64_t n) {
  std::string digits = std::to_string(n);
  for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3)
    digits.insert(static_cast<std::size_t>(i), 1, ',');
  return digits;
}

std::vector<std::string> callLines(Interp& ip, const CallStack& stack) {
  std::vector<std::string> out;
  const int lineRunning = scriptLine(ip);
  const auto& frames = stack.frames();
  for (auto it = frames.rbegin(); it != frames.rend() && out.size() < CallStack::kMaxShown; ++it) {
    std::string text = "   Llamado por " + it->routine + "(" + std::to_string(it->line) + ")";
    if (it->routine == "EJECUTAR" && lineRunning > 0) {
      text += "  : " + it->script + " - Lin.: " + std::to_string(lineRunning);
    }
    out.push_back(std::move(text));
  }
  return out;
}

std::string applicationSection(const Failure& f, std::time_t when) {
  std::error_code ec;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", ec);
  const std::uintmax_t size = ec ? 0 : std::filesystem::file_size(program, ec);
  std::string s = heading("Aplicaci\363n:");
  s += line("Programa: " + program.string() + " (" + groupThousands(ec ? 0 : size) + " bytes)");
  s += line("M\341ximo de ficheros abiertos: " + std::to_string(openFilesAllowed()) +
            " (en uso: " + std::to_string(openFilesInUse()) + ")");
  s += line("Error ocurrido el d\355a: " + dateOf(when) + ", a la hora: " + timeOf(when));
  s += line("Nombre del error: " + ERRORMESSAGE(f));
  for (std::size_t i = 0; i < f.args.size(); ++i) {
    char number[24];
    std::snprintf(number, sizeof number, "%4zu", i + 1);
    s += line(std::string("Argumento ") + number + ": Tipo " + argumentType(f.args[i]) +
              "  Valor: " + f.args[i]);
  }
  return s;
}

std::string callSection(const std::vector<std::string>& calls) {
  std::string s = heading("Llamadas a funciones");
  for (const std::string& c : calls) s += c + kEol;
  return s;
}

std::string systemSection() {
  std::string s = heading("Sistema");
  s += line("Procesador: " + procField("/proc/cpuinfo", "model name"));
  s += line("Memoria total: " + procField("/proc/meminfo", "MemTotal"));
  s += line("Memoria disponible: " + procField("/proc/meminfo", "MemAvailable"));
  s += line("Sistema operativo: " + osName());
  return s;
}

std::string variablesSection(Interp& ip) {
  std::string s = heading("Variables en uso");
  Memvars& mv = ip.memvars();
  for (const std::string& name : mv.visibleNames("*")) {
    Memvars::Slot* slot = mv.find(name);
    const bool isPublic = slot->stack.back().level == 0;
    s += line(name + (isPublic ? " (p\372blica)" : " (privada)") +
              "  Tipo: " + slot->value().typeLetter() + "  Valor: " + shownValue(slot->value()));
  }
  return s;
}

std::string filesSection(Interp& ip) {
  std::string s = heading("Ficheros en uso");
  WorkAreas* w = ip.workAreas();
  if (w == nullptr) return s;
  for (int area = 1; area <= kMaxAreas; ++area) {
    if (!w->isUsed(area)) continue;
    const std::string mark = area == w->selected() ? "=> " : "   ";
    s += line(mark + std::to_string(area) + ": " + w->aliasOf(area) +
              "  RDD: DBFCDX  Registro: " + std::to_string(w->recNo(area)) + " de " +
              std::to_string(w->recCount(area)) + "  Bof: " + (w->bof(area) ? ".T." : ".F.") +
              "  Eof: " + (w->eof(area) ? ".T." : ".F."));
    const std::string active = w->orderKey(area);
    for (const OrderInfo& o : w->orders(area)) {
      s += line(std::string(!active.empty() && o.key == active ? "   => " : "      ") + o.tag +
                ": " + o.key);
    }
  }
  return s;
}

std::string classesSection(Interp& ip) {
  std::set<std::string> classes;
  Memvars& mv = ip.memvars();
  for (const std::string& name : mv.visibleNames("*")) {
    const Value& v = mv.find(name)->value();
    if (v.isObject()) classes.insert(std::string(v.objectRef().className()));
  }
  std::string s = std::string("Clases en uso:") + kEol;
  for (const std::string& c : classes) s += line(c);
  return s;
}

std::string memorySection() {
  std::string s = heading("An\341lisis de Memoria");
  for (const char* key : {"VmPeak", "VmSize", "VmHWM", "VmRSS", "VmData"}) {
    s += line(std::string(key) + ": " + procField("/proc/self/status", key));
  }
  return s;
}

}  // namespace exo::shell
