#include "unzip/BufStream.h"

#include <cstring>

#include "unzip/StrRes.h"

TS_BufferStream::TS_BufferStream(TStream* stream)
    : FStream(stream), FBuffer(new uint8_t[kBufferSize]) {
  if (FStream) FUnderPos = FStream->Seek(0, soFromCurrent);
}

TS_BufferStream::~TS_BufferStream() {
  if (FState == bsWrite && FStream) {
    try {
      Flush();
    } catch (...) {
    }
  }
  delete[] FBuffer;
}

// Reading: the underlying stream is ahead by what is still buffered; writing:
// behind by what waits in the buffer.
int64_t TS_BufferStream::LogicalPosition() const {
  if (!FPtr) return FUnderPos;
  if (FState == bsWrite) return FUnderPos + (FPtr - FBuffer);
  return FUnderPos - (FEnd - FPtr);
}

bool TS_BufferStream::Refill() {
  int32_t n = FStream->Read(FBuffer, FBufSize);
  if (n < 0) n = 0;
  FUnderPos += n;
  FPtr = FBuffer;
  FEnd = FBuffer + n;
  FState = n > 0 ? bsRead : bsUnknown;
  if (AfterRefill) AfterRefill();
  return n > 0;
}

bool TS_BufferStream::Flush() {
  bool ok = true;
  if (FState == bsWrite && FPtr) {
    int32_t n = static_cast<int32_t>(FPtr - FBuffer);
    int32_t put = n > 0 ? FStream->Write(FBuffer, n) : 0;
    if (put > 0) FUnderPos += put;
    ok = put == n;
  }
  FPtr = FBuffer;
  FEnd = FBuffer;
  FState = bsUnknown;
  if (AfterFlush) AfterFlush();
  return ok;
}

int32_t TS_BufferStream::Read(void* buffer, int32_t count) {
  if (FState == bsWrite) Flush();
  auto* out = static_cast<uint8_t*>(buffer);
  int32_t done = 0;
  while (done < count) {
    if (!FPtr || FPtr >= FEnd || FState != bsRead) {
      if (!Refill()) break;
    }
    int32_t n = static_cast<int32_t>(FEnd - FPtr);
    if (n > count - done) n = count - done;
    std::memcpy(out + done, FPtr, n);
    FPtr += n;
    done += n;
  }
  return done;
}

int32_t TS_BufferStream::Write(const void* buffer, int32_t count) {
  if (FState == bsRead) {
    // Writing starts at the logical position with an empty buffer.
    FUnderPos = FStream->Seek(LogicalPosition(), soFromBeginning);
    FPtr = FEnd = FBuffer;
    FState = bsUnknown;
  }
  if (!FPtr) FPtr = FEnd = FBuffer;
  const auto* in = static_cast<const uint8_t*>(buffer);
  int32_t done = 0;
  while (done < count) {
    int32_t room = static_cast<int32_t>(FBuffer + FBufSize - FPtr);
    int32_t n = count - done < room ? count - done : room;
    std::memcpy(FPtr, in + done, n);
    FPtr += n;
    done += n;
    FState = bsWrite;
    if (FPtr == FBuffer + FBufSize && !Flush()) break;
  }
  FState = FPtr > FBuffer ? bsWrite : bsUnknown;
  return done;
}

int64_t TS_BufferStream::Seek(int64_t offset, int origin) {
  int64_t pos = LogicalPosition();
  int64_t target;
  switch (origin) {
    case soFromBeginning: target = offset; break;
    case soFromCurrent: target = pos + offset; break;
    case soFromEnd: {
      int64_t size = FStream->GetSize();
      int64_t end = size > pos ? size : pos;
      target = end - (offset < 0 ? -offset : offset);
      break;
    }
    default: throw EStreamError(Format(StreamMessage(smInvalidOrigin).c_str(), origin));
  }
  if (target == pos) return pos;
  if (FState == bsWrite && !Flush()) throw EStreamError(StreamMessage(smSeekError));
  FUnderPos = FStream->Seek(target, soFromBeginning);
  FPtr = FEnd = nullptr;
  FState = bsUnknown;
  return FUnderPos;
}

int64_t TS_BufferStream::GetSize() {
  int64_t size = FStream->GetSize();
  int64_t pos = LogicalPosition();
  return FState == bsWrite && pos > size ? pos : size;
}

void TS_BufferStream::PutBack(uint8_t b) {
  if (!FPtr || FPtr == FBuffer) throw EStreamError(StreamMessage(smPutbackOverflow));
  *--FPtr = b;
}

TLFNFileStream::TLFNFileStream(const std::string& fileName, uint16_t mode)
    : TS_BufferStream(nullptr), FFile(new TFileStream(fileName, mode)) {
  FStream = FFile;
  FUnderPos = FFile->Seek(0, soFromCurrent);
}

TLFNFileStream::~TLFNFileStream() {
  if (FState == bsWrite) {
    try {
      Flush();
    } catch (...) {
    }
  }
  FState = bsUnknown;
  delete FFile;
  FStream = nullptr;
}
