// Arbitrary bytes as an uploaded archive, read the way the receiver reads
// one: ReadDirectory, then ExtractToStream for every entry, then the
// comments; once more with the directory rebuilt by scanning when the end
// record is missing. Only the component's own errors may come out.
#include <cstddef>
#include <cstdint>

#include "unzip/UnZip.h"

namespace {

// Counts what it is given: an entry may declare up to 2 GB.
class TCountingSink : public TStream {
 public:
  int32_t Read(void*, int32_t) override { return 0; }
  int32_t Write(const void*, int32_t count) override {
    Written += count;
    return count;
  }
  int64_t Seek(int64_t, int) override { return Written; }
  int64_t Written = 0;
};

void Exercise(const uint8_t* data, size_t size, TIncompleteZipMode mode) {
  TUnZip u;
  u.IncompleteZipMode = mode;
  u.Password = "test";
  auto* archive = new TMemoryStream;
  archive->SetPointer(data, static_cast<int64_t>(size));
  u.SetArchiveStream(archive);  // owned by the component from here on
  try {
    u.ReadDirectory();
    for (int i = 0; i < u.EntryCount(); ++i) {
      TCountingSink sink;
      u.ExtractToStream(&sink, u.EntryName(i));
      (void)u.EntryComment(i);
    }
    (void)u.ArchiveComment();
  } catch (const Exception&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Exercise(data, size, izAssumeMulti);
  Exercise(data, size, izAssumeBad);
  return 0;
}
