// TUnZip, the ZIP component: reads an archive's directory (from a file named
// by ZipName or from a caller's stream) and extracts selected entries into a
// caller's stream or into files below DestDir, decrypting traditional PKWARE
// encryption (APPNOTE 6.1) and decoding stored, shrunk, reduced, imploded and
// deflated data.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/Classes.h"
#include "unzip/RunContext.h"
#include "unzip/ZipDir.h"

class EIncompleteZip : public Exception {
  using Exception::Exception;
};
class EFatalUnzipError : public Exception {
  using Exception::Exception;
};
class EUserCanceled : public Exception {
  using Exception::Exception;
};

enum TUZOverwriteMode : uint8_t { Prompt = 0, Always = 1, Never = 2 };
enum TIncompleteZipMode : uint8_t { izAssumeMulti = 0, izAssumeBad = 1 };
// skUnsafeName: in file mode, a stored name that would lead outside DestDir
// (or name a device); skNameTooLong: a target longer than the file system
// takes.
enum TSkipReason : uint8_t {
  skBadPassword = 0,
  skNoOverwrite = 1,
  skUnsafeName = 2,
  skNameTooLong = 3
};
// The kind of volume set the open archive is: one file, spanned over
// removable media (one volume a disk, checked by its label), or split into
// several files.
enum TVolumeKind : uint8_t { vkSingle = 0, vkRemovable = 1, vkSplit = 2 };

class TUnZip;
class TLFNFileStream;
using TStartUnzipInfo =
    std::function<void(TUnZip* Sender, int NumFiles, int64_t TotalBytes, bool& StopNow)>;
using TFilePercentDone = std::function<void(TUnZip* Sender, int Percent)>;
using TTotalPercentDone = std::function<void(TUnZip* Sender, int Percent)>;
using TStartUnZipEvent =
    std::function<void(TUnZip* Sender, int FileIndex, const std::string& FName, bool& Skip)>;
using TEndUnZipEvent = std::function<void(TUnZip* Sender, int FileIndex, const std::string& FName)>;
using TPromptForOverwrite =
    std::function<void(TUnZip* Sender, bool& OverWriteIt, int FileIndex, std::string& FName)>;
using TSkippingFile = std::function<void(TUnZip* Sender, TSkipReason Reason, int FileIndex)>;
using TBadPassword = std::function<void(TUnZip* Sender, int FileIndex, std::string& NewPassword)>;
using TBadCRC =
    std::function<void(TUnZip* Sender, uint32_t CalcCRC, uint32_t StoredCRC, int FileIndex)>;
using TIncompleteZip = std::function<void(TUnZip* Sender, TIncompleteZipMode& IncompleteMode)>;
using TGetNextDisk = std::function<void(TUnZip* Sender, int NextDisk, std::string& FName)>;

class TUnZip : private TUnZipRunHost {
 public:
  explicit TUnZip(void* owner = nullptr);
  ~TUnZip() override;
  TUnZip(const TUnZip&) = delete;
  TUnZip& operator=(const TUnZip&) = delete;

  // ---- published properties ----
  int ThisVersion() const { return 203; }
  void SetThisVersion(int) {}
  const std::string& ZipName() const { return FZipName; }
  // A value ending in "?" asks with the open-file dialog.
  void SetZipName(std::string value);
  const std::string& DestDir() const { return FDestDir; }
  // "?" asks with the folder picker.
  void SetDestDir(std::string value);
  const std::string& RootDir() const { return FRootDir; }
  void SetRootDir(std::string value);
  TZipSortMode SortMode = ByNone;  // takes effect when the sorted view is rebuilt
  bool RecreateDirs = false;
  TUZOverwriteMode OverwriteMode = Prompt;
  std::vector<std::string> FilesList;
  bool DoAll = false;
  TIncompleteZipMode IncompleteZipMode = izAssumeMulti;
  bool KeepZipOpen = false;
  bool DoProcessMessages = true;
  bool RetainAttributes = true;

  // ---- published events ----
  TStartUnzipInfo OnStartUnZipInfo;
  TFilePercentDone OnFilePercentDone;
  TTotalPercentDone OnTotalPercentDone;
  TStartUnZipEvent OnStartUnZip;
  TEndUnZipEvent OnEndUnZip;
  TPromptForOverwrite OnPromptForOverwrite;
  TSkippingFile OnSkippingFile;
  TBadPassword OnBadPassword;
  TBadCRC OnBadCRC;
  TIncompleteZip OnInCompleteZip;
  TGetNextDisk OnGetNextDisk;

  std::string Password;

