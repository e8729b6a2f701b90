// The records that can be read of a damaged table file.
#include "store/Salvage.h"

#include <algorithm>

#include "store/File.h"

namespace exo::store {
namespace {

std::uint32_t le16(const unsigned char* p) { return p[0] | p[1] << 8; }
std::uint32_t le32(const unsigned char* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint16_t widthOf(const FieldDef& f) {
  switch (f.type) {
    case 'D': return 8;
    case 'L': return 1;
    case 'M': return 10;
    default: return f.length;
  }
}

// Character fields hold Windows-1252 text: no control bytes (a NUL-filled or overwritten
// record is no record).
bool readableText(const unsigned char* p, std::size_t n) {
  return std::none_of(p, p + n, [](unsigned char c) { return c < 0x20 || c == 0x7F; });
}

bool readableNumber(const unsigned char* p, std::size_t n) {
  return std::all_of(p, p + n, [](unsigned char c) {
    return c == ' ' || c == '.' || c == '-' || c == '+' || c == '*' || (c >= '0' && c <= '9');
  });
}

}  // namespace

SalvagedTable salvageTable(const std::string& path, const std::vector<FieldDef>& fields) {
  const File file = File::open(path, false);
  const std::uint64_t size = file.size();
  std::vector<unsigned char> bytes(static_cast<std::size_t>(size));
  if (size > 0) bytes.resize(file.readSome(0, bytes.data(), bytes.size()));

  std::uint32_t recordLength = 1;
  for (const FieldDef& f : fields) recordLength += widthOf(f);
  // The header of such a layout: 32 bytes, one descriptor per field, the terminator (and the
  // 263-byte backlink of the Visual FoxPro versions).
  const std::uint32_t plainHeader = 32 + 32 * static_cast<std::uint32_t>(fields.size()) + 1;
  std::uint32_t headerLength = plainHeader;
  std::uint64_t announced = 0;
  if (bytes.size() >= 32) {
    const std::uint32_t stated = le16(&bytes[8]);
    announced = le32(&bytes[4]);
    const bool statedFits = stated >= plainHeader && stated <= bytes.size();
    if (le16(&bytes[10]) == recordLength && statedFits) headerLength = stated;
    else if (bytes[0] == 0x30 || bytes[0] == 0x31 || bytes[0] == 0x32)
      headerLength = plainHeader + 263;
  }

  SalvagedTable out;
  const std::uint64_t body = bytes.size() > headerLength ? bytes.size() - headerLength : 0;
  const std::uint64_t present = body / recordLength;
  for (std::uint64_t r = 0; r < present; ++r) {
    const unsigned char* rec = &bytes[static_cast<std::size_t>(headerLength + r * recordLength)];
    if (rec[0] == '*') {
      ++out.deleted;
      continue;
    }
    bool readable = rec[0] == ' ';
    std::vector<std::string> row;
    std::size_t offset = 1;
    for (const FieldDef& f : fields) {
      const std::size_t w = widthOf(f);
      const unsigned char* p = rec + offset;
      if (f.type == 'C') readable = readable && readableText(p, w);
      else if (f.type == 'N' || f.type == 'F') readable = readable && readableNumber(p, w);
      row.emplace_back(reinterpret_cast<const char*>(p), w);
      offset += w;
    }
    if (readable) out.rows.push_back(std::move(row));
    else ++out.lost;
  }
  // A file cut short: what the header announced beyond the records present is lost too.
  if (announced > present && announced - present < (std::uint64_t{1} << 31))
    out.lost += announced - present;
  return out;
}

}  // namespace exo::store
