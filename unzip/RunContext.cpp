// The run context's byte source, output buffer and window flush.
#include <algorithm>

#include "common/Classes.h"
#include "unzip/DecoderIO.h"

void TRunContext::StartEntry(int32_t method, uint16_t flags, int64_t packed, int64_t unpacked) {
  Method = method;
  GeneralFlags = flags;
  PackedSize = packed;
  UnpackedSize = unpacked;
  DeliverLeft = ReadLeft = packed;
  ChunkPos = nullptr;
  ChunkLeft = 0;
  OutFill = 0;
  BytesWritten = 0;
  Crc = 0xFFFFFFFFu;
  Failed = false;
}

// Hands the waiting output to the sink. Two checks make a bad entry fail
// instead of passing on a matching CRC or growing without bound:
// - output beyond the entry's declared unpacked size is not written, and the
//   entry fails (a few hundred bytes of upload must not expand to gigabytes);
// - a sink that takes fewer bytes than offered (a full disk) fails the entry.
// The CRC covers the bytes offered.
void FlushOutput(TRunContext& ctx) {
  int32_t n = ctx.OutFill;
  if (n <= 0) return;
  ctx.OutFill = 0;
  if (ctx.Failed) return;
  if (ctx.BytesWritten + n > ctx.UnpackedSize) {
    ctx.Failed = true;
    return;
  }
  int32_t written = ctx.Sink ? ctx.Sink->Write(ctx.OutputBuffer, n) : n;
  if (written != n) ctx.Failed = true;
  ctx.Crc = UpdateCrc32(ctx.Crc, ctx.OutputBuffer, size_t(n));
  ctx.BytesWritten += n;
  if (ctx.Host) ctx.Host->Progress(ctx.BytesWritten, n);
}

void WindowFlush(TRunContext& ctx, const uint8_t* src, int32_t n) {
  while (n > 0 && !ctx.Failed) {
    int32_t k = std::min(n, kOutputBytes - ctx.OutFill);
    std::memcpy(ctx.OutputBuffer + ctx.OutFill, src, size_t(k));
    ctx.OutFill += k;
    src += k;
    n -= k;
    if (ctx.OutFill >= kOutputBytes) FlushOutput(ctx);
  }
}

TBitReader::TBitReader(TRunContext& ctx) : Ctx(ctx), P(ctx.ChunkPos) {
  Left = std::max<int64_t>(0, std::min<int64_t>(ctx.ChunkLeft, ctx.DeliverLeft));
  DeliverAfter = std::max<int64_t>(0, ctx.DeliverLeft - Left);
}

void TBitReader::Save() {
  Ctx.ChunkPos = P;
  Ctx.ChunkLeft = int32_t(Left);
  Ctx.DeliverLeft = DeliverAfter + Left;
}

// The deliver counter says how many compressed bytes the entry still has;
// the read counter how many are still in the archive. A chunk is
// min(read counter, 16000) bytes; the host reads it (switching volumes,
// raising "Premature end of file reached") and decrypts it.
bool TBitReader::NextChunk() {
  if (DeliverAfter <= 0) return false;
  if (Ctx.DoProcessMessages && Ctx.Host) Ctx.Host->ProcessMessages();
  int32_t n = int32_t(std::min<int64_t>(Ctx.ReadLeft, kChunkBytes));
  if (n <= 0) return false;
  Ctx.ReadLeft -= n;
  Ctx.Host->ReadChunk(Ctx.InputBuffer, n);
  P = Ctx.InputBuffer;
  Left = std::min<int64_t>(n, DeliverAfter);
  DeliverAfter -= Left;
  return true;
}

bool TBitReader::Fill(unsigned target) {
  uint8_t b;
  while (Cnt < target) {
    if (!ByteSource(b)) return false;
    Buf |= uint64_t(b) << Cnt;
    Cnt += 8;
  }
  return true;
}
