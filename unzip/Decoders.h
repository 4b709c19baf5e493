// The decoders of the ZIP component and the run-context operations they
// share with the extraction driver. Each decoder takes the entry's bytes
// through the run context and leaves its output in the sink; on bad data it
// stops without flushing and sets ctx.Failed, and the driver's CRC check
// rejects the entry.
#pragma once

#include <cstddef>
#include <cstdint>

#include "unzip/RunContext.h"

// CRC-32 of the ZIP format (reflected, polynomial 0xEDB88320), running value
// in and out (start with 0xFFFFFFFF, complement at the end).
// Carry-less multiplication where the processor has it, tables otherwise.
uint32_t UpdateCrc32(uint32_t crc, const uint8_t* data, size_t n);
// The same by the table method alone (what other processors run).
uint32_t TableUpdateCrc32(uint32_t crc, const uint8_t* data, size_t n);
// One step of the CRC table, for the traditional decryption's key update.
uint32_t Crc32Byte(uint32_t crc, uint8_t b);

// Hands OutputBuffer[0..OutFill) to the sink, updates CRC, counters, events.
void FlushOutput(TRunContext& ctx);

void Inflate(TRunContext& ctx);               // method 8
void Unshrink(TRunContext& ctx);              // method 1
void Unreduce(TRunContext& ctx, int factor);  // methods 2..5, factor = method - 1
void Explode(TRunContext& ctx);               // method 6
