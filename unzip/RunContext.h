// The run context that every decoder of the ZIP component works in: the byte
// source feeding one entry's compressed bytes, the bit buffer, the sliding
// window, the output buffer that collects decoded bytes for the sink, and the
// CRC of what was handed on. TUnZip allocates one per extraction run and
// prepares it for each entry; the decoders (inflate, unshrink, unreduce,
// explode) only read from it and write to it.
//
// This header is the contract between the extraction driver and the
// decoders. The driver implements TUnZipRunHost; the decoders never see
// TUnZip itself.
#pragma once

#include <cstdint>

class TStream;

// The sliding window of inflate and explode: the largest distance deflate
// allows (RFC 1951 3.2.5), more than implode's 8192 (APPNOTE 5.3); a power
// of two, so that positions wrap by mask.
constexpr unsigned kWindowSize = 32768;
static_assert((kWindowSize & (kWindowSize - 1)) == 0, "positions wrap by mask");
constexpr int32_t kWindowBytes = kWindowSize + 12;  // the window plus slack; legacy tables too
constexpr int32_t kChunkBytes = 16000;              // compressed bytes read per chunk
constexpr int32_t kOutputBytes = 16000;             // decoded bytes handed to the sink per flush

// What a decoder needs from the driver, called once per chunk, never per byte.
class TUnZipRunHost {
 public:
  virtual ~TUnZipRunHost() = default;
  // Reads exactly n compressed bytes of the current entry into buf, switching
  // volumes when the archive spans several and decrypting when the entry is
  // encrypted. Raises EFatalUnzipError "Premature end of file reached" when
  // the archive ends first and no further volume can be had.
  virtual void ReadChunk(uint8_t* buf, int32_t n) = 0;
  // Lets the host's window messages run (only when DoProcessMessages is on).
  virtual void ProcessMessages() = 0;
  // Called after each flush with the entry's bytes written so far; raises
  // OnFilePercentDone and OnTotalPercentDone.
  virtual void Progress(int64_t entryBytesWritten, int32_t justWritten) = 0;
};

// Per-run state; the driver resets the per-entry fields with StartEntry().
struct TRunContext {
  // Buffers, allocated once per run.
  uint8_t* Window = nullptr;        // kWindowBytes; not cleared between entries
  uint8_t* InputBuffer = nullptr;   // kChunkBytes + 1
  uint8_t* OutputBuffer = nullptr;  // kOutputBytes + 1

  TUnZipRunHost* Host = nullptr;
  TStream* Sink = nullptr;

  // The entry being decoded.
  int32_t Method = 0;
  uint16_t GeneralFlags = 0;
  int64_t PackedSize = 0;    // compressed size after any encryption header
  int64_t UnpackedSize = 0;  // declared size; output beyond it fails the entry

  // Input side.
  int64_t DeliverLeft = 0;  // compressed bytes not yet delivered to the decoder
  int64_t ReadLeft = 0;     // compressed bytes not yet read from the archive
  const uint8_t* ChunkPos = nullptr;
  int32_t ChunkLeft = 0;
  bool DoProcessMessages = true;

  // Output side.
  int32_t OutFill = 0;         // bytes waiting in OutputBuffer
  int64_t BytesWritten = 0;    // bytes of this entry handed to the sink
  uint32_t Crc = 0xFFFFFFFFu;  // running CRC-32 (complemented at the end)
  bool Failed = false;         // set by a decoder or by FlushOutput: the entry fails

  void StartEntry(int32_t method, uint16_t flags, int64_t packed, int64_t unpacked);
};
