// Transfer decoders: base64 and quoted-printable, line by line.
//
// Format notes (base64): the table covers " " (32) to "z" (122); each entry
// is stored as the value plus 32, PAD ("=") as 92 ("|") and INVALID as 94
// ("~"). Characters outside the table (tabs, "{" and above, bytes 128-255)
// are INVALID too. INVALID characters are skipped wherever they stand, the
// first "=" ends the line, and a byte begun when the line runs out is kept
// with the bits received so far.
#include <cstdlib>
#include <cstring>

#include "common/Ascii.h"
#include "mime/MIMELib.h"

namespace {

constexpr char kBase64Table[] =
    "~~~~~~~~~~~^~~~_TUVWXYZ[\\]~~~|~~~ !\"#$%&'()*+,-./0123456789~~~~~~:;<=>?@ABCDEFGHIJKLMNOPQRS";
static_assert(sizeof(kBase64Table) - 1 == 91, "one entry for every character from 32 to 122");

constexpr int kPad = 92;
constexpr int kInvalid = 94;

inline int Base64Entry(unsigned char c) {
  if (c < 32 || c > 122) return kInvalid;
  return static_cast<unsigned char>(kBase64Table[c - 32]) - 32;
}

inline int HexDigit(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Decodes one line into out (which it resizes); returns the bytes produced.
size_t DecodeBase64Into(std::string_view line, unsigned char* out) {
  const size_t L = line.size();
  size_t P = L;
  while (P > 0 && line[P - 1] == '=') --P;
  size_t N = (P * 3) / 4;
  // Walk with 1-based positions as the algorithm is stated: source i, output j, shift s.
  size_t i = 1, j = 1;
  int s = 2;
  while (j <= N) {
    int v = i <= L ? Base64Entry(static_cast<unsigned char>(line[i - 1])) : kPad;
    if (i > L || v == kPad) {
      if (s != 2) ++j;
      N = j - 1;
      break;
    }
    if (v == kInvalid) {
      ++i;
      continue;
    }
    if (s > 0) {
      out[j - 1] |= static_cast<unsigned char>(v << s);
      ++i;
      s -= 6;
    } else if (s < 0) {
      s = -s;
      out[j - 1] |= static_cast<unsigned char>(v >> s);
      ++j;
      s = 8 - s;
    } else {
      out[j - 1] |= static_cast<unsigned char>(v);
      ++i;
      ++j;
      s = 2;
    }
  }
  return N;
}

}  // namespace

TTransferEncoding TransferEncodingOf(std::string_view value) {
  std::string v = LowerAscii(std::string(value));
  if (v == "base64") return teBase64;
  if (v == "quoted-printable") return teQuotedPrintable;
  if (v.find("8bit") != std::string::npos) return te8Bit;
  return teAsIs;
}

std::string DecodeBase64Line(std::string_view line) {
  // Sized once from the line's length and zero-filled; bits are ORed in.
  std::string out((line.size() * 3) / 4 + 3, '\0');
  out.resize(DecodeBase64Into(line, reinterpret_cast<unsigned char*>(out.data())));
  return out;
}

namespace {

// Decodes lines one after another into stream, which is emptied first.
void DecodeBase64LinesInto(const std::vector<std::string>& lines, TMemoryStream* stream) {
  stream->Clear();
  size_t total = 0;
  for (const std::string& l : lines) total += (l.size() * 3) / 4 + 3;
  // Decode straight into the stream's memory: one allocation for the part.
  stream->SetSize(static_cast<int64_t>(total));
  unsigned char* base = stream->MutableMemory();
  size_t at = 0;
  for (const std::string& l : lines) {
    unsigned char* out = base + at;
    std::memset(out, 0, (l.size() * 3) / 4 + 3);
    at += DecodeBase64Into(l, out);
  }
  stream->SetSize(static_cast<int64_t>(at));
  stream->SetPosition(0);
}

}  // namespace

std::unique_ptr<TMemoryStream> DecodeBase64Lines(const std::vector<std::string>& lines) {
  auto stream = std::make_unique<TMemoryStream>();
  DecodeBase64LinesInto(lines, stream.get());
  return stream;
}

namespace {

// Decodes one quoted-printable line into out, which has room for the line's
// length (the output is never longer); returns the bytes produced.
size_t DecodeQuotedPrintableInto(std::string_view line, char* out) {
  const size_t L = line.size();
  size_t i = 0, n = 0;
  while (i < L) {
    char c = line[i];
    if (c != '=') {
      out[n++] = c;
      ++i;
      continue;
    }
    int hi = i + 1 < L ? HexDigit(static_cast<unsigned char>(line[i + 1])) : -1;
    if (hi < 0) {
      out[n++] = '=';
      ++i;
      continue;
    }
    if (i + 2 >= L) {  // the line ends after one digit: that digit alone is the value
      out[n++] = static_cast<char>(hi);
      i += 3;
      continue;
    }
    int lo = HexDigit(static_cast<unsigned char>(line[i + 2]));
    if (lo < 0) {
      out[n++] = '=';
      ++i;
      continue;
    }
    out[n++] = static_cast<char>(hi * 16 + lo);
    i += 3;
  }
  return n;
}

// Calls f for each line of text as SplitLines cuts it (at CR, LF or CR LF;
// a NUL byte ends the text), as views of text.
template <class F>
void ForEachLine(std::string_view text, F f) {
  size_t nul = text.find('\0');
  if (nul != std::string_view::npos) text = text.substr(0, nul);
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c != '\r' && c != '\n') continue;
    f(text.substr(start, i - start));
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) f(text.substr(start));
}

