// The class-library layer every subsystem stands on: the exception classes
// with their fixed messages, and the byte streams (an abstract stream, a
// growable in-memory buffer and a file stream).
#pragma once

#include <cstdint>
#include <exception>
#include <string>

// Base of every exception the library raises. Message is the fixed English
// text that reaches scripts through the automation error.
class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : Message(std::move(message)) {}
  const char* what() const noexcept override { return Message.c_str(); }
  std::string Message;
};

class EOutOfMemory : public Exception {
 public:
  EOutOfMemory() : Exception("Out of memory") {}
};
class EOutOfResources : public Exception {
 public:
  EOutOfResources() : Exception("Out of system resources") {}
};
class EListError : public Exception {
  using Exception::Exception;
};
class EStreamError : public Exception {
  using Exception::Exception;
};
class EReadError : public EStreamError {
 public:
  EReadError() : EStreamError("Stream read error") {}
};
class EWriteError : public EStreamError {
 public:
  EWriteError() : EStreamError("Stream write error") {}
};
class EFCreateError : public EStreamError {
 public:
  explicit EFCreateError(const std::string& name) : EStreamError("Cannot create file " + name) {}
};
class EFOpenError : public EStreamError {
 public:
  explicit EFOpenError(const std::string& name) : EStreamError("Cannot open file " + name) {}
};
class EInOutError : public Exception {
 public:
  EInOutError(const std::string& message, int code) : Exception(message), ErrorCode(code) {}
  int ErrorCode;
};
class EDatabaseError : public Exception {
  using Exception::Exception;
};
// A text that is no valid number or date ("'%s' is not a valid date").
class EConvertError : public Exception {
  using Exception::Exception;
};
// The silent exception: ends an operation without reporting an error.
class EAbort : public Exception {
 public:
  EAbort() : Exception("Operation aborted") {}
};

// printf-style formatting into a std::string, for the messages with %d and %s.
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// List index error with the offending value, "List index out of bounds (%d)".
[[noreturn]] void ListIndexError(int64_t index);

// Seek origins.
enum : int { soFromBeginning = 0, soFromCurrent = 1, soFromEnd = 2 };

// File open modes (the values of the class library): access in the low
// nibble, sharing in the next one, fmCreate on its own.
enum : uint16_t {
  fmOpenRead = 0x0000,
  fmOpenWrite = 0x0001,
  fmOpenReadWrite = 0x0002,
  fmShareCompat = 0x0000,
  fmShareExclusive = 0x0010,
  fmShareDenyWrite = 0x0020,
  fmShareDenyRead = 0x0030,
  fmShareDenyNone = 0x0040,
  fmCreate = 0xFFFF,
};

// Abstract byte stream. Read and Write move at most count bytes and return
// how many moved; ReadBuffer and WriteBuffer raise when fewer move.
class TStream {
 public:
  virtual ~TStream() = default;
  virtual int32_t Read(void* buffer, int32_t count) = 0;
  virtual int32_t Write(const void* buffer, int32_t count) = 0;
  virtual int64_t Seek(int64_t offset, int origin) = 0;

  int64_t GetPosition() { return Seek(0, soFromCurrent); }
  void SetPosition(int64_t pos) { Seek(pos, soFromBeginning); }
  virtual int64_t GetSize();
  virtual void SetSize(int64_t size);

  void ReadBuffer(void* buffer, int32_t count);
  void WriteBuffer(const void* buffer, int32_t count);
  // Copies count bytes from source (all of it, from its start, when count is 0).
  int64_t CopyFrom(TStream& source, int64_t count);
};

// In-memory byte buffer with a current position. Any position may be set,
// also a negative one or one past the end: reading there gives nothing,
// writing past the end grows the buffer (the gap reads as zeros).
//
// A buffer may also be a read-only view of bytes owned elsewhere (SetPointer):
// it then reads them in place, and the first change takes a private copy.
class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  ~TMemoryStream() override;
  TMemoryStream(const TMemoryStream&) = delete;
  TMemoryStream& operator=(const TMemoryStream&) = delete;

  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  int64_t Seek(int64_t offset, int origin) override;
  int64_t GetSize() override { return FSize; }
  void SetSize(int64_t size) override;

  const uint8_t* Memory() const { return FMemory; }
  uint8_t* MutableMemory();  // takes a private copy of a view first
  // Grows the content to size bytes without clearing what is added, for a
  // writer that fills those bytes before anything reads them; gives the
  // memory. A size not above the current one only takes a private copy of a
  // view.
  uint8_t* GrowUnfilled(int64_t size);
  void Clear();
  // Makes the buffer a view of size bytes at data, which must outlive it.
  void SetPointer(const void* data, int64_t size);
  // Takes the bytes of s as the whole content, positioned at 0.
  void Assign(const void* data, int64_t size);
  bool IsView() const { return FMemory && FCapacity == 0; }
  // Gives back what growth reserved beyond the size, for a buffer that is
  // done growing; a view stays as it is.
  void ShrinkToFit();
  int64_t Capacity() const { return FCapacity; }

 private:
  void Reserve(int64_t capacity);
  uint8_t* FMemory = nullptr;
  int64_t FSize = 0;
  int64_t FPosition = 0;
  int64_t FCapacity = 0;  // 0 with FMemory set: a view, not owned
};

// File stream over the operating system's file handles. Raises EFCreateError
// or EFOpenError when the file cannot be created or opened.
class TFileStream : public TStream {
 public:
  TFileStream(const std::string& fileName, uint16_t mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  int64_t Seek(int64_t offset, int origin) override;
  void SetSize(int64_t size) override;
  void* Handle() const { return FHandle; }

 private:
  void* FHandle;
};
