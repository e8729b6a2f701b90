// Value construction and ownership.
#include "expr/Value.h"

#include "expr/Block.h"
#include "expr/Object.h"

namespace exo {

Value Value::text(std::string_view s) {
  Value v;
  v.type_ = Type::Character;
  v.len_ = static_cast<std::uint32_t>(s.size());
  if (s.empty()) {
    v.u_.str = "";
    return v;
  }
  auto* data = new StringData(s);
  v.ref_ = data;
  data->retain();
  v.u_.str = data->text.data();
  return v;
}

Value Value::array(Ref<ArrayData> a) {
  Value v;
  if (!a) return v;
  v.type_ = Type::Array;
  v.ref_ = a.get();
  v.ref_->retain();
  return v;
}

Value Value::newArray(std::size_t n) {
  Ref<ArrayData> a(new ArrayData);
  a->items.resize(n);
  return array(a);
}

Value Value::block(Ref<BlockData> b) {
  Value v;
  if (!b) return v;
  v.type_ = Type::Block;
  v.ref_ = b.get();
  v.ref_->retain();
  return v;
}

Value Value::object(Ref<Object> o) {
  Value v;
  if (!o) return v;
  v.type_ = Type::Object;
  v.ref_ = o.get();
  v.ref_->retain();
  return v;
}

BlockData& Value::blockData() const { return *static_cast<BlockData*>(ref_); }
Object& Value::objectRef() const { return *static_cast<Object*>(ref_); }
Ref<Object> Value::objectPtr() const { return Ref<Object>(static_cast<Object*>(ref_)); }

Value& Value::own() {
  if (isTemp()) *this = text(textView());
  return *this;
}

char Value::typeLetter() const {
  switch (type_) {
    case Type::Nil: return 'U';
    case Type::Character: return 'C';
    case Type::Numeric: return 'N';
    case Type::Date: return 'D';
    case Type::Logical: return 'L';
    case Type::Array: return 'A';
    case Type::Block: return 'B';
    case Type::Object: return 'O';
  }
  return 'U';
}

}  // namespace exo
