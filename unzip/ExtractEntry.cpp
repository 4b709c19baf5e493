// TUnZip: one entry of an extraction run, step by step. The data is found
// through the local header, the target formed and checked (file mode), the
// password checked, the sink opened, the data decoded, the file finished and
// the checksum verified. Each step that ends the entry early says so by its
// result; the run's count drops by one for every entry that fails.
#include <windows.h>

#include <cstring>
#include <memory>
#include <string>

#include "common/AnsiText.h"
#include "common/Bytes.h"
#include "common/ServerMessageBox.h"
#include "unzip/BufStream.h"
#include "unzip/Decoders.h"
#include "unzip/Helpers.h"
#include "unzip/SafePath.h"
#include "unzip/UnZip.h"

namespace {

std::string DropLeadingSeparators(const std::string& s) {
  size_t n = s.find_first_not_of("\\/");
  return n == std::string::npos ? std::string() : s.substr(n);
}

}  // namespace

void TUnZip::ExtractEntry(int index) {
  FRetry = false;
  FWork.Assign(*FView->Entry(index));
  bool hasName = !FWork.FileName().empty();
  if (hasName) {
    if (!SeekToData(index)) {
      --FResult;
      return;
    }
  } else if (FToStream) {
    return;  // a directory entry has nothing to give a stream
  }

  std::string target;
  if (!FToStream && !FormTarget(index, target)) return;
  if (FWork.Encrypted() && !Unlock(index)) return;

  std::unique_ptr<TLFNFileStream> file;
  if (!FToStream && !OpenTarget(index, target, file)) return;
  FCtx->StartEntry(FWork.Method, FWork.GeneralFlags, FWork.PackedSize, FWork.UnpackedSize);
  FCtx->Sink = file ? file.get() : FSink;
  FCtx->DoProcessMessages = DoProcessMessages;
  bool skip = false;
  if (OnStartUnZip) OnStartUnZip(this, index, target, skip);
  if (skip) return;  // a file-mode target stays, empty

  // An exception from a decoder leaves from here: the target is closed and
  // the partial file stays.
  Decode();
  if (file) FinishFile(target, file);
  Verify(index, target);
}

// Positions the archive at the entry's data: past its local header, whose
// own name and extra field lengths count (APPNOTE 4.3.7). An entry whose
// header is not one, or whose data overlaps the data of an entry already
// extracted (one run of bytes posing as many entries), is refused: false. A
// header cut short by the end of the archive fails later, at its data.
bool TUnZip::SeekToData(int index) {
  if (FEnd.ThisDisk != 0 && FWork.StartDisk != FCurrentDisk) RequestDisk(FWork.StartDisk + 1);
  FArchive->Seek(FWork.LocalHeaderOffset, soFromBeginning);
  std::memset(FLocal, 0, sizeof FLocal);
  int32_t got = FArchive->Read(FLocal, kLocalSize);
  FArchive->Seek(static_cast<int64_t>(GetLE16(FLocal + 26)) + GetLE16(FLocal + 28), soFromCurrent);
  return (got < 4 || GetLE32(FLocal) == kLocalSig) &&
         ClaimDataRange(FView->Entry(index), FArchive->GetPosition());
}

// File mode: the entry's target below DestDir, in target. The stored
// directory counts with RecreateDirs only, without RootDir, and a drive or a
// root in it goes below DestDir too. What is left, with the file name, is
// the part below DestDir; it is checked whole, as the file system will read
// it, so that no spelling leads outside. A refused name raises
// OnSkippingFile and counts as failed (a directory entry is not counted).
// Gives false when nothing is to be written: a refused name, or a directory
// entry, whose folder is made here.
bool TUnZip::FormTarget(int index, std::string& target) {
  bool hasName = !FWork.FileName().empty();
  std::string below;
  if (RecreateDirs && !FWork.Directory().empty()) {
    std::string d = FWork.Directory();
    if (!FRootDir.empty() && AnsiSameText(LeftStr(d, FRootDir.size()), FRootDir))
      d.erase(0, FRootDir.size());
    if (d.size() >= 2 && d[1] == ':') d.erase(0, 2);
    below = DropLeadingSeparators(d);
  }
  TPathVerdict verdict = CheckRelativePath(below + FWork.FileName());
  size_t directoryLength = FRunBaseLength + below.size();
  if (verdict == pvSafe && (directoryLength + FWork.FileName().size() > kMaxFilePath ||
                            (!below.empty() && directoryLength > kMaxDirectoryPath)))
    verdict = pvTooLong;
  if (verdict != pvSafe) {
    if (OnSkippingFile)
      OnSkippingFile(this, verdict == pvUnsafe ? skUnsafeName : skNameTooLong, index);
    if (hasName) --FResult;
    return false;
  }
  std::string path = (FRunDestDir.empty() ? std::string() : FRunDestDir + "\\") + below;
  if (!below.empty() && !DirectoryExists(path)) ForceDirectories(path);
  if (!hasName) {
    if (RecreateDirs && OnStartUnZip) {
      bool ignored = false;
      OnStartUnZip(this, index, path, ignored);
    }
    return false;
  }
  target = path + FWork.FileName();
  return true;
}

// Raises OnSkippingFile, steps over the entry's data and counts it as failed.
void TUnZip::SkipEntry(TSkipReason reason, int index) {
  if (OnSkippingFile) OnSkippingFile(this, reason, index);
  FArchive->Seek(FWork.PackedSize, soFromCurrent);
  --FResult;
}

