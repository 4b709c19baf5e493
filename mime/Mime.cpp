// The multipart parser.
//
// The body is consumed by position: pos marks the front of the remaining
// text R, and nothing is ever cut off the front of a string. Each delimiter
// is found with one forward search from pos, so a body is scanned once.
#include <cmath>
#include <cstring>
#include <ctime>
#include <utility>

#include "common/Ascii.h"
#include "common/Trim.h"
#include "mime/MIMELib.h"

namespace {

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
      const void* cr = std::memchr(base + from, '\r', n - from - 1);
      if (!cr) return std::string_view::npos;
      size_t at = static_cast<const char*>(cr) - base;
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

// One header line into h, unfolded and lower-cased with the ASCII rule
// (h's buffer serves the next line too).
void ReadHeaderLine(Remaining& r, std::string& h) {
  h.assign(r.ReadLine());
  for (char& c : h) c = LowerAscii(c);
  if (h.empty()) return;
  while (!r.Empty() && !r.StartsWithCrLf() && IsBlankByte(r.Front())) {
    std::string_view next = r.ReadLine();
    size_t k = 0;
    while (k < next.size() && static_cast<unsigned char>(next[k]) < 32) ++k;
    h.push_back(' ');
    size_t at = h.size();
    h.append(next.substr(k));
    for (size_t i = at; i < h.size(); ++i) h[i] = LowerAscii(h[i]);
  }
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
  *name = LowerAscii(std::move(*name));
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
  std::string name, value, h;
  std::unique_ptr<TAttachment> part;
  for (;;) {
    if (!part) part = std::make_unique<TAttachment>();
    ReadHeaderLine(r, h);
    while (!r.Empty() && !h.empty()) {
      SplitHeader(h, &name, &value);
      if (name == "content-type") {
        part->ContentType = value;
        size_t b = value.find("boundary");
        if (b != std::string::npos) {
          size_t q1 = value.find('"', b);
          size_t q2 = q1 == std::string::npos ? q1 : value.find('"', q1 + 1);
          FBoundary = q2 == std::string::npos ? std::string() : value.substr(q1 + 1, q2 - q1 - 1);
        }
      } else if (name == "content-disposition") {
        part->Disposition = value;
      } else if (name == "content-id") {
        std::string_view id = value;
        if (!id.empty() && id.front() == '<') id.remove_prefix(1);
        if (!id.empty() && id.back() == '>') id.remove_suffix(1);
        part->ContentID.assign(TrimBlanks(id));
      } else if (name == "content-transfer-encoding") {
        part->Encoding = TransferEncodingOf(value);
      }
      ReadHeaderLine(r, h);
    }
    ApplyDecoder(*part, r.ReadBody(FBoundary), keepLines);
    if (!sink(part)) break;
    if (r.ReadLine() == "--") break;
    if (r.OnlyBlanks()) break;
  }
}
