#include "KLPropertyListBinaryWalk.h"

#include <stdint.h>

#include <algorithm>

#import "KLPropertyListBackEnd.h"

namespace {

const char kDamaged[] = "a damaged binary property list";

uint64_t BigEndian(const unsigned char* bytes, size_t size) {
  uint64_t value = 0;
  for (size_t i = 0; i < size; ++i) value = value << 8 | bytes[i];
  return value;
}

// A binary list's objects checked before a parser sees them, as the parser would walk them from
// the top: every offset, length and reference within the file, the nesting within the limit
// (a list that refers to itself would nest without end), and the values and bytes counted at
// each use, since a value shared at every level would otherwise be copied 2^depth times.
class BinaryWalk {
 public:
  BinaryWalk(const unsigned char* bytes, size_t size, std::vector<std::string>* brokenKeys)
      : bytes_(bytes), size_(size), brokenKeys_(brokenKeys) {}

  std::string Problem() {
    if (size_ < 8 + 32) return kDamaged;
    const unsigned char* trailer = bytes_ + size_ - 32;
    offsetSize_ = trailer[6];
    refSize_ = trailer[7];
    count_ = BigEndian(trailer + 8, 8);
    const uint64_t top = BigEndian(trailer + 16, 8);
    table_ = BigEndian(trailer + 24, 8);
    if (offsetSize_ < 1 || offsetSize_ > 8 || refSize_ < 1 || refSize_ > 8 || table_ < 8 ||
        table_ > size_ - 32 || count_ == 0 || count_ > (size_ - 32 - table_) / offsetSize_ ||
        top >= count_) {
      return kDamaged;
    }
    Visit(top, 0);
    return problem_;
  }

 private:
  // Whether `count` items of `unit` bytes lie between `at` and the offset table.
  bool Fits(uint64_t at, uint64_t count, uint64_t unit) const {
    return at <= table_ && count <= (table_ - at) / unit;
  }

  bool Fail(const std::string& problem) {
    problem_ = problem;
    return false;
  }

  // `depth`: the arrays and dictionaries around the object. A dictionary's key must be a text
  // without NUL: libplist keeps any other as it is, and asserts on a NUL in one.
  bool Visit(uint64_t object, int depth, bool key = false) {
    if (++values_ > kKLPropertyListMaxValues) return Fail(KLPropertyListTooMany());
    const uint64_t at = BigEndian(bytes_ + table_ + object * offsetSize_, offsetSize_);
    if (at < 8 || at >= table_) return Fail(kDamaged);
    const unsigned type = bytes_[at] >> 4, info = bytes_[at] & 0xF;
    uint64_t head = at + 1;
    if (key && type != 0x5 && type != 0x6) return Fail(kDamaged);
    switch (type) {
      case 0x0:  // null, false, true, fill
        return true;
      case 0x1:  // integer of 2^info bytes, 16 at most
        return info <= 4 && Fits(head, 1u << info, 1) ? true : Fail(kDamaged);
      case 0x2:  // real of 4 or 8 bytes
        return (info == 2 || info == 3) && Fits(head, 1u << info, 1) ? true : Fail(kDamaged);
      case 0x3:  // date
        return info == 3 && Fits(head, 8, 1) ? true : Fail(kDamaged);
      case 0x8:  // UID
        return Fits(head, info + 1, 1) ? true : Fail(kDamaged);
      case 0x4:
      case 0x5:
      case 0x6:
      case 0xA:
      case 0xD:
        break;
      default:
        return Fail(kDamaged);
    }
    uint64_t length = info;
    if (info == 0xF) {  // the length follows as an integer of 1, 2, 4 or 8 bytes
      if (!Fits(head, 1, 1) || bytes_[head] >> 4 != 0x1 || (bytes_[head] & 0xF) > 3) {
        return Fail(kDamaged);
      }
      const unsigned size = 1u << (bytes_[head] & 0xF);
      if (!Fits(head + 1, size, 1)) return Fail(kDamaged);
      length = BigEndian(bytes_ + head + 1, size);
      head += 1 + size;
    }
    if (type < 0xA) {
      const uint64_t unit = type == 0x6 ? 2 : 1;  // UTF-16 or bytes
      if (!Fits(head, length, unit)) return Fail(kDamaged);
      for (uint64_t i = 0; key && i < length; ++i) {
        if (bytes_[head + i * unit] == 0 && bytes_[head + i * unit + unit - 1] == 0) {
          return Fail(kDamaged);
        }
      }
      textBytes_ += length * unit;
      return textBytes_ <= kKLPropertyListMaxTextBytes ? true : Fail(KLPropertyListTooLong());
    }
    if (length > UINT64_MAX / 2) return Fail(kDamaged);
    const uint64_t refs = type == 0xD ? 2 * length : length;  // a dictionary: keys, then values
    if (!Fits(head, refs, refSize_)) return Fail(kDamaged);
    if (depth == kKLPropertyListMaxDepth) return Fail(KLPropertyListTooDeep());
    path_[depth] = object;
    for (uint64_t i = 0; i < refs; ++i) {
      const uint64_t ref = BigEndian(bytes_ + head + i * refSize_, refSize_);
      if (ref >= count_) return Fail(kDamaged);
      if (std::find(path_, path_ + depth + 1, ref) != path_ + depth + 1) {
        return Fail("a binary property list that refers to itself");
      }
      if (!Visit(ref, depth + 1, type == 0xD && i < length)) return false;
      if (type == 0xD && i >= length && brokenKeys_ != nullptr && BrokenText(ref)) {
        brokenKeys_->push_back(
            AsciiText(BigEndian(bytes_ + head + (i - length) * refSize_, refSize_)));
      }
    }
    return true;
  }

