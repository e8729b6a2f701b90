// TValidTercero and TDatosTercero as classes of the expression language: report definitions
// build the record of the third party on which the directory (alias DIREC) stands, or of the
// third party of the current output record (alias TRACON), and read its fields by name.
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <span>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "expr/Functions.h"
#include "expr/HashSlots.h"
#include "expr/Interp.h"
#include "expr/Object.h"
#include "expr/WorkAreas.h"
#include "masterdata/ThirdParty.h"
#include "shell/Disposal.h"
#include "shell/Utilities.h"

namespace exo::masterdata {
namespace {

// The text fields of the record, by the names the language reads (upper case).
struct TextProperty {
  std::string_view name;
  std::string ThirdPartyRecord::*field;
};
constexpr TextProperty kTextProperties[] = {
    {"CTA_DIR", &ThirdPartyRecord::ctaDir},     {"TIPO_P", &ThirdPartyRecord::tipoP},
    {"NIT1", &ThirdPartyRecord::nit1},          {"NIT2", &ThirdPartyRecord::nit2},
    {"TIPO_DOC", &ThirdPartyRecord::tipoDoc},   {"DIG_VERF", &ThirdPartyRecord::digVerf},
    {"PRI_APELL", &ThirdPartyRecord::priApell}, {"SEG_APELL", &ThirdPartyRecord::segApell},
    {"PRI_NOMB", &ThirdPartyRecord::priNomb},   {"SEG_NOMB", &ThirdPartyRecord::segNomb},
    {"RAZON_SOC", &ThirdPartyRecord::razonSoc}, {"DIRECCION", &ThirdPartyRecord::direccion},
    {"COD_DPTO", &ThirdPartyRecord::codDpto},   {"COD_MNCP", &ThirdPartyRecord::codMncp},
    {"COD_PAIS", &ThirdPartyRecord::codPais},   {"CERROR", &ThirdPartyRecord::cError},
};

std::string ThirdPartyRecord::*textField(std::string_view name) {
  // Asked once per message of every output record: sixteen short names, compared as views (a
  // name of another length is passed over at once), which costs less than hashing the name.
  for (const TextProperty& p : kTextProperties)
    if (p.name == name) return p.field;
  return nullptr;
}

class ValidTerceroObject final : public Object {
 public:
  std::string_view className() const override { return "TValidTercero"; }

  Value send(Interp& ip, const std::string& name, std::span<Value> args, bool isCall) override {
    (void)args;
    (void)isCall;
    const Value self = Value::object(Ref<Object>(this));
    ThirdPartyRecord& r = m_tercero.record();
    if (name == "NEW") return buildFromDirectory(ip), self;
    if (name == "VALIDATODO") return Value::logical(m_tercero.ValidaTodo());
    if (name == "SOLONIT") return Value::text(m_tercero.SoloNit());
    if (name == "PONEDIGVERIF") return Value::text(m_tercero.PoneDigVerif());
    if (name == "PONENOMBRE") return m_tercero.PoneNombre(), self;
    if (name == "LERROR") return Value::logical(r.lError);
    if (auto field = textField(name)) return Value::text(r.*field);
    return messageNotFound(ip, className(), name, false);
  }

  Value assign(Interp& ip, const std::string& name, const Value& value) override {
    ThirdPartyRecord& r = m_tercero.record();
    if (name == "LERROR" && value.isLogical()) {
      r.lError = value.logical();
      return value;
    }
    if (auto field = textField(name); field && value.isText()) {
      r.*field = std::string(value.textView());
      return value;
    }
    return messageNotFound(ip, className(), name, true);
  }

 private:
  // New: the record of the third party on which DIREC stands; a directory that is not open is
  // a failure, after which the record stays as it was.
  void buildFromDirectory(Interp& ip) {
    WorkAreas* areas = ip.workAreas();
    const int area = areas != nullptr ? areas->areaOf("DIREC") : 0;
    if (area == 0) {
      Failure f;
      f.genCode = GenCode::NoAlias;
      f.subsystem = "TERCEROS";
      f.subCode = 1000 + static_cast<int>(GenCode::NoAlias);
      f.description = "El directorio de terceros (DIREC) no est\341 abierto";
      f.operation = "TValidTercero:New";
      f.canDefault = true;
      ip.raise(std::move(f));
      return;
    }
    m_tercero = TValidTercero::New(ip, area);
  }