// The most bytes DecodeBase64Into can give for a line: (P * 3) div 4, P the
// length without the trailing "=" characters.
size_t Base64Bound(std::string_view line) {
  size_t p = line.size();
  while (p > 0 && line[p - 1] == '=') --p;
  return (p * 3) / 4;
}

}  // namespace

std::string DecodeQuotedPrintableLine(std::string_view line) {
  std::string out(line.size(), '\0');
  out.resize(DecodeQuotedPrintableInto(line, out.data()));
  return out;
}

namespace {

// A block of size bytes from malloc, so that it can be cut to its final
// size in place; zero-filled when asked.
uint8_t* NewBlock(size_t size, bool zero) {
  void* p = zero ? std::calloc(size ? size : 1, 1) : std::malloc(size ? size : 1);
  if (!p) throw EOutOfMemory();
  return static_cast<uint8_t*>(p);
}

// Cuts a block to the size decoding gave and hands it over.
TDecodedBlock Finish(uint8_t* block, size_t size) {
  TDecodedBlock out;
  if (size == 0) {
    std::free(block);
    return out;
  }
  uint8_t* p = static_cast<uint8_t*>(std::realloc(block, size));
  if (!p) p = block;  // shrinking in place failed: keep the larger block
  out.Bytes = std::shared_ptr<const uint8_t[]>(
      p, [](const uint8_t* q) { std::free(const_cast<uint8_t*>(q)); });
  out.Size = size;
  return out;
}

}  // namespace

// The bytes a line's decoding writes all lie below the count it returns, so
// the lines are decoded one after another into one zero-filled block sized
// by the sum of their bounds: no line list, no buffer per line.
TDecodedBlock DecodeBase64Body(std::string_view body) {
  size_t bound = 0;
  ForEachLine(body, [&](std::string_view line) { bound += Base64Bound(line); });
  uint8_t* base = NewBlock(bound, true);
  size_t at = 0;
  ForEachLine(body, [&](std::string_view line) { at += DecodeBase64Into(line, base + at); });
  return Finish(base, at);
}

// A decoded line is never longer than the line.
TDecodedBlock DecodeQuotedPrintableBody(std::string_view body) {
  uint8_t* base = NewBlock(body.size(), false);
  size_t at = 0;
  ForEachLine(body, [&](std::string_view line) {
    at += DecodeQuotedPrintableInto(line, reinterpret_cast<char*>(base) + at);
  });
  return Finish(base, at);
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  ForEachLine(text, [&](std::string_view line) { lines.emplace_back(line); });
  return lines;
}

void ApplyDecoder(TAttachment& part, std::string_view body, bool keepLines) {
  if (!keepLines) {
    part.Lines.clear();
    part.Block.reset();
    TDecodedBlock block;
    switch (part.Encoding) {
      case teBase64: block = DecodeBase64Body(body); break;
      case teQuotedPrintable: block = DecodeQuotedPrintableBody(body); break;
      default: part.Data.SetPointer(body.data(), static_cast<int64_t>(body.size())); break;
    }
    if (part.Encoding == teBase64 || part.Encoding == teQuotedPrintable) {
      part.Block = std::move(block.Bytes);
      part.Data.SetPointer(part.Block.get(), static_cast<int64_t>(block.Size));
    }
    part.Data.SetPosition(0);
    return;
  }
  switch (part.Encoding) {
    case teBase64: {
      DecodeBase64LinesInto(SplitLines(body), &part.Data);
      part.Lines.clear();
      size_t n = static_cast<size_t>(part.Data.GetSize());
      if (part.ContentType.find("text/") != std::string::npos)
        part.Lines =
            SplitLines(std::string_view(reinterpret_cast<const char*>(part.Data.Memory()), n));
      break;
    }
    case teQuotedPrintable: {
      part.SetData(nullptr);
      part.Lines = SplitLines(body);
      for (std::string& line : part.Lines) {
        line = DecodeQuotedPrintableLine(line);
        part.Data.WriteBuffer(line.data(), static_cast<int32_t>(line.size()));
      }
      break;
    }
    default:
      part.Lines.clear();
      part.Data.SetPointer(body.data(), static_cast<int64_t>(body.size()));
      break;
  }
  part.Data.SetPosition(0);
}
