// The installer's member rules.
#include "Members.h"

#include "common/FoldLower.h"

bool IsSystemMember(const PackageEntry& entry) {
  std::string folded = FoldLower(PackageEntryName(entry));
  return folded == "qrvx.dll" || folded == "qrvxunst.exe";
}

bool IsPlainFileName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (char c : name)
    if (static_cast<unsigned char>(c) < 32 || c == '\\' || c == '/' || c == ':') return false;
  return true;
}
