#include "unzip/Decoders.h"
void Explode(TRunContext& ctx) {
  ctx.Failed = true;
}