  // The start, type and length of a text object Visit has checked; false for another object.
  bool TextAt(uint64_t object, unsigned* type, uint64_t* head, uint64_t* length) const {
    const uint64_t at = BigEndian(bytes_ + table_ + object * offsetSize_, offsetSize_);
    *type = bytes_[at] >> 4;
    if (*type != 0x5 && *type != 0x6) return false;
    *head = at + 1;
    *length = bytes_[at] & 0xF;
    if (*length == 0xF) {
      const unsigned size = 1u << (bytes_[*head] & 0xF);
      *length = BigEndian(bytes_ + *head + 1, size);
      *head += 1 + size;
    }
    return true;
  }

  // A text holding a NUL, or (UTF-16) a surrogate without its pair.
  bool BrokenText(uint64_t object) const {
    unsigned type = 0;
    uint64_t head = 0, length = 0;
    if (!TextAt(object, &type, &head, &length)) return false;
    for (uint64_t i = 0; i < length; ++i) {
      const unsigned unit = type == 0x5 ? bytes_[head + i] : BigEndian(bytes_ + head + 2 * i, 2);
      if (unit == 0) return true;
      if (type == 0x5 || unit < 0xD800 || unit > 0xDFFF) continue;
      const unsigned next = i + 1 < length ? BigEndian(bytes_ + head + 2 * (i + 1), 2) : 0;
      if (unit > 0xDBFF || next < 0xDC00 || next > 0xDFFF) return true;
      ++i;
    }
    return false;
  }

  // A key's text when it is ASCII (every key a profile reads is), else the empty text.
  std::string AsciiText(uint64_t object) const {
    unsigned type = 0;
    uint64_t head = 0, length = 0;
    std::string text;
    if (!TextAt(object, &type, &head, &length)) return text;
    for (uint64_t i = 0; i < length; ++i) {
      const unsigned unit = type == 0x5 ? bytes_[head + i] : BigEndian(bytes_ + head + 2 * i, 2);
      if (unit == 0 || unit > 0x7F) return std::string();
      text += static_cast<char>(unit);
    }
    return text;
  }

  const unsigned char* bytes_;
  const size_t size_;
  unsigned offsetSize_ = 0, refSize_ = 0;
  uint64_t count_ = 0, table_ = 0;
  uint64_t path_[kKLPropertyListMaxDepth] = {};  // the containers on the way to the object
  size_t values_ = 0;
  uint64_t textBytes_ = 0;
  std::string problem_;
  std::vector<std::string>* brokenKeys_;
};

}  // namespace

std::string KLBinaryPropertyListProblem(const unsigned char* bytes, size_t size,
                                        std::vector<std::string>* brokenKeys) {
  return BinaryWalk(bytes, size, brokenKeys).Problem();
}