  TValidTercero m_tercero;
};

// A failure raised for a work area a constructor needs but that is not open.
void raiseNoAlias(Interp& ip, const char* what, const char* operation) {
  Failure f;
  f.genCode = GenCode::NoAlias;
  f.subsystem = "TERCEROS";
  f.subCode = 1000 + static_cast<int>(GenCode::NoAlias);
  f.description = what;
  f.operation = operation;
  f.canDefault = true;
  ip.raise(std::move(f));
}

std::string argText(std::span<Value> args, std::size_t i) {
  return i < args.size() && args[i].isText() ? std::string(args[i].textView()) : std::string();
}

}  // namespace

struct ThirdPartyMemoScope::Memo {
  // What the kept records were built from besides their key.
  struct Stamp {
    int direc = 0, tracon = 0, layout = 0;
    std::int64_t records = 0;
    std::string order, filter;
    bool operator==(const Stamp&) const = default;
  };
  explicit Memo(Interp& ip) : reader(ip) {}
  Stamp stamp;
  // A record kept, and the directory record the lookup found for it (0: none). The record is
  // shared with the objects given it, which copy it before they change it; an entry without one
  // (a lookup that landed elsewhere) is built again.
  struct Kept {
    std::string key;
    std::shared_ptr<TDatosTercero> record;
    std::int64_t at = 0;
  };
  // The kept records by key, found through the keys' hashes.
  class Table {
   public:
    // The entry of `key`, or null.
    Kept* find(std::string_view key) {
      const std::uint32_t at = m_slots.find(
          HashSlots::hashOf(key), [&](std::uint32_t e) { return m_entries[e].key == key; });
      return at == HashSlots::kNone ? nullptr : &m_entries[at];
    }
    // The entry of `key`, added (without a record) when there is none.
    Kept& at(std::string_view key) {
      if (Kept* k = find(key)) return *k;
      m_entries.push_back(Kept{std::string(key), nullptr, 0});
      m_slots.add(HashSlots::hashOf(key), static_cast<std::uint32_t>(m_entries.size() - 1));
      return m_entries.back();
    }
    void clear() {
      m_entries.clear();
      m_slots.clear();
    }

   private:
    HashSlots m_slots;
    std::deque<Kept> m_entries;  // entries stay where they are as others join
  };
  Table records;
  std::string key;         // the key being looked up, its room kept between records
  DirectoryReader reader;  // keeps the directory's field positions between records
};

namespace {

// The memo in force for each interpreter.
std::unordered_map<Interp*, ThirdPartyMemoScope::Memo*>& memos() {
  static std::unordered_map<Interp*, ThirdPartyMemoScope::Memo*> map;
  return map;
}
// The interpreters of a run's workers keep their memos from their own threads.
std::mutex& memosGuard() {
  static std::mutex guard;
  return guard;
}

ThirdPartyMemoScope::Memo* memoOf(Interp& ip) {
  const std::lock_guard lock(memosGuard());
  auto& map = memos();
  if (map.empty()) return nullptr;
  const auto it = map.find(&ip);
  return it == map.end() ? nullptr : it->second;
}

// Selects an area for a while.
class Selecting {
 public:
  Selecting(WorkAreas& w, int area) : m_w(w), m_previous(w.selected()) { w.select(area); }
  ~Selecting() { m_w.select(m_previous); }
  Selecting(const Selecting&) = delete;
  Selecting& operator=(const Selecting&) = delete;

 private:
  WorkAreas& m_w;
  int m_previous;
};

class DatosTerceroObject final : public Object {
 public:
  std::string_view className() const override { return "TDatosTercero"; }

  Value send(Interp& ip, const std::string& name, std::span<Value> args, bool isCall) override {
    (void)isCall;
    const TDatosTercero& seen = *m_tercero;
    const ThirdPartyRecord& r = seen.record();
    // The record's fields first: the messages a definition sends for every output record. The
    // text is copied into the evaluation's arena, as a field of a table is read.
    if (auto field = textField(name)) return Value::temp(ip.arena().store(r.*field));
    const Value self = Value::object(Ref<Object>(this));
    if (name == "NEW") return build(ip, args), self;
    if (name == "VALIDAMONTO") {
      own().ValidaMonto(m_form, argText(args, 0), argText(args, 1), argText(args, 2),
                        argText(args, 3));
      return self;
    }
    if (name == "VALIDATODO") {
      TDatosTercero& t = own();
      return Value::logical(t.record().lError = t.validate());
    }
    if (name == "SOLONIT") return Value::text(seen.identificationWithoutDigit());
    if (name == "PONEDIGVERIF") return Value::text(seen.writtenCheckDigit());
    if (name == "PONENOMBRE") return own().splitName(), self;
    if (name == "LERROR") return Value::logical(r.lError);
    if (name == "CONCEPTO") return Value::text(seen.concepto);
    if (name == "NOMBRE") return Value::text(seen.nombre);
    return messageNotFound(ip, className(), name, false);
  }

  Value assign(Interp& ip, const std::string& name, const Value& value) override {
    if (name == "LERROR" && value.isLogical()) {
      own().record().lError = value.logical();
      return value;
    }
    if (name == "CONCEPTO" && value.isText()) return own().concepto = value.textView(), value;
    if (name == "NOMBRE" && value.isText()) return own().nombre = value.textView(), value;
    if (auto field = textField(name); field && value.isText()) {
      own().record().*field = std::string(value.textView());
      return value;
    }
    return messageNotFound(ip, className(), name, true);
  }

