// Array functions of the language.
#include <algorithm>
#include <cmath>

#include "expr/Collation.h"
#include "expr/Library.h"
#include "expr/Numbers.h"
#include "expr/Ops.h"

namespace exo::lib {
namespace {

constexpr std::int64_t kMaxArray = 4 * 1024 * 1024;

std::vector<Value>& items(Args& a, std::size_t i) {
  if (!a[i].isArray()) throw ArgSubstitute{a.fail()};
  return a[i].arrayData().items;
}

std::size_t arraySize(Args& a, double n) {
  const auto size = integerIn(n, 0, kMaxArray);
  if (!size) {
    Failure f = argumentError(a.function(), 1131, a.all());
    f.genCode = GenCode::Bound;
    f.description = "Fuera de rango: dimensi\363n de un arreglo";
    throw ArgSubstitute{a.interp().raise(std::move(f))};
  }
  return static_cast<std::size_t>(*size);
}

Value makeArray(Args& a, std::size_t dim) {
  const std::size_t n = arraySize(a, a.num(dim));
  Value arr = Value::newArray(n);
  if (dim + 1 < a.count()) {
    for (auto& item : arr.arrayData().items) item = makeArray(a, dim + 1);
  }
  return arr;
}

Value arrayFn(Args& a) {
  if (a.count() == 0) return a.fail();
  // The dimensions together are bounded as one: Array(100000, 100000) keeps each within bounds
  // but asks for ten thousand million elements.
  double elements = 1;
  for (std::size_t dim = 0; dim < a.count(); ++dim)
    elements *= static_cast<double>(arraySize(a, a.num(dim)));
  arraySize(a, elements);
  return makeArray(a, 0);
}

Value aadd(Args& a) {
  auto& v = items(a, 0);
  arraySize(a, static_cast<double>(v.size() + 1));
  v.push_back(a[1].owned());
  return a[1];
}

Value asize(Args& a) {
  auto& v = items(a, 0);
  v.resize(arraySize(a, a.num(1)));
  return a[0];
}

// 0-based position of a 1-based argument, or the array size when out of range.
std::size_t position(Args& a, std::size_t i, const std::vector<Value>& v) {
  const std::int64_t p = a.integer(i, -kMaxIntArg, kMaxIntArg);
  if (p < 1 || p > static_cast<std::int64_t>(v.size())) return v.size();
  return static_cast<std::size_t>(p) - 1;
}

Value adel(Args& a) {
  auto& v = items(a, 0);
  const std::size_t p = position(a, 1, v);
  if (p < v.size()) {
    v.erase(v.begin() + static_cast<std::ptrdiff_t>(p));
    v.emplace_back();
  }
  return a[0];
}

Value ains(Args& a) {
  auto& v = items(a, 0);
  const std::size_t p = position(a, 1, v);
  if (p < v.size()) {
    v.pop_back();
    v.insert(v.begin() + static_cast<std::ptrdiff_t>(p), Value());
  }
  return a[0];
}

// Range [start, end) from optional 1-based start and count arguments.
void range(Args& a, std::size_t si, std::size_t size, std::size_t& start, std::size_t& end) {
  const std::int64_t s = std::max<std::int64_t>(1, a.integer(si, -kMaxIntArg, kMaxIntArg, 1));
  start = std::min(static_cast<std::size_t>(s) - 1, size);
  const std::int64_t c = a.has(si + 1)
                             ? std::max<std::int64_t>(0, a.integer(si + 1, -kMaxIntArg, kMaxIntArg))
                             : static_cast<std::int64_t>(size);
  end = start + std::min(static_cast<std::size_t>(c), size - start);
}

bool scanMatch(Interp& ip, const Value& item, const Value& target) {
  if (target.isBlock()) {
    const Value r = ip.evalBlock(target, std::span<const Value>(&item, 1));
    return r.isLogical() && r.logical();
  }
  if (item.type() != target.type()) return false;
  const Value eq = binaryOp(ip, Op::Eq, item, target);
  return eq.isLogical() && eq.logical();
}

Value ascan(Args& a) {
  Value keep = a[0];
  if (!keep.isArray()) return a.fail();
  const Value target = a[1];
  std::size_t start, end;
  range(a, 2, keep.arrayData().items.size(), start, end);
  for (std::size_t i = start; i < end && i < keep.arrayData().items.size(); ++i) {
    const Value item = keep.arrayData().items[i];
    if (scanMatch(a.interp(), item, target)) return Value::number(static_cast<double>(i + 1));
  }
  return Value::number(0);
}

// Default order: by type, then by value (text by the collation).
bool defaultLess(const Value& x, const Value& y) {
  if (x.type() != y.type()) return x.type() < y.type();
  switch (x.type()) {
    case Type::Character: return collate(x.textView(), y.textView()) < 0;
    case Type::Numeric: return x.num() < y.num();
    case Type::Date: return x.julian() < y.julian();
    case Type::Logical: return !x.logical() && y.logical();
    default: return false;
  }
}

Value asort(Args& a) {
  Value keep = a[0];
  if (!keep.isArray()) return a.fail();
  std::size_t start, end;
  range(a, 1, keep.arrayData().items.size(), start, end);
  const Value block = a[3];
  std::vector<Value> part(keep.arrayData().items.begin() + static_cast<std::ptrdiff_t>(start),
                          keep.arrayData().items.begin() + static_cast<std::ptrdiff_t>(end));
  Interp& ip = a.interp();
  // A merge sort tolerates comparison blocks that are not a strict ordering.
  std::stable_sort(part.begin(), part.end(), [&](const Value& x, const Value& y) {
    if (!block.isBlock()) return defaultLess(x, y);
    const Value pair[2] = {x, y};
    const Value r = ip.evalBlock(block, pair);
    return r.isLogical() && r.logical();
  });
  auto& v = keep.arrayData().items;
  for (std::size_t i = 0; i < part.size() && start + i < v.size(); ++i)
    v[start + i] = std::move(part[i]);
  return keep;
}

Value aeval(Args& a) {
  Value keep = a[0];
  if (!keep.isArray() || !a[1].isBlock()) return a.fail();
  std::size_t start, end;
  range(a, 2, keep.arrayData().items.size(), start, end);
  for (std::size_t i = start; i < end && i < keep.arrayData().items.size(); ++i) {
    const Value args[2] = {keep.arrayData().items[i], Value::number(static_cast<double>(i + 1))};
    a.interp().evalBlock(a[1], args);
  }
  return keep;
}

Value cloneArray(Interp& ip, const Value& v) {
  DepthGuard depth(ip);
  Value copy = Value::newArray(v.arrayData().items.size());
  auto& out = copy.arrayData().items;
  const auto& in = v.arrayData().items;
  for (std::size_t i = 0; i < in.size(); ++i)
    out[i] = in[i].isArray() ? cloneArray(ip, in[i]) : in[i];
  return copy;
}

Value aclone(Args& a) {
  if (!a[0].isArray()) return Value();
  return cloneArray(a.interp(), a[0]);
}

Value acopy(Args& a) {
  auto& src = items(a, 0);
  auto& dst = items(a, 1);
  std::size_t start, end;
  range(a, 2, src.size(), start, end);
  const std::int64_t t = std::max<std::int64_t>(1, a.integer(4, -kMaxIntArg, kMaxIntArg, 1));
  std::size_t target = static_cast<std::size_t>(t) - 1;
  for (std::size_t i = start; i < end && target < dst.size(); ++i, ++target) dst[target] = src[i];
  return a[1];
}

}  // namespace

void registerArrays(Functions& f) {
  f.add("ARRAY", arrayFn, 1, -1);
  f.add("AADD", aadd, 2, 2);
  f.add("ASIZE", asize, 2, 2);
  f.add("ADEL", adel, 2, 2);
  f.add("AINS", ains, 2, 2);
  f.add("ASCAN", ascan, 2, 4);
  f.add("ASORT", asort, 1, 4);
  f.add("AEVAL", aeval, 2, 4);
  f.add("ACLONE", aclone, 1, 1);
  f.add("ACOPY", acopy, 2, 5);
}

}  // namespace exo::lib
