// The multipart parser.
//
// The body is consumed by position: pos marks the front of the remaining
// text R, and nothing is ever cut off the front of a string. Each delimiter
// is found with one forward search from pos, so a body is scanned once.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <ctime>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "common/Ascii.h"
#include "common/Trim.h"
#include "mime/MIMELib.h"

namespace {

inline uint64_t Load8(const char* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

// Whether name, compared with its ASCII letters in lower case, is lowerName.
template <size_t N>
bool IsHeaderName(std::string_view name, const char (&lowerName)[N]) {
  constexpr size_t n = N - 1;
  static_assert(n >= 8, "compared eight bytes at a time");
  if (name.size() != n) return false;
  for (size_t i = 0; i + 8 < n; i += 8)
    if (LowerAscii8(Load8(name.data() + i)) != Load8(lowerName + i)) return false;
  return LowerAscii8(Load8(name.data() + n - 8)) == Load8(lowerName + n - 8);
}

// The first CR in base[from, end), or npos. Lines are short in header blocks
// and form fields: the first steps look at 16 bytes at a time in place, and
// only a longer stretch is handed to memchr.
inline size_t FindCr(const char* base, size_t from, size_t end) {
#if defined(__SSE2__)
  const __m128i crs = _mm_set1_epi8('\r');
  for (int step = 0; step < 4 && from + 16 <= end; ++step, from += 16) {
    __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(base + from));
    unsigned hits = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, crs)));
    if (hits) return from + static_cast<size_t>(__builtin_ctz(hits));
  }
#endif
  if (from >= end) return std::string_view::npos;
  const void* cr = std::memchr(base + from, '\r', end - from);
  return cr ? static_cast<size_t>(static_cast<const char*>(cr) - base) : std::string_view::npos;
}

// The remaining text R of a body, read from its front.
class Remaining {
 public:
  explicit Remaining(std::string_view text) : FText(text) {}

  bool Empty() const { return FPos >= FText.size(); }
  std::string_view Rest() const { return Empty() ? std::string_view() : FText.substr(FPos); }
  bool StartsWithCrLf() const {
    return FPos + 1 < FText.size() && FText[FPos] == '\r' && FText[FPos + 1] == '\n';
  }
  char Front() const { return FText[FPos]; }

  // The text before the first CR LF (all of R when there is none); the line
  // and the two bytes after it leave R.
  std::string_view ReadLine() {
    std::string_view rest = Rest();
    size_t at = FindCrLf(rest, 0);
    std::string_view line = at == std::string_view::npos ? rest : rest.substr(0, at);
    FPos += line.size() + 2;
    return line;
  }

  // The text before the first CR LF + delimiter (all of R when it does not
  // occur); the body and the delimiter with its CR LF leave R.
  std::string_view ReadBody(std::string_view delimiter) {
    std::string_view rest = Rest();
    size_t at = FindDelimiter(rest, delimiter);
    std::string_view body = at == std::string_view::npos ? rest : rest.substr(0, at);
    FPos += body.size() + 2 + delimiter.size();
    return body;
  }

  // True when R holds only bytes of value 32 or less. The first significant
  // byte found is remembered: R only loses bytes from its front, so until pos
  // passes it the answer stays false without another scan.
  bool OnlyBlanks() {
    if (FPos < FSignificant) return FSignificant >= FText.size();
    size_t i = FPos;
    while (i < FText.size() && IsBlankByte(FText[i])) ++i;
    FSignificant = i;
    return i >= FText.size();
  }

 private:
  static size_t FindCrLf(std::string_view s, size_t from) {
    const char* base = s.data();
    size_t n = s.size();
    while (from + 1 < n) {
      size_t at = FindCr(base, from, n - 1);
      if (at == std::string_view::npos) return at;
      if (base[at + 1] == '\n') return at;
      from = at + 1;
    }
    return std::string_view::npos;
  }

  // First CR LF followed by delimiter. Only CR LF positions are tried, and the
  // delimiter (a line) holds no CR LF itself, so no byte is compared twice
  // at depth: the search is linear in the text.
  static size_t FindDelimiter(std::string_view s, std::string_view delimiter) {
    size_t from = 0;
    for (;;) {
      size_t at = FindCrLf(s, from);
      if (at == std::string_view::npos) return at;
      if (s.size() - at - 2 >= delimiter.size() &&
          std::memcmp(s.data() + at + 2, delimiter.data(), delimiter.size()) == 0)
        return at;
      from = at + 1;
    }
  }

  std::string_view FText;
  size_t FPos = 0;
  size_t FSignificant = 0;
};

// Whether the next line continues the header line before it (folding).
bool FoldedLineFollows(const Remaining& r) {
  return !r.Empty() && !r.StartsWithCrLf() && IsBlankByte(r.Front());
}

