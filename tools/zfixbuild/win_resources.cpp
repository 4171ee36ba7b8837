#include "tools/zfixbuild/win_resources.h"

#include <string>

#include "package/fix_format.h"
#include "tools/zfixbuild/string_block.h"

namespace zfixbuild {

static const WORD kLanguage = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

bool ReadResource(HMODULE module, const char* type, unsigned id, std::vector<uint8_t>* bytes) {
  HRSRC hRes = FindResourceExA(module, type, MAKEINTRESOURCEA(id), kLanguage);
  if (!hRes) return false;
  HGLOBAL hData = LoadResource(module, hRes);
  const uint8_t* p = hData ? static_cast<const uint8_t*>(LockResource(hData)) : NULL;
  if (!p) return false;
  bytes->assign(p, p + SizeofResource(module, hRes));
  return true;
}

bool ReadStringBlock(HMODULE module, unsigned block, std::vector<std::u16string>* strings) {
  std::vector<uint8_t> bytes;
  return ReadResource(module, MAKEINTRESOURCEA(6) /* RT_STRING */, block, &bytes) &&
         ParseStringBlock(bytes.data(), bytes.size(), strings);
}

static BOOL CALLBACK FirstName(HMODULE, LPCSTR, LPSTR name, LONG_PTR found) {
  std::string* text = reinterpret_cast<std::string*>(found);
  *text = IS_INTRESOURCE(name) ? std::to_string(reinterpret_cast<ULONG_PTR>(name)) : std::string(name);
  return FALSE;  // one is enough
}

std::string FixResourceIn(HMODULE module) {
  for (const char* type : zfix::FIX_RESOURCE_TYPES) {
    std::string name;
    EnumResourceNamesA(module, type, FirstName, reinterpret_cast<LONG_PTR>(&name));
    if (!name.empty()) return std::string(type) + "/" + name;
  }
  return std::string();
}

std::u16string Wide(const std::string& text) {
  if (text.empty()) return std::u16string();
  int n = MultiByteToWideChar(CP_ACP, 0, text.data(), (int)text.size(), NULL, 0);
  std::vector<wchar_t> w(n > 0 ? n : 1);
  MultiByteToWideChar(CP_ACP, 0, text.data(), (int)text.size(), &w[0], n);
  return std::u16string(w.begin(), w.begin() + (n > 0 ? n : 0));
}

std::string Narrow(const std::u16string& text) {
  if (text.empty()) return std::string();
  std::vector<wchar_t> w(text.begin(), text.end());
  int n = WideCharToMultiByte(CP_ACP, 0, &w[0], (int)w.size(), NULL, 0, NULL, NULL);
  std::vector<char> a(n > 0 ? n : 1);
  WideCharToMultiByte(CP_ACP, 0, &w[0], (int)w.size(), &a[0], n, NULL, NULL);
  return std::string(a.begin(), a.begin() + (n > 0 ? n : 0));
}

}  // namespace zfixbuild
