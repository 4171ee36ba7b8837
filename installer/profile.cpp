#include "installer/profile.h"

#include "installer/log.h"
#include "installer/text.h"
#include "package/names.h"

#include <string.h>

int ReadProfileString(const char* lpSection, const char* lpKey, char* lpValue, DWORD size, const char* lpFile) {
  DWORD len = GetPrivateProfileStringA(lpSection, lpKey, PROFILE_DEFAULT, lpValue, size, lpFile);
  if (len == 0) return PROFILE_EMPTY;
  return strcmp(lpValue, PROFILE_DEFAULT) == 0 ? PROFILE_MISSING : PROFILE_VALUE;
}

BOOL ProfileSectionHasKeys(const char* lpSection, const char* lpFile) {
  char szKeys[16];
  return GetPrivateProfileSectionA(lpSection, szKeys, sizeof(szKeys), lpFile) != 0;
}

BOOL WriteEmptyProfileSection(const char* lpSection, const char* lpFile) {
  if (!WritePrivateProfileStringA(lpSection, "ZfixEmptySection", "", lpFile)) return FALSE;
  return WritePrivateProfileSectionA(lpSection, "\0", lpFile);
}

BOOL JoinRegistryName(const char* lpDir, const char* lpName, char* lpOut, size_t size, const char* lpCaller,
                      const char* lpKey) {
  switch (zfix::JoinInside(lpDir, lpName, lpOut, size)) {
  case zfix::JoinResult::Joined:
    return TRUE;
  case zfix::JoinResult::Leaves:
    WriteLogF(0, "%s: ERROR: %s=%s names no file inside %s, passed over", lpCaller, lpKey, lpName, lpDir);
    return FALSE;
  default:
    WriteLogF(0, "%s: ERROR: %s=%s is too long a name below %s, passed over", lpCaller, lpKey, lpName, lpDir);
    return FALSE;
  }
}
