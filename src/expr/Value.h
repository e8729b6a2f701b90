// Values of the expression language: NIL, character (Windows-1252 bytes), numeric (double with
// the display width and decimals the language keeps), date (Julian day), logical, array, code
// block and object.
//
// A value is small (24 bytes) and cheap to copy. Character data is either owned (a shared,
// immutable string) or temporary: bytes in the evaluation's text arena, valid until the
// evaluation that made them returns. Anything that keeps a value beyond the current evaluation
// (a variable, an array element, an object) calls own() first.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace exo {

enum class Type : std::uint8_t { Nil, Character, Numeric, Date, Logical, Array, Block, Object };

// Base of the reference-counted parts of values (single-threaded counts).
class RefCounted {
 public:
  virtual ~RefCounted() = default;
  void retain() const { ++refs_; }
  void release() const {
    if (--refs_ == 0) delete this;
  }

 private:
  mutable int refs_ = 0;
};

// Intrusive owning pointer to a RefCounted.
template <class T>
class Ref {
 public:
  Ref() = default;
  Ref(T* p) : p_(p) {  // NOLINT: implicit by design
    if (p_) base()->retain();
  }
  Ref(const Ref& o) : Ref(o.p_) {}
  Ref(Ref&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  ~Ref() {
    if (p_) base()->release();
  }
  Ref& operator=(Ref o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  T& operator*() const { return *p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  // The counts are reached through the base class, so that a class with a method of the same
  // name (TPublic's release(), the language's Release) cannot hide them.
  const RefCounted* base() const { return static_cast<const RefCounted*>(p_); }
  T* p_ = nullptr;
};

class Value;
struct ArrayData;
class BlockData;
class Object;

struct StringData final : RefCounted {
  explicit StringData(std::string_view s) : text(s) {}
  std::string text;
};

class Value {
 public:
  Value() = default;
  Value(const Value& o)
      : type_(o.type_), width_(o.width_), dec_(o.dec_), len_(o.len_), u_(o.u_), ref_(o.ref_) {
    if (ref_) ref_->retain();
  }
  Value(Value&& o) noexcept
      : type_(o.type_),
        width_(o.width_),
        dec_(o.dec_),
        len_(o.len_),
        u_(o.u_),
        ref_(std::exchange(o.ref_, nullptr)) {
    o.type_ = Type::Nil;
  }
  Value& operator=(const Value& o) {
    Value tmp(o);
    swap(tmp);
    return *this;
  }
  Value& operator=(Value&& o) noexcept {
    if (this == &o) return *this;
    RefCounted* old = ref_;
    type_ = o.type_;
    width_ = o.width_;
    dec_ = o.dec_;
    len_ = o.len_;
    u_ = o.u_;
    ref_ = std::exchange(o.ref_, nullptr);
    o.type_ = Type::Nil;
    if (old) old->release();
    return *this;
  }
  // Back to NIL, releasing what the value held.
  void reset() noexcept {
    type_ = Type::Nil;
    if (ref_) std::exchange(ref_, nullptr)->release();
  }
  ~Value() {
    if (ref_) ref_->release();
  }
  void swap(Value& o) noexcept {
    std::swap(type_, o.type_);
    std::swap(width_, o.width_);
    std::swap(dec_, o.dec_);
    std::swap(len_, o.len_);
    std::swap(u_, o.u_);
    std::swap(ref_, o.ref_);
  }

  // Constructors by kind.
  static Value nil() { return Value(); }
  // Owned copy of the text.
  static Value text(std::string_view s);
  // Text whose bytes live elsewhere until the current evaluation returns (the arena, a record).
  static Value temp(std::string_view s) {
    Value v;
    v.type_ = Type::Character;
    v.len_ = static_cast<std::uint32_t>(s.size());
    v.u_.str = s.empty() ? "" : s.data();
    return v;
  }
  // A number; width is the integer-part display width (0 = the default for its size).
  static Value number(double n, int dec = 0, int width = 0) {
    Value v;
    v.type_ = Type::Numeric;
    v.u_.num = n;
    v.dec_ = static_cast<std::uint8_t>(dec < 0 ? 0 : dec > 99 ? 99 : dec);
    v.width_ = static_cast<std::uint8_t>(width < 0 ? 0 : width > 255 ? 255 : width);
    return v;
  }
  static Value date(std::int32_t julianDay) {  // 0 = empty date
    Value v;
    v.type_ = Type::Date;
    v.u_.jd = julianDay;
    return v;
  }
  static Value logical(bool b) {
    Value v;
    v.type_ = Type::Logical;
    v.u_.log = b;
    return v;
  }
  static Value array(Ref<ArrayData> a);
  static Value newArray(std::size_t n = 0);
  static Value block(Ref<BlockData> b);
  static Value object(Ref<Object> o);

  Type type() const { return type_; }
  bool isNil() const { return type_ == Type::Nil; }
  bool isText() const { return type_ == Type::Character; }
  bool isNumber() const { return type_ == Type::Numeric; }
  bool isDate() const { return type_ == Type::Date; }
  bool isLogical() const { return type_ == Type::Logical; }
  bool isArray() const { return type_ == Type::Array; }
  bool isBlock() const { return type_ == Type::Block; }
  bool isObject() const { return type_ == Type::Object; }

  // REQUIRES: the matching is...() holds.
  std::string_view textView() const { return {u_.str, len_}; }
  double num() const { return u_.num; }
  int decimals() const { return dec_; }
  int width() const { return width_; }
  std::int32_t julian() const { return u_.jd; }
  bool logical() const { return u_.log; }
  ArrayData& arrayData() const;
  BlockData& blockData() const;
  Object& objectRef() const;
  Ref<Object> objectPtr() const;

  // True when the text's bytes are not owned by this value.
  bool isTemp() const { return type_ == Type::Character && ref_ == nullptr && len_ > 0; }
  // Makes temporary text owned, so the value may outlive the current evaluation.
  Value& own();
  Value owned() const& {
    Value v(*this);
    v.own();
    return v;
  }

  // Sets the numeric display width and decimals (width = integer part).
  void setNumFormat(int width, int dec) {
    width_ = static_cast<std::uint8_t>(width);
    dec_ = static_cast<std::uint8_t>(dec);
  }

  // The type letter of ValType(): U C N D L A B O.
  char typeLetter() const;

 private:
  Type type_ = Type::Nil;
  std::uint8_t width_ = 0;
  std::uint8_t dec_ = 0;
  std::uint32_t len_ = 0;
  union Payload {
    double num;
    std::int32_t jd;
    bool log;
    const char* str;
  } u_{0.0};
  RefCounted* ref_ = nullptr;
};

struct ArrayData final : RefCounted {
  std::vector<Value> items;
};

inline ArrayData& Value::arrayData() const { return *static_cast<ArrayData*>(ref_); }

}  // namespace exo
