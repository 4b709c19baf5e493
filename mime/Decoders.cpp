// Transfer decoders: base64 and quoted-printable, line by line.
//
// Format notes (base64): the table covers " " (32) to "z" (122); each entry
// is stored as the value plus 32, PAD ("=") as 92 ("|") and INVALID as 94
// ("~"). Characters outside the table (tabs, "{" and above, bytes 128-255)
// are INVALID too. INVALID characters are skipped wherever they stand, the
// first "=" ends the line, and a byte begun when the line runs out is kept
// with the bits received so far.
#include <cstring>

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
  std::string v(value);
  for (char& c : v)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
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

std::string DecodeQuotedPrintableLine(std::string_view line) {
  std::string out;
  out.reserve(line.size());
  const size_t L = line.size();
  size_t i = 0;
  while (i < L) {
    char c = line[i];
    if (c != '=') {
      out.push_back(c);
      ++i;
      continue;
    }
    int hi = i + 1 < L ? HexDigit(static_cast<unsigned char>(line[i + 1])) : -1;
    if (hi < 0) {
      out.push_back('=');
      ++i;
      continue;
    }
    if (i + 2 >= L) {  // the line ends after one digit: that digit alone is the value
      out.push_back(static_cast<char>(hi));
      i += 3;
      continue;
    }
    int lo = HexDigit(static_cast<unsigned char>(line[i + 2]));
    if (lo < 0) {
      out.push_back('=');
      ++i;
      continue;
    }
    out.push_back(static_cast<char>(hi * 16 + lo));
    i += 3;
  }
  return out;
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t nul = text.find('\0');
  if (nul != std::string_view::npos) text = text.substr(0, nul);
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c != '\r' && c != '\n') continue;
    lines.emplace_back(text.substr(start, i - start));
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

void ApplyDecoder(TAttachment& part, std::string_view body) {
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
