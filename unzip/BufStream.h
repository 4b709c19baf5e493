// Buffered streams of the ZIP component: TS_BufferStream puts an 8192-byte
// buffer in front of any stream (so byte-at-a-time scans and small reads do
// not reach the system per call), TLFNFileStream does so for a file it opens.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "common/Classes.h"

class TS_BufferStream : public TStream {
 public:
  static constexpr int32_t kBufferSize = 8192;
  enum TState : uint8_t { bsUnknown = 0, bsRead = 1, bsWrite = 2 };

  explicit TS_BufferStream(TStream* stream);  // stream is not owned
  ~TS_BufferStream() override;
  TS_BufferStream(const TS_BufferStream&) = delete;
  TS_BufferStream& operator=(const TS_BufferStream&) = delete;

  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  // Origin 2 counts |offset| bytes back from the end, whatever its sign.
  int64_t Seek(int64_t offset, int origin) override;
  int64_t GetSize() override;

  virtual bool Refill();
  virtual bool Flush();
  virtual void PutBack(uint8_t b);

  // Notification hooks, called after a refill and after a flush when set.
  std::function<void()> AfterRefill, AfterFlush;

  TState State() const { return FState; }

 protected:
  int64_t LogicalPosition() const;

  TStream* FStream;
  uint8_t* FBuffer;
  uint8_t* FPtr = nullptr;  // next byte to read or write; nullptr: nothing buffered
  uint8_t* FEnd = nullptr;  // end of valid read-ahead
  int32_t FBufSize = kBufferSize;
  TState FState = bsUnknown;
  int64_t FUnderPos = 0;  // position of the underlying stream, as we left it
};

class TLFNFileStream : public TS_BufferStream {
 public:
  TLFNFileStream(const std::string& fileName, uint16_t mode);
  ~TLFNFileStream() override;
  TFileStream* File() const { return FFile; }

 private:
  TFileStream* FFile;
};
