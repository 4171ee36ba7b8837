#include "records_test.h"

#include "package/fix_record.h"

#include <zlib.h>

#include <algorithm>

using fixture::Contains;

const char kBaseLabel[] = "Release 14.5.1FP1|May 21, 2026";
const char kHf21Label[] = "Release 14.5.1FP1 HF21|September 21, 2026";
const char kHf22Label[] = "Release 14.5.1FP1 HF22|October 2, 2026";
const char kBaseDir[] = "Release1451FP1";
const char kHf21Dir[] = "Release1451FP1HF21";
const char kHf22Dir[] = "Release1451FP1HF22";

std::string RecordsTest::trees_;

uint32_t Crc(const std::string& bytes) {
  return (uint32_t)crc32(crc32(0L, Z_NULL, 0), (const Bytef*)bytes.data(), (uInt)bytes.size());
}

std::string Upper(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return (char)toupper(c); });
  return s;
}

std::string ChecksumText(uint32_t checksum) {
  char text[16];
  snprintf(text, sizeof(text), "%#lx", (unsigned long)checksum);
  return text;
}

/* Content that a patch can describe more briefly than the whole: the base with a few bytes changed. */
static std::string Changed(std::string s, int step) {
  for (size_t i = s.size() / 3 + (size_t)step; i + 8 < s.size(); i += s.size() / 4 + 1) s[i] ^= (char)(0x20 + step);
  return s;
}

void RecordsTest::SetUpTestSuite() {
  // The trees and fixes depend on the stub and the builder: a new build makes new ones.
  std::string key = std::to_string(Crc(fixture::ReadFile(fixture::BinDir() + "\\zfix.exe"))) + "_" +
                    std::to_string(Crc(fixture::ReadFile(fixture::BinDir() + "\\zfixbuild.exe")));
  trees_ = fixture::BinDir() + "\\..\\scratch-records\\" + key;
  if (fixture::FileExists(trees_ + "\\ready")) return;
  CreateDirectoryA((fixture::BinDir() + "\\..\\scratch-records").c_str(), NULL);
  fixture::RemoveTree(trees_);
  CreateDirectoryA(trees_.c_str(), NULL);
  const std::string product = fixture::BinDir() + "\\..\\product";
  for (const char* tree : {"base", "hf21", "hf22"}) {
    std::string t = trees_ + "\\" + tree;
    CreateDirectoryA(t.c_str(), NULL);
    fixture::CopyTree(product, t + "\\program");
    CreateDirectoryA((t + "\\data").c_str(), NULL);
  }
  // HF21 changes two files, nzorel.dll and its signature; HF22 changes nzorel.dll again and
  // pomvi.dll. Both keep the strings library, whose release text the installer rewrites.
  const std::string base = trees_ + "\\base\\program";
  const std::string nzorel = fixture::ReadFile(base + "\\nzorel.dll");
  fixture::WriteFile(trees_ + "\\hf21\\program\\nzorel.dll", Changed(nzorel, 0));
  fixture::WriteFile(trees_ + "\\hf21\\program\\sig\\nzorel.sf", "signature of HF21");
  fixture::WriteFile(trees_ + "\\hf22\\program\\nzorel.dll", Changed(nzorel, 1));
  fixture::WriteFile(trees_ + "\\hf22\\program\\pomvi.dll", Changed(fixture::ReadFile(base + "\\pomvi.dll"), 2));
  fixture::WriteFile(trees_ + "\\license.txt", "Sample licence of the fix.\r\n");
  fixture::WriteFile(trees_ + "\\ready", "");
}

std::string RecordsTest::Fix(const std::string& tree, const std::string& fixKeys, const std::string& kind) {
  const bool titled = fixKeys.find("Title=") != std::string::npos;
  const std::string label = tree == "hf21" ? kHf21Label : kHf22Label;
  std::string description = "[Fix]\r\n" + std::string(titled ? "" : "Title=Release 14.5.1FP1 -> " + label + "\r\n") +
                            "Kind=" + kind +
                            "\r\n"
                            "BaseLabel=" +
                            std::string(kBaseLabel) +
                            "\r\n"
                            "FixLabel=" +
                            label +
                            "\r\n"
                            "License=license.txt\r\n" +
                            fixKeys +
                            "[Base]\r\nProgram=base\\program\r\nData=base\\data\r\n"
                            "[Target]\r\nProgram=" +
                            tree + "\\program\r\nData=" + tree + "\\data\r\n";
  std::string name = trees_ + "\\fix" + std::to_string(Crc(description));
  if (!fixture::FileExists(name + ".exe")) {
    fixture::WriteFile(name + ".ini", description);
    EXPECT_EQ(0, fixture::Run("\"" + fixture::BinDir() + "\\zfixbuild.exe\" build \"" + name + ".ini\" -o \"" + name +
                              ".exe\""))
        << description;
  }
  return name + ".exe";
}