 private:
  // New(cAddress, cDepartment, cMunicipality, cCountry) on the current record of TRACON.
  void build(Interp& ip, std::span<Value> args) {
    WorkAreas* areas = ip.workAreas();
    const int tracon = areas != nullptr ? areas->areaOf("TRACON") : 0;
    const int direc = areas != nullptr ? areas->areaOf("DIREC") : 0;
    if (tracon == 0) {
      return raiseNoAlias(ip, "La tabla de registros del formato (TRACON) no est\341 abierta",
                          "TDatosTercero:New");
    }
    if (direc == 0) {
      return raiseNoAlias(ip, "El directorio de terceros (DIREC) no est\341 abierto",
                          "TDatosTercero:New");
    }
    const auto field = [&](const char* n) {
      const int i = areas->fieldIndex(tracon, n);
      if (i < 0) return std::string();
      const Value v = areas->getField(ip, tracon, i);
      return v.isText() ? std::string(v.textView()) : std::string();
    };
    const std::string conc = field("CONC");
    const std::string ctaDir = field("CTA_DIR");
    m_form = field("FORM");
    ThirdPartyMemoScope::Memo* memo = memoOf(ip);
    std::string key;  // the key of a record to keep
    if (memo != nullptr) {
      ThirdPartyMemoScope::Memo::Stamp stamp{direc,
                                             tracon,
                                             areas->layoutId(direc),
                                             areas->recCount(direc),
                                             areas->orderKey(direc),
                                             areas->filter(direc)};
      if (!(stamp == memo->stamp)) {
        memo->records.clear();
        memo->stamp = std::move(stamp);
      }
      // The key: the output record's fields and the arguments, each after a NUL.
      const auto keyOf = [&](std::string& into) {
        into.assign(conc).append(1, '\0').append(ctaDir).append(1, '\0').append(m_form);
        for (std::size_t i = 0; i < 4; ++i) {
          into += '\0';
          if (i < args.size() && args[i].isText()) into += args[i].textView();
        }
      };
      std::string& sought = memo->key;
      keyOf(sought);
      const ThirdPartyMemoScope::Memo::Kept* kept = memo->records.find(sought);
      if (kept == nullptr || !kept->record) {
        key = sought;
      } else {
        // The directory stands on the third party (or at its end) as after the lookup; a
        // lookup that lands elsewhere (a scope set meanwhile) builds the record again, kept in
        // the entry's place. What the seek runs may change the memo: the entry is read first.
        const std::shared_ptr<TDatosTercero> record = kept->record;
        const std::int64_t keptAt = kept->at;
        bool found = false;
        {
          Selecting select(*areas, direc);
          ArenaScope arena(ip.arena());
          found = areas->seek(ip, direc, Value::temp(ctaDir), false, false);
        }
        if ((found ? areas->recNo(direc) : 0) == keptAt) {
          m_tercero = record;
          return;
        }
        keyOf(key);
      }
    }
    const std::uint64_t raised = ip.raisedCount();
    const std::string nombre = shell::BUSNOMDI(ip, ctaDir);
    const std::int64_t at = areas->found(direc) ? areas->recNo(direc) : 0;
    DirectoryEntry entry;
    if (!areas->eof(direc))
      entry = memo != nullptr ? memo->reader.read(direc) : DirectoryReader(ip).read(direc);
    m_tercero = std::make_shared<TDatosTercero>(
        TDatosTercero::New(entry, conc, nombre, m_form, argText(args, 0), argText(args, 1),
                           argText(args, 2), argText(args, 3)));
    // A record built while a failure was raised is not kept: the next New meets it again.
    if (memo != nullptr && memoOf(ip) == memo && ip.raisedCount() == raised) {
      ThirdPartyMemoScope::Memo::Kept& kept = memo->records.at(key);
      kept.record = m_tercero;
      kept.at = at;
    }
  }

  // The record to change: this object's own, copied first when it is shared with the kept
  // records (which stay as New built them).
  TDatosTercero& own() {
    if (m_tercero.use_count() > 1) m_tercero = std::make_shared<TDatosTercero>(*m_tercero);
    return *m_tercero;
  }

  std::shared_ptr<TDatosTercero> m_tercero = std::make_shared<TDatosTercero>();
  std::string m_form;
};

Value tdatosterceroClass(Args&) { return Value::object(Ref<Object>(new DatosTerceroObject)); }

Value tvalidterceroClass(Args&) { return Value::object(Ref<Object>(new ValidTerceroObject)); }

}  // namespace

ThirdPartyMemoScope::ThirdPartyMemoScope(Interp& ip)
    : m_ip(ip), m_previous(memoOf(ip)), m_memo(std::make_unique<Memo>(ip)) {
  const std::lock_guard lock(memosGuard());
  memos()[&ip] = m_memo.get();
}

ThirdPartyMemoScope::~ThirdPartyMemoScope() {
  std::unique_lock lock(memosGuard());
  if (m_previous != nullptr) memos()[&m_ip] = m_previous;
  else memos().erase(&m_ip);
  lock.unlock();
  // Thousands of records: the worker frees them while the run goes on (objects of the language
  // still holding one keep it).
  shell::disposeLater(std::move(m_memo));
}

void registerThirdPartyClasses(Interp& ip) {
  ip.functions().add("TVALIDTERCERO", tvalidterceroClass, 0, 0);
  ip.functions().add("TDATOSTERCERO", tdatosterceroClass, 0, 0);
}

}  // namespace exo::masterdata
