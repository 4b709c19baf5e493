// Placeholder bodies until the decoders land: every entry fails.
#include "unzip/Decoders.h"

uint32_t UpdateCrc32(uint32_t crc, const uint8_t* data, size_t n) {
  for (size_t i = 0; i < n; ++i) crc = Crc32Byte(crc, data[i]);
  return crc;
}

uint32_t Crc32Byte(uint32_t crc, uint8_t b) {
  crc ^= b;
  for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  return crc;
}

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

void FlushOutput(TRunContext& ctx) { ctx.OutFill = 0; }
void Inflate(TRunContext& ctx) { ctx.Failed = true; }
void Unshrink(TRunContext& ctx) { ctx.Failed = true; }
void Unreduce(TRunContext& ctx, int) { ctx.Failed = true; }
void Explode(TRunContext& ctx) { ctx.Failed = true; }