/* The description record (VERSION/1) of a fix executable. */
static std::string VersionRecord(const std::string& fix) {
  std::string bytes;
  HMODULE module = LoadLibraryExA(fix.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return bytes;
  HRSRC hRes = FindResourceExA(module, "VERSION", MAKEINTRESOURCEA(1), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  if (hRes) bytes.assign((const char*)LockResource(LoadResource(module, hRes)), SizeofResource(module, hRes));
  FreeLibrary(module);
  return bytes;
}

std::vector<FixFile> RecordsTest::FilesOf(const std::string& fix, const std::string& tree) {
  std::vector<FixFile> files;
  std::string bytes = VersionRecord(fix);
  zfix::FIXRECORD record;
  if (!zfix::ReadFixRecord(bytes.data(), bytes.size(), &record)) return files;
  for (const zfix::FILELISTRECORD& r : record.files) {
    FixFile f;
    f.name = r.lpFile;
    f.entry = r.dwFileEntry;
    f.before = Crc(fixture::ReadFile(trees_ + "\\base\\program\\" + f.name));
    f.after = Crc(fixture::ReadFile(trees_ + "\\" + tree + "\\program\\" + f.name));
    files.push_back(f);
  }
  return files;
}

std::string RecordsTest::FixWithoutFiles(const std::string& fix) {
  std::string path = dir_ + "\\nofiles.exe";
  EXPECT_TRUE(CopyFileA(fix.c_str(), path.c_str(), FALSE));
  std::string bytes = VersionRecord(fix);
  zfix::FIXRECORD record;
  EXPECT_TRUE(zfix::ReadFixRecord(bytes.data(), bytes.size(), &record));
  record.header.dwListedFiles = 0;
  record.files.clear();
  std::vector<uint8_t> out = zfix::WriteFixRecord(record);
  HANDLE hUpdate = BeginUpdateResourceA(path.c_str(), FALSE);
  EXPECT_TRUE(hUpdate != NULL);
  EXPECT_TRUE(UpdateResourceA(hUpdate, "VERSION", MAKEINTRESOURCEA(1), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                              out.data(), (DWORD)out.size()));
  EXPECT_TRUE(EndUpdateResourceA(hUpdate, FALSE));
  return path;
}

std::string RecordsTest::InstallBase(const std::string& options) {
  fixture::RemoveProduct();
  fixture::RemoveTree(dir_ + "\\product");
  std::string program = fixture::InstallProduct(dir_ + "\\product", options);
  EXPECT_FALSE(program.empty());
  return program;
}

std::string RecordsTest::RunLog() const { return fixture::ReadFile(dir_ + "\\product\\PROGRAM\\UPGRADE.LOG"); }

int RecordsTest::RunUnattended(const std::string& fix, const std::string& words) {
  robot::Program run("\"" + fix + "\" nouser" + (words.empty() ? "" : " " + words), dir_);
  return run.WaitExit(120000);
}

std::string LabelSection(const std::string& label, const std::string& labelDir, const std::vector<FixFile>& files,
                         bool after, int firstNumber, bool header) {
  std::string text = header ? "[\"" + label + "\"]\r\n" : "";
  int n = firstNumber;
  for (const FixFile& f : files) {
    char number[8], entry[8];
    snprintf(number, sizeof(number), "%03d", n++);
    snprintf(entry, sizeof(entry), "%04u", (unsigned)f.entry);
    std::string base = f.name.substr(f.name.find_last_of('\\') + 1);
    std::string stem = base.substr(0, base.find_last_of('.'));
    text += std::string("File") + number + "=" + f.name + "\r\n";
    text += std::string("Checksum") + number + "=" + ChecksumText(after ? f.after : f.before) + "\r\n";
    text += std::string("BackupName") + number + "=" + labelDir + "\\" + stem + entry + ".IIB\r\n";
  }
  return text;
}

void ExpectLogLines(const std::string& log, const std::vector<std::string>& lines) {
  for (const std::string& line : lines)
    EXPECT_TRUE(Contains(log, "\t" + line + "\r\n") || Contains(log, "\n" + line + "\r\n")) << line << "\n" << log;
}
