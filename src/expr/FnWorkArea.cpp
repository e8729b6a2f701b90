// Work-area functions of the language, served by the table engine through WorkAreas.
#include <cmath>

#include "expr/Library.h"
#include "expr/WorkAreas.h"

namespace exo::lib {
namespace {

Failure notInUse(std::string_view fn) {
  Failure f;
  f.genCode = GenCode::NoTable;
  f.subsystem = "DBCMD";
  f.subCode = 2001;
  f.description = "\301rea de trabajo sin tabla abierta";
  f.operation = std::string(fn);
  return f;
}

WorkAreas* port(Args& a) { return a.interp().workAreas(); }

// The selected area with an open table; raises "\301rea de trabajo sin tabla abierta" otherwise.
int usedArea(Args& a) {
  WorkAreas* w = port(a);
  const int area = w ? w->selected() : 0;
  if (area <= 0 || !w->isUsed(area)) throw ArgSubstitute{a.interp().raise(notInUse(a.function()))};
  return area;
}

// The selected area for queries, 0 when no table is open there.
int queryArea(Args& a) {
  WorkAreas* w = port(a);
  const int area = w ? w->selected() : 0;
  return area > 0 && w->isUsed(area) ? area : 0;
}

WorkAreas& wa(Args& a) { return *port(a); }

Value num(double n) { return Value::number(n); }
Value yes() { return Value::logical(true); }

Value select(Args& a) {
  WorkAreas* w = port(a);
  if (!w) return num(0);
  if (a[0].isText()) return num(w->areaOf(upperName(a.text(0))));
  return num(w->selected());
}

Value alias(Args& a) {
  WorkAreas* w = port(a);
  if (!w) return Value::text("");
  const int area = a.has(0) ? static_cast<int>(a.integer(0, 0, kMaxAreaNumber)) : w->selected();
  return Value::text(w->aliasOf(area));
}

Value selectArea(Args& a) {
  WorkAreas* w = port(a);
  if (!w) return a.fail();
  int area = 0;
  if (a[0].isText()) {
    area = w->areaOf(upperName(a.text(0)));
    if (area == 0) {
      Failure f;
      f.genCode = GenCode::NoAlias;
      f.subsystem = "BASE";
      f.subCode = 1002;
      f.description = "El alias no existe";
      f.operation = std::string(a.text(0));
      return a.interp().raise(std::move(f));
    }
  } else {
    area = static_cast<int>(a.integer(0, 0, kMaxAreaNumber));
  }
  w->select(area);
  return Value();
}

Value recno(Args& a) {
  const int r = queryArea(a);
  return num(r ? static_cast<double>(wa(a).recNo(r)) : 0);
}
Value reccount(Args& a) {
  const int r = queryArea(a);
  return num(r ? static_cast<double>(wa(a).recCount(r)) : 0);
}
Value eof(Args& a) {
  const int r = queryArea(a);
  return Value::logical(r ? wa(a).eof(r) : true);
}
Value bof(Args& a) {
  const int r = queryArea(a);
  return Value::logical(r ? wa(a).bof(r) : true);
}
Value found(Args& a) {
  const int r = queryArea(a);
  return Value::logical(r ? wa(a).found(r) : false);
}
Value deleted(Args& a) {
  const int r = queryArea(a);
  return Value::logical(r ? wa(a).deleted(r) : false);
}
Value used(Args& a) { return Value::logical(queryArea(a) != 0); }

Value fcount(Args& a) {
  const int r = queryArea(a);
  return num(r ? static_cast<double>(wa(a).fields(r).size()) : 0);
}

int fieldArg(Args& a, int area) {
  const std::int64_t n = a.integer(0, -kMaxIntArg, kMaxIntArg);
  const std::int64_t count = wa(a).fieldCount(area);
  return n >= 1 && n <= count ? static_cast<int>(n) - 1 : -1;
}

Value fieldget(Args& a) {
  const int area = queryArea(a);
  if (!area) return Value();
  const int f = fieldArg(a, area);
  return f < 0 ? Value() : wa(a).getField(a.interp(), area, f);
}

Value fieldput(Args& a) {
  const int area = usedArea(a);
  const int f = fieldArg(a, area);
  if (f < 0) return Value();
  wa(a).putField(a.interp(), area, f, a[1]);
  return a[1];
}

Value fieldpos(Args& a) {
  const int area = queryArea(a);
  return num(area ? wa(a).fieldIndex(area, upperName(a.text(0))) + 1 : 0);
}

Value fieldname(Args& a) {
  const int area = queryArea(a);
  if (!area) return Value::text("");
  const int f = fieldArg(a, area);
  return Value::text(f < 0 ? "" : wa(a).fields(area)[static_cast<std::size_t>(f)].name);
}

Value skip(Args& a) {
  wa(a).skip(a.interp(), usedArea(a), a.integer(0, -kMaxRecordNumber, kMaxRecordNumber, 1));
  return Value();
}
Value gotop(Args& a) {
  wa(a).goTop(a.interp(), usedArea(a));
  return Value();
}
Value gobottom(Args& a) {
  wa(a).goBottom(a.interp(), usedArea(a));
  return Value();
}
Value gotoFn(Args& a) {
  wa(a).goTo(a.interp(), usedArea(a), a.integer(0, -kMaxRecordNumber, kMaxRecordNumber));
  return Value();
}

Value seek(Args& a) {
  const int area = usedArea(a);
  return Value::logical(
      wa(a).seek(a.interp(), area, a[0], a.logical(1, false), a.logical(2, false)));
}

Value append(Args& a) {
  wa(a).append(a.interp(), usedArea(a));
  return Value();
}
Value del(Args& a) {
  wa(a).deleteRecord(a.interp(), usedArea(a));
  return Value();
}
Value recall(Args& a) {
  wa(a).recall(a.interp(), usedArea(a));
  return Value();
}
Value commit(Args& a) {
  wa(a).commit(a.interp(), usedArea(a));
  return Value();
}
Value rlock(Args& a) {
  return Value::logical(
      wa(a).lockRecord(a.interp(), usedArea(a), a.integer(0, 0, kMaxRecordNumber, 0)));
}
Value flock(Args& a) { return Value::logical(wa(a).lockFile(a.interp(), usedArea(a))); }
Value unlock(Args& a) {
  wa(a).unlock(a.interp(), usedArea(a));
  return Value();
}
Value zap(Args& a) {
  wa(a).zap(a.interp(), usedArea(a));
  return Value();
}
Value pack(Args& a) {
  wa(a).pack(a.interp(), usedArea(a));
  return Value();
}

// dbCreate(file, {{name, type, width, decimals}, ...})
Value create(Args& a) {
  if (!port(a) || !a[1].isArray()) return a.fail();
  std::vector<FieldInfo> fields;
  for (const Value& row : a[1].arrayData().items) {
    if (!row.isArray() || row.arrayData().items.size() < 4) return a.fail();
    const auto& r = row.arrayData().items;
    if (!r[0].isText() || !r[1].isText() || !r[2].isNumber() || !r[3].isNumber() ||
        r[1].textView().empty())
      return a.fail();
    Value reply;
    const auto width = checkedInteger(a.interp(), r[2].num(), 0, 65535, a.function(), r, &reply);
    if (!width) return reply;
    const auto dec = checkedInteger(a.interp(), r[3].num(), 0, 255, a.function(), r, &reply);
    if (!dec) return reply;
    fields.push_back(
        {upperName(r[0].textView()),
         static_cast<char>(toUpper1252(static_cast<unsigned char>(r[1].textView()[0]))),
         static_cast<int>(*width), static_cast<int>(*dec)});
  }
  wa(a).create(a.interp(), std::string(a.text(0)), fields);
  return yes();
}

// dbUseArea(new area, driver, file, alias, shared, read-only)
Value use(Args& a) {
  if (!port(a)) return a.fail();
  const std::string file(a.text(2));
  const std::string alias = a.has(3) ? upperName(a.text(3)) : std::string();
  wa(a).use(a.interp(), a.logical(0, false), file, alias, a.logical(4, true), a.logical(5, false));
  return Value();
}

Value closeArea(Args& a) {
  const int area = queryArea(a);
  if (area) wa(a).close(a.interp(), area);
  return Value();
}

Value closeAll(Args& a) {
  if (port(a)) wa(a).closeAll(a.interp());
  return Value();
}

// OrdCreate(bag, tag, key, for)
Value ordcreate(Args& a) {
  const int area = usedArea(a);
  const std::string bag = a.has(0) ? std::string(a.text(0)) : std::string();
  const std::string tag = a.has(1) ? std::string(a.text(1)) : std::string();
  const std::string forCond = a.has(3) ? std::string(a.text(3)) : std::string();
  wa(a).orderCreate(a.interp(), area, bag, tag, std::string(a.text(2)), forCond);
  return Value();
}

Value ordlistadd(Args& a) {
  wa(a).orderListAdd(a.interp(), usedArea(a), std::string(a.text(0)));
  return Value();
}

Value ordsetfocus(Args& a) {
  const int area = queryArea(a);
  if (!area) return Value::text("");
  return Value::text(wa(a).orderSetFocus(a.interp(), area, a[0]));
}

Value ordkey(Args& a) {
  const int r = queryArea(a);
  return Value::text(r ? wa(a).orderKey(r) : "");
}

Value ordscope(Args& a) {
  const int area = usedArea(a);
  return wa(a).orderScope(a.interp(), area, static_cast<int>(a.integer(0, -kMaxIntArg, kMaxIntArg)),
                          a[1]);
}

Value keycount(Args& a) {
  const int r = queryArea(a);
  return num(r ? static_cast<double>(wa(a).keyCount(a.interp(), r)) : 0);
}
Value keyno(Args& a) {
  const int r = queryArea(a);
  return num(r ? static_cast<double>(wa(a).keyNo(a.interp(), r)) : 0);
}

// dbSetFilter(block, text) or dbSetFilter(text): the condition text is what the engine uses.
Value setfilter(Args& a) {
  const int area = usedArea(a);
  std::string cond;
  if (a[1].isText()) cond = std::string(a.text(1));
  else if (a[0].isText()) cond = std::string(a.text(0));
  else return a.fail();
  wa(a).setFilter(a.interp(), area, cond);
  return Value();
}

Value clearfilter(Args& a) {
  wa(a).setFilter(a.interp(), usedArea(a), "");
  return Value();
}
Value filterFn(Args& a) {
  const int r = queryArea(a);
  return Value::text(r ? wa(a).filter(r) : "");
}

// dbSetRelation(child alias, block, key text)
Value setrelation(Args& a) {
  const int area = usedArea(a);
  if (!a[2].isText()) return a.fail();
  wa(a).setRelation(a.interp(), area, upperName(a.text(0)), std::string(a.text(2)));
  return Value();
}

Value clearrelation(Args& a) {
  wa(a).setRelation(a.interp(), usedArea(a), "", "");
  return Value();
}

// dbEval(block, for block, while block): from the current record to the end.
Value dbeval(Args& a) {
  const int area = usedArea(a);
  WorkAreas& w = wa(a);
  Interp& ip = a.interp();
  const Value block = a[0], forBlock = a[1], whileBlock = a[2];
  if (!block.isBlock()) return a.fail();
  w.goTop(ip, area);
  while (!w.eof(area)) {
    if (whileBlock.isBlock()) {
      const Value go = ip.evalBlock(whileBlock, {});
      if (!go.isLogical() || !go.logical()) break;
    }
    bool take = true;
    if (forBlock.isBlock()) {
      const Value ok = ip.evalBlock(forBlock, {});
      take = ok.isLogical() && ok.logical();
    }
    if (take) ip.evalBlock(block, {});
    w.skip(ip, area, 1);
  }
  return Value();
}

}  // namespace

void registerWorkAreas(Functions& f) {
  f.add("SELECT", select, 0, 1);
  f.add("ALIAS", alias, 0, 1);
  f.add("DBSELECTAREA", selectArea, 1, 1);
  f.add("RECNO", recno, 0, 0);
  f.add("RECCOUNT", reccount, 0, 0);
  f.add("LASTREC", reccount, 0, 0);
  f.add("EOF", eof, 0, 0);
  f.add("BOF", bof, 0, 0);
  f.add("FOUND", found, 0, 0);
  f.add("DELETED", deleted, 0, 0);
  f.add("USED", used, 0, 0);
  f.add("FCOUNT", fcount, 0, 0);
  f.add("FIELDGET", fieldget, 1, 1);
  f.add("FIELDPUT", fieldput, 2, 2);
  f.add("FIELDPOS", fieldpos, 1, 1);
  f.add("FIELDNAME", fieldname, 1, 1);
  f.add("FIELD", fieldname, 1, 1);
  f.add("DBSKIP", skip, 0, 1);
  f.add("DBGOTOP", gotop, 0, 0);
  f.add("DBGOBOTTOM", gobottom, 0, 0);
  f.add("DBGOTO", gotoFn, 1, 1);
  f.add("DBSEEK", seek, 1, 3);
  f.add("DBAPPEND", append, 0, 1);
  f.add("DBDELETE", del, 0, 0);
  f.add("DBRECALL", recall, 0, 0);
  f.add("DBCOMMIT", commit, 0, 0);
  f.add("DBRLOCK", rlock, 0, 1);
  f.add("RLOCK", rlock, 0, 0);
  f.add("FLOCK", flock, 0, 0);
  f.add("DBUNLOCK", unlock, 0, 0);
  f.add("DBZAP", zap, 0, 0);
  f.add("__DBZAP", zap, 0, 0);
  f.add("DBPACK", pack, 0, 0);
  f.add("__DBPACK", pack, 0, 0);
  f.add("DBCREATE", create, 2, 4);
  f.add("DBUSEAREA", use, 3, 6);
  f.add("DBCLOSEAREA", closeArea, 0, 0);
  f.add("DBCLOSEALL", closeAll, 0, 0);
  f.add("ORDCREATE", ordcreate, 3, 5);
  f.add("ORDLISTADD", ordlistadd, 1, 2);
  f.add("ORDSETFOCUS", ordsetfocus, 0, 2);
  f.add("ORDKEY", ordkey, 0, 2);
  f.add("INDEXKEY", ordkey, 0, 1);
  f.add("ORDSCOPE", ordscope, 1, 2);
  f.add("ORDKEYCOUNT", keycount, 0, 2);
  f.add("ORDKEYNO", keyno, 0, 2);
  f.add("DBSETFILTER", setfilter, 1, 2);
  f.add("DBCLEARFILTER", clearfilter, 0, 0);
  f.add("DBFILTER", filterFn, 0, 0);
  f.add("DBSETRELATION", setrelation, 2, 3);
  f.add("DBCLEARRELATION", clearrelation, 0, 0);
  f.add("DBEVAL", dbeval, 1, 6);
}

}  // namespace exo::lib
