// MIME multipart parsing: TMime cuts a body into parts at the delimiter taken
// from its first line and reads each part's headers; the transfer decoders
// turn base64 and quoted-printable bodies back into bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/Classes.h"

enum TTransferEncoding : uint8_t {
  teBase64 = 0,
  teQuotedPrintable = 1,
  te8Bit = 2,
  teAsIs = 3,
};

// Classifies a (trimmed) content-transfer-encoding value.
TTransferEncoding TransferEncodingOf(std::string_view value);

// One part of a multipart body.
class TAttachment {
 public:
  static constexpr const char* kDefaultContentType = "text/plain; charset=koi8-r";
  std::string ContentType = kDefaultContentType;
  std::string Disposition;
  std::string ContentID;
  TMemoryStream Data;  // the decoded body, positioned at its start
  // The block a decoded body was decoded into, which Data then views (null
  // for a body taken as it is, which Data views in the parsed text).
  std::shared_ptr<const uint8_t[]> Block;
  std::vector<std::string> Lines;  // the body's lines, for line-oriented encodings
  TTransferEncoding Encoding = te8Bit;

  // With nullptr empties Data; otherwise empties Lines and makes Data a copy
  // of source's whole content.
  void SetData(TStream* source);
  // Back to a new part's state, keeping the strings' buffers.
  void Reset();
};

// The multipart parser. Parse never fails on malformed input; it always
// yields some list of parts.
class TMime {
 public:
  TMime();
  // Parses text. The parts' Data may refer to text's bytes without copying
  // them (a body that needs no decoding), so text must outlive the parts.
  void Parse(std::string_view text);
  // Parses text part by part, holding one part at a time: each part is
  // handed to each as soon as it is read and released afterwards. Parts are
  // decoded into Data only; their Lines stay empty. Stops when each returns
  // false. Parts handled this way are not kept (Count is 0 afterwards).
  void ParseEach(std::string_view text, const std::function<bool(TAttachment&)>& each);
  int Count() const { return static_cast<int>(FParts.size()); }
  TAttachment* Part(int index) const;
  const std::string& Boundary() const { return FBoundary; }

 private:
  template <class Sink>
  void ParseParts(std::string_view text, bool keepLines, Sink sink);

  std::string FBoundary;
  std::vector<std::unique_ptr<TAttachment>> FParts;
};

// Splits text into lines at CR, LF or CR LF; a NUL byte ends the text split.
std::vector<std::string> SplitLines(std::string_view text);

// Decoders: pure functions that never fail (malformed input yields shorter output).
std::string DecodeBase64Line(std::string_view line);
std::unique_ptr<TMemoryStream> DecodeBase64Lines(const std::vector<std::string>& lines);
std::string DecodeQuotedPrintableLine(std::string_view line);

// Splits a header line at its first ":" into a lower-cased name and a
// trimmed value; both are empty when there is no ":".
void SplitHeader(std::string_view line, std::string* name, std::string* value);

// Puts a part's body into the part by its Encoding: decodes it into Data and
// fills or empties Lines. Data is positioned at its start afterwards. When
// the body needs no decoding, Data is a view of body (no copy). Without
// keepLines, Lines stays empty and decoding reads the body's lines in place.
void ApplyDecoder(TAttachment& part, std::string_view body, bool keepLines = true);

// A decoded body in a block of exactly its size (null when empty); shared,
// so that a part's Data and whoever takes the part over can both view it.
struct TDecodedBlock {
  std::shared_ptr<const uint8_t[]> Bytes;
  size_t Size = 0;
  std::string_view View() const { return {reinterpret_cast<const char*>(Bytes.get()), Size}; }
};

// The decoders over a whole body, reading its lines in place (no line list):
// the bytes the line-by-line routines give for the body's lines (SplitLines),
// one after another.
TDecodedBlock DecodeBase64Body(std::string_view body);
TDecodedBlock DecodeQuotedPrintableBody(std::string_view body);