// An encrypted entry: checks Password against the encryption header and,
// while it fails, asks OnBadPassword for another. False: skipped as a bad
// password.
bool TUnZip::Unlock(int index) {
  while (!CheckPassword()) {
    std::string newPassword = Password;
    if (OnBadPassword) OnBadPassword(this, index, newPassword);
    if (newPassword == Password) {
      SkipEntry(skBadPassword, index);
      return false;
    }
    Password = newPassword;
    FArchive->Seek(-12, soFromCurrent);
    FWork.PackedSize += 12;
  }
  return true;
}

// File mode: creates the target, unless it exists and may not be replaced.
// A question nobody can answer (no handler, and no desktop for the box)
// gets No: an existing file is never replaced unasked. OnPromptForOverwrite
// may also rename the target. False: skipped as not overwritten.
bool TUnZip::OpenTarget(int index, std::string& target, std::unique_ptr<TLFNFileStream>& file) {
  if (OverwriteMode != Always && FileExists(target)) {
    bool overwrite = false;
    if (OverwriteMode == Prompt) {
      if (OnPromptForOverwrite) {
        OnPromptForOverwrite(this, overwrite, index, target);
      } else {
        std::string text = "Replace existing file " + EntryName(index) + "?";
        overwrite = ServerMessageBox(nullptr, text.c_str(), "File Exists Alert",
                                     MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
      }
    }
    if (!overwrite) {
      SkipEntry(skNoOverwrite, index);
      return false;
    }
  }
  file = std::make_unique<TLFNFileStream>(target, fmCreate);
  return true;
}

void TUnZip::Decode() {
  switch (FWork.Method) {
    case 0: CopyStored(); break;
    case 1: Unshrink(*FCtx); break;
    case 2:
    case 3:
    case 4:
    case 5: Unreduce(*FCtx, FWork.Method - 1); break;
    case 6: Explode(*FCtx); break;
    case 8: Inflate(*FCtx); break;
    default:
      ServerMessageBox(nullptr, "Unknown Compression Method", "Zip Error", MB_OK | MB_ICONERROR);
      break;
  }
}

// Closes the target, then gives it the stored attributes and time. The last
// buffered bytes are written here: when the file system refuses them (a
// full disk), the entry fails as a write that failed while decoding does.
void TUnZip::FinishFile(const std::string& target, std::unique_ptr<TLFNFileStream>& file) {
  if (!file->Flush()) FCtx->Failed = true;
  file.reset();
  if (RetainAttributes) SetFileAttributesA(target.c_str(), FWork.ExternalAttr);
  HANDLE h = CreateFileA(target.c_str(), GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;  // the time stays as it is
  FILETIME local, utc;
  if (DosDateTimeToFileTime(static_cast<WORD>(FWork.DosDateTime >> 16),
                            static_cast<WORD>(FWork.DosDateTime), &local) &&
      LocalFileTimeToFileTime(&local, &utc))
    SetFileTime(h, nullptr, nullptr, &utc);
  CloseHandle(h);
}

// Compares the checksum of what was written with the stored one. A mismatch
// (or a failed write) raises OnBadPassword for an encrypted entry, which may
// ask for a retry with another password, else OnBadCRC; a file-mode target
// is deleted and the entry counts as failed unless it is retried. A match
// raises OnEndUnZip.
void TUnZip::Verify(int index, const std::string& target) {
  uint32_t crc = ~FCtx->Crc;
  if (crc == FWork.Crc && !FCtx->Failed) {
    if (OnEndUnZip) OnEndUnZip(this, index, target);
    return;
  }
  if (FWork.Encrypted()) {
    std::string newPassword = Password;
    if (OnBadPassword) OnBadPassword(this, index, newPassword);
    if (newPassword != Password) {
      Password = newPassword;
      FRetry = true;
    } else if (OnSkippingFile) {
      OnSkippingFile(this, skBadPassword, index);
    }
  } else if (OnBadCRC) {
    OnBadCRC(this, crc, FWork.Crc, index);
  }
  if (!FToStream) {
    SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(target.c_str());
  }
  if (!FRetry) --FResult;
}

// Method 0: the bytes as they are, in chunks of up to 16000.
void TUnZip::CopyStored() {
  TRunContext& ctx = *FCtx;
  while (FWork.PackedSize > 0 && !ctx.Failed) {
    int32_t want = FWork.PackedSize < kOutputBytes ? FWork.PackedSize : kOutputBytes;
    int32_t got = FArchive->Read(ctx.OutputBuffer, want);
    if (got < 0) got = 0;
    // An entry that goes on in the next volume of a set is read on there.
    while (got < want && FEnd.ThisDisk != 0 && OnGetNextDisk && FCurrentDisk < FEnd.ThisDisk) {
      RequestDisk(FCurrentDisk + 2);
      int32_t more = FArchive->Read(ctx.OutputBuffer + got, want - got);
      if (more > 0) got += more;
    }
    if (got == 0) break;
    if (FWork.Encrypted()) Decrypt(ctx.OutputBuffer, got);
    FWork.PackedSize -= got;
    ctx.OutFill = got;
    FlushOutput(ctx);
    if (got < want) break;  // the archive ended early: the CRC check fails
  }
}