  // ---- public operations ----
  // The archive is read from stream (owned from now on, unless handed back
  // by setting nullptr, which does not free it).
  void SetArchiveStream(TStream* stream);
  void ReadDirectory();
  int EntryCount() const;
  std::string EntryName(int index) const;  // file name without directory
  std::string EntryComment(int index);
  void SetEntryComment(int index, const std::string& text);
  std::string ArchiveComment();
  void SetArchiveComment(const std::string& text);
  // Appends every entry matching pattern to stream; gives how many came out
  // with a correct CRC. FilesList keeps the pattern.
  int ExtractToStream(TStream* stream, const std::string& pattern);
  // The same with the patterns of FilesList as they are.
  int ExtractToStream(TStream* stream);
  // Extracts the selected entries into files below DestDir.
  int ExtractToFiles();
  // The one entry a run with the single line pattern would select: its index
  // in the sorted view, -1 when the pattern selects none, -2 when it selects
  // more than one. Plain names are looked up in an index; other patterns are
  // matched only against the entries whose names begin and end as theirs
  // must, and stop at the second match. *work is lowered by the characters
  // matched; when it runs out first the answer is -3 (not known).
  int SingleSelection(const std::string& pattern, int64_t* work);
  // Appends the entry at index alone to stream; gives 1 when it came out with
  // a correct CRC, else 0.
  int ExtractIndexToStream(TStream* stream, int index);
  void ApplySortMode(TZipSortMode mode);
  // The entry at index of the sorted view (for listings).
  const TZipHeaderInfo& Entry(int index) const;
  TVolumeKind VolumeKind() const { return FVolumeKind; }
  // The volume holding the end record, numbered as OnGetNextDisk numbers
  // them: the last one of a set (1 for a single volume).
  int LastDisk() const { return FEnd.ThisDisk + 1; }
  bool Rebuilt() const { return FRebuilt; }

 private:
  // TUnZipRunHost
  void ReadChunk(uint8_t* buf, int32_t n) override;
  void ProcessMessages() override;
  void Progress(int64_t entryBytesWritten, int32_t justWritten) override;

  void OpenArchive();
  void CloseArchive();
  void ClearArchive();
  void FreeArchiveStream();
  void FreeDirectory();
  void LoadDirectory();
  bool ScanLocalHeaders();
  TStream* RequestDisk(int disk);
  void LoadEntryComment(TZipHeaderInfo& entry);
  void LoadArchiveComment();
  void CheckIndex(int index) const;

  int RunToStream(TStream* stream, const std::string* pattern);
  int ExtractSelected();
  std::vector<int> Select();
  void ExtractEntry(int index);
  // The steps of ExtractEntry; those giving bool end the entry on false.
  bool SeekToData(int index);
  bool FormTarget(int index, std::string& target);
  bool Unlock(int index);
  bool OpenTarget(int index, std::string& target, std::unique_ptr<TLFNFileStream>& file);
  void Decode();
  void FinishFile(const std::string& target, std::unique_ptr<TLFNFileStream>& file);
  void Verify(int index, const std::string& target);
  void SkipEntry(TSkipReason reason, int index);
  bool ClaimDataRange(const TZipHeaderInfo* entry, int64_t start);
  void BuildNameIndex();
  void BuildNameOrder();
  bool CheckPassword();
  void Decrypt(uint8_t* buf, int32_t n);
  void CopyStored();

  std::string FZipName, FDestDir, FRootDir;
  std::string FRunDestDir;           // DestDir of the current run, absolute when it was relative
  size_t FRunBaseLength = 0;         // length of the run's destination path and a separator
  TStream* FArchive = nullptr;       // the open archive stream (or volume)
  TStream* FCallerStream = nullptr;  // the stream given through SetArchiveStream
  bool FIsCallerStream = false;
  TSortedZip* FEntries = nullptr;  // archive order, owns the entries
  TSortedZip* FView = nullptr;     // FEntries or a sorted, non-owning view
  TEndCentral FEnd;
  int FCurrentDisk = 0;
  TVolumeKind FVolumeKind = vkSingle;
  bool FRebuilt = false;
  int64_t FTimeStamp = 0;

  TZipHeaderInfo FWork;  // the entry being extracted
  uint8_t FLocal[kLocalSize];
  uint32_t FKeys[3] = {0, 0, 0};
  bool FToStream = false;
  TStream* FSink = nullptr;
  int64_t FTotal = 0, FDone = 0;
  int FResult = 0;
  bool FRetry = false;
  TRunContext* FCtx = nullptr;
  // Entries marked Selected by the last run, and an index of the view's file
  // names (lower-cased) for runs that ask for one plain name.
  std::vector<TZipHeaderInfo*> FLastSelected;
  std::unordered_map<std::string, std::vector<int>> FNameIndex;
  const TSortedZip* FIndexView = nullptr;
  int FIndexCount = -1;
  // The view's lower-cased file names in ascending order, and reversed in
  // ascending order: the entries a pattern's fixed head or tail allows.
  std::vector<std::pair<std::string, int>> FByHead, FByTail;
  int FOnlyIndex = -1;  // a run that extracts this entry alone
  // Compressed data already extracted, by volume and start: its end and its
  // entry. A run of bytes belongs to one entry only.
  std::map<std::pair<int, int64_t>, std::pair<int64_t, const TZipHeaderInfo*>> FClaims;
};
