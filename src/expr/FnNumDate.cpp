// Number, date and time functions of the language.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "expr/Dates.h"
#include "expr/Library.h"
#include "expr/Numbers.h"

namespace exo::lib {
namespace {

constexpr int kDefaultDecimals = 2;

Value round(Args& a) {
  const int d =
      static_cast<int>(std::clamp<std::int64_t>(a.integer(1, -kMaxIntArg, kMaxIntArg, 0), -15, 15));
  return Value::number(roundHalfAway(a.num(0), d), std::max(d, 0));
}

// Int() keeps the integer-part width of its argument.
Value intFn(Args& a) { return Value::number(std::trunc(a.num(0)), 0, a[0].width()); }

Value absFn(Args& a) {
  const Value& v = a[0];
  if (!v.isNumber()) return a.fail();
  return Value::number(std::fabs(v.num()), v.decimals(), v.width());
}

Value pick(Args& a, bool larger) {
  const Value &x = a[0], &y = a[1];
  if (x.isNumber() && y.isNumber())
    return (larger ? x.num() >= y.num() : x.num() <= y.num()) ? x : y;
  if (x.isDate() && y.isDate())
    return (larger ? x.julian() >= y.julian() : x.julian() <= y.julian()) ? x : y;
  if (x.isLogical() && y.isLogical())
    return Value::logical(larger ? (x.logical() || y.logical()) : (x.logical() && y.logical()));
  return a.fail();
}
Value maxFn(Args& a) { return pick(a, true); }
Value minFn(Args& a) { return pick(a, false); }

// Mod() with the sign of the divisor, as the classic run-time defines it.
Value modFn(Args& a) {
  const double x = a.num(0), y = a.num(1);
  if (y == 0) {
    Failure f = argumentError("%", 1341, a.all());
    f.genCode = GenCode::ZeroDiv;
    f.description = "Divisi\363n por cero";
    return a.interp().raise(std::move(f));
  }
  double r = std::fmod(x, y);
  if (r != 0 && ((r < 0) != (y < 0))) r += y;
  return Value::number(r, std::max(a[0].decimals(), a[1].decimals()));
}

Value sqrtFn(Args& a) {
  const double x = a.num(0);
  return Value::number(x <= 0 ? 0.0 : std::sqrt(x), kDefaultDecimals);
}

Value logFn(Args& a) {
  const double x = a.num(0);
  if (x <= 0) {
    Value v = Value::number(-HUGE_VAL, kDefaultDecimals);
    return v;
  }
  return Value::number(std::log(x), kDefaultDecimals);
}

Value expFn(Args& a) { return Value::number(std::exp(a.num(0)), kDefaultDecimals); }

// --- dates ---------------------------------------------------------------------------------

Value dateFn(Args&) { return Value::date(today()); }

Value timeFn(Args& a) {
  const std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", tm.tm_hour, tm.tm_min, tm.tm_sec);
  return tempText(a.interp(), buf);
}

Value secondsFn(Args&) {
  const auto now = std::chrono::system_clock::now();
  const std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm tm{};
  localtime_r(&t, &tm);
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  const double secs =
      tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec + static_cast<double>(ms) / 1000.0;
  return Value::number(secs, 2);
}

Value dtos(Args& a) { return tempText(a.interp(), dateToKey(a.date(0))); }
Value stod(Args& a) { return Value::date(a.has(0) ? keyToDate(a.text(0)) : 0); }
Value dtoc(Args& a) { return tempText(a.interp(), dateToText(a.date(0))); }
Value ctod(Args& a) { return Value::date(textToDate(a.text(0))); }

int datePart(Args& a, int which) {
  const std::int32_t jd = a.date(0);
  if (jd <= 0) return 0;
  int y, m, d;
  ymdFromJulian(jd, y, m, d);
  return which == 0 ? y : which == 1 ? m : d;
}
// Date parts have the family's fixed widths: the year five columns, month, day and day of the
// week three, so that Str(Year(d)) is " 2011" and Str(Day(d)) is " 31".
constexpr int kYearWidth = 5;
constexpr int kDatePartWidth = 3;
Value year(Args& a) { return Value::number(datePart(a, 0), 0, kYearWidth); }
Value month(Args& a) { return Value::number(datePart(a, 1), 0, kDatePartWidth); }
Value day(Args& a) { return Value::number(datePart(a, 2), 0, kDatePartWidth); }
Value dow(Args& a) { return Value::number(dayOfWeek(a.date(0)), 0, kDatePartWidth); }
Value cmonth(Args& a) { return tempText(a.interp(), monthName(datePart(a, 1))); }
Value cdow(Args& a) { return tempText(a.interp(), dayName(dayOfWeek(a.date(0)))); }

}  // namespace

void registerNumbers(Functions& f) {
  f.add("ROUND", round, 1, 2);
  f.add("INT", intFn, 1, 1);
  f.add("ABS", absFn, 1, 1);
  f.add("MAX", maxFn, 2, 2);
  f.add("MIN", minFn, 2, 2);
  f.add("MOD", modFn, 2, 2);
  f.add("SQRT", sqrtFn, 1, 1);
  f.add("LOG", logFn, 1, 1);
  f.add("EXP", expFn, 1, 1);
}

void registerDates(Functions& f) {
  f.add("DATE", dateFn, 0, 0);
  f.add("TIME", timeFn, 0, 0);
  f.add("SECONDS", secondsFn, 0, 0);
  f.add("DTOS", dtos, 1, 1);
  f.add("STOD", stod, 0, 1);
  f.add("DTOC", dtoc, 1, 1);
  f.add("CTOD", ctod, 1, 1);
  f.add("YEAR", year, 1, 1);
  f.add("MONTH", month, 1, 1);
  f.add("DAY", day, 1, 1);
  f.add("DOW", dow, 1, 1);
  f.add("CMONTH", cmonth, 1, 1);
  f.add("CDOW", cdow, 1, 1);
}

}  // namespace exo::lib