// One header line, unfolded, as it was posted (its letters not yet lowered):
// a view of the body, or of h when folded lines continue it (h's buffer
// serves the next folded header too).
std::string_view ReadHeaderLine(Remaining& r, std::string& h) {
  std::string_view line = r.ReadLine();
  if (line.empty() || !FoldedLineFollows(r)) return line;
  h.assign(line);
  while (FoldedLineFollows(r)) {
    std::string_view next = r.ReadLine();
    size_t k = 0;
    while (k < next.size() && static_cast<unsigned char>(next[k]) < 32) ++k;
    h.push_back(' ');
    h.append(next.substr(k));
  }
  return h;
}

}  // namespace

void SplitHeader(std::string_view line, std::string* name, std::string* value) {
  size_t colon = line.find(':');
  if (colon == std::string_view::npos) {
    name->clear();
    value->clear();
    return;
  }
  name->assign(line.substr(0, colon));
  LowerAscii(name->data(), name->size());
  value->assign(TrimBlanks(line.substr(colon + 1)));
}

void TAttachment::SetData(TStream* source) {
  if (!source) {
    Data.Clear();
    return;
  }
  Lines.clear();
  Data.Clear();
  Data.CopyFrom(*source, 0);
  Data.SetPosition(0);
}

TMime::TMime() {
  // Seconds from 1970-01-01 00:00 to the current local time, then "==".
  std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  std::tm utc{};
#ifdef _WIN32
  gmtime_s(&utc, &now);
#else
  gmtime_r(&now, &utc);
#endif
  double offset = std::difftime(std::mktime(&local), std::mktime(&utc));
  FBoundary = std::to_string(static_cast<long long>(std::llround(now + offset))) + "==";
}

TAttachment* TMime::Part(int index) const {
  if (index < 0 || index >= Count()) return nullptr;
  return FParts[index].get();
}

void TAttachment::Reset() {
  ContentType = kDefaultContentType;
  Disposition.clear();
  ContentID.clear();
  Data.Clear();
  Block.reset();
  Lines.clear();
  Encoding = te8Bit;
}

void TMime::Parse(std::string_view text) {
  FParts.clear();
  ParseParts(text, true, [this](std::unique_ptr<TAttachment>& part) {
    FParts.push_back(std::move(part));
    return true;
  });
}

// One part object serves every part in turn: its strings keep their buffers.
void TMime::ParseEach(std::string_view text, const std::function<bool(TAttachment&)>& each) {
  FParts.clear();
  ParseParts(text, false, [&each](std::unique_ptr<TAttachment>& part) {
    bool more = each(*part);
    part->Reset();
    return more;
  });
}

template <class Sink>
void TMime::ParseParts(std::string_view text, bool keepLines, Sink sink) {
  Remaining r(text);
  FBoundary.assign(TrimBlanks(r.ReadLine()));
  // A body that is one line (no CR LF anywhere) is all delimiter: no parts.
  if (FBoundary.empty() || r.Empty()) return;
  // Header lines are taken in place: only the values kept are copied, and
  // lowered as the whole line would have been.
  std::string folded;
  std::unique_ptr<TAttachment> part;
  for (;;) {
    if (!part) part = std::make_unique<TAttachment>();
    std::string_view line = ReadHeaderLine(r, folded);
    while (!r.Empty() && !line.empty()) {
      size_t colon = line.find(':');
      std::string_view name = line.substr(0, colon == std::string_view::npos ? 0 : colon);
      std::string_view value =
          colon == std::string_view::npos ? name : TrimBlanks(line.substr(colon + 1));
      if (IsHeaderName(name, "content-type")) {
        AssignLowerAscii(part->ContentType, value);
        const std::string& type = part->ContentType;
        size_t b = type.find("boundary");
        if (b != std::string::npos) {
          size_t q1 = type.find('"', b);
          size_t q2 = q1 == std::string::npos ? q1 : type.find('"', q1 + 1);
          FBoundary = q2 == std::string::npos ? std::string() : type.substr(q1 + 1, q2 - q1 - 1);
        }
      } else if (IsHeaderName(name, "content-disposition")) {
        AssignLowerAscii(part->Disposition, value);
      } else if (IsHeaderName(name, "content-id")) {
        std::string_view id = value;
        if (!id.empty() && id.front() == '<') id.remove_prefix(1);
        if (!id.empty() && id.back() == '>') id.remove_suffix(1);
        AssignLowerAscii(part->ContentID, TrimBlanks(id));
      } else if (IsHeaderName(name, "content-transfer-encoding")) {
        part->Encoding = TransferEncodingOf(value);
      }
      line = ReadHeaderLine(r, folded);
    }
    ApplyDecoder(*part, r.ReadBody(FBoundary), keepLines);
    if (!sink(part)) break;
    if (r.ReadLine() == "--") break;
    if (r.OnlyBlanks()) break;
  }
}
