#include "tools/zfixbuild/fix_report.h"

#include <cstdio>

#include "package/byte_io.h"
#include "package/component_archives.h"
#include "package/file_entry.h"
#include "package/fix_format.h"
#include "package/fix_record.h"
#include "tools/zfixbuild/fix_resources.h"

namespace zfixbuild {

namespace {

std::string Hex(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(v));
  return buf;
}

// A JSON string of Windows-1252 text: ASCII only, every other character escaped as its code
// point (JSON is UTF-8, and bytes past 0x7F alone are not).
std::string JsonText(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c >= 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x",
                    static_cast<unsigned>(WideFrom1252(std::string(1, static_cast<char>(c)))[0]));
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string Trimmed(const char* field) {
  char text[zfix::LABEL_SIZE + 1] = {};
  std::snprintf(text, sizeof text, "%s", field);
  zfix::TrimLabel(text);
  return text;
}

// Fields of one object, written as "name: value" lines or as a JSON object.
class Fields {
 public:
  Fields(bool json, int indent) : json_(json), indent_(indent) {}
  void Number(const std::string& name, uint64_t v) { Add(name, std::to_string(v)); }
  void Checksum(const std::string& name, uint32_t v) { Add(name, json_ ? std::to_string(v) : Hex(v)); }
  void Text(const std::string& name, const std::string& v) { Add(name, json_ ? JsonText(v) : "\"" + v + "\""); }
  void Raw(const std::string& name, const std::string& v) { Add(name, v); }
  // A code with its name after it in text ("1 FE_PATCH"), the number alone in JSON.
  void Code(const std::string& name, uint32_t v, const char* meaning) {
    Add(name, json_ ? std::to_string(v) : std::to_string(v) + " " + meaning);
  }
  bool Json() const { return json_; }
  std::string Done() const {
    if (!json_) return text_;
    return "{" + text_ + "}";
  }

 private:
  void Add(const std::string& name, const std::string& v) {
    if (json_) {
      if (!text_.empty()) text_ += ", ";
      text_ += JsonText(name) + ": " + v;
    } else {
      text_ += std::string(indent_, ' ') + name + ": " + v + "\n";
    }
  }
  bool json_;
  int indent_;
  std::string text_;
};

uint32_t StoredSize(const ResourceView& r) { return r.bytes.size() >= 4 ? zfix::GetLe32(r.bytes.data()) : 0; }

// The literal mode and dictionary size that the builder chose, from the stream's header.
void AddStreamSetting(Fields& f, const std::string& prefix, const ResourceView& r) {
  if (r.bytes.size() < 6) return;
  uint8_t mode = r.bytes[4], dictBits = r.bytes[5];
  f.Text(prefix.empty() ? "literals" : prefix + "Literals", mode == 0 ? "binary" : mode == 1 ? "ASCII" : "invalid");
  if (dictBits >= 4 && dictBits <= 6)
    f.Number(prefix.empty() ? "dictionary" : prefix + "Dictionary", 64u << dictBits);
  else
    f.Raw(prefix.empty() ? "dictionary" : prefix + "Dictionary", f.Json() ? "null" : "invalid");
}

}  // namespace

const char* OperationName(uint32_t operation) {
  switch (operation) {
    case zfix::FE_PATCH: return "FE_PATCH";
    case zfix::FE_REPLACE: return "FE_REPLACE";
    case zfix::FE_REMOVE: return "FE_REMOVE";
    case zfix::FE_OLDFIX: return "FE_OLDFIX";
    default: return "unknown";
  }
}

const char* DirName(uint32_t dir) {
  switch (dir) {
    case zfix::DIR_PROGRAM: return "DIR_PROGRAM";
    case zfix::DIR_DATA: return "DIR_DATA";
    case zfix::DIR_SYSTEM: return "DIR_SYSTEM";
    default: return "DIR_PROGRAM (other code)";
  }
}

bool DescribeFix(const FixView& fix, bool json, std::string* out, std::string* why) {
  if (!fix.version.present) {
    *why = "the executable has no VERSION/1 resource";
    return false;
  }
  zfix::FIXRECORD rec;
  std::string bad;
  if (!zfix::ReadFixRecord(fix.version.bytes.data(), fix.version.bytes.size(), &rec, &bad)) {
    *why = "VERSION/1 is corrupt: " + bad;
    return false;
  }
  const zfix::FIXHEADER& h = rec.header;
  Fields head(json, 2);
  head.Number("size", fix.version.bytes.size());
  head.Text("canOldLabel", Trimmed(h.canOldLabel));
  head.Text("canNewLabel", Trimmed(h.canNewLabel));
  head.Number("dwSpare", h.dwSpare);
  head.Number("gdwChecksums", h.gdwChecksums);
  head.Checksum("dwStringsChecksum", h.dwStringsChecksum);
  head.Number("dwFileEntries", h.dwFileEntries);
  head.Number("dwListedFiles", h.dwListedFiles);
  head.Number("dwDataDirSpace", h.dwDataDirSpace);
  head.Number("dwProgramSpace", h.dwProgramSpace);
  head.Number("dwUpgradeType", h.dwUpgradeType);

  std::vector<std::string> checksums, files, entries, strings, carried;
  for (size_t i = 0; i < rec.checksums.size(); ++i) {
    const zfix::CHECKSUMRECORD& c = rec.checksums[i];
    Fields f(json, 4);
    f.Number("record", i);
    f.Checksum("dwChecksum", c.dwChecksum);
    f.Text("label", Trimmed(c.canLabel));
    f.Text("file", c.lpFile);
    checksums.push_back(f.Done());
  }
  for (size_t i = 0; i < rec.files.size(); ++i) {
    const zfix::FILELISTRECORD& r = rec.files[i];
    Fields f(json, 4);
    f.Number("record", i + 1);
    f.Number("dwNameLength", r.dwNameLength);
    f.Code("dwOperation", r.dwOperation, OperationName(r.dwOperation));
    f.Code("dwDir", r.dwDir, DirName(r.dwDir));
    f.Checksum("dwOldChecksum", r.dwOldChecksum);
    f.Checksum("dwNewChecksum", r.dwNewChecksum);
    f.Number("dwFileEntry", r.dwFileEntry);
    f.Text("file", r.lpFile);
    if (const zfix::ComponentArchive* c = zfix::ComponentOfEntry(r.lpFile)) f.Text("component", c->what);
    files.push_back(f.Done());
  }
  for (uint32_t n = 1; n <= h.dwFileEntries; ++n) {
    Fields f(json, 4);
    f.Number("entry", n);
    auto rit = fix.records.find(n);
    if (rit == fix.records.end() || !rit->second.present) {
      f.Raw("record", json ? "null" : "missing");
      entries.push_back(f.Done());
      continue;
    }
    char name[zfix::MAX_ENTRY_NAME + 1];
    zfix::FILEENTRY e;
    if (!zfix::ReadFileEntry(rit->second.bytes.data(), rit->second.bytes.size(), name, sizeof name, &e)) {
      f.Raw("record", json ? "\"corrupt\"" : "corrupt");
      entries.push_back(f.Done());
      continue;
    }
    f.Text("name", name);
    f.Code("dwOperation", e.dwOperation, OperationName(e.dwOperation));
    f.Code("dwDir", e.dwDir, DirName(e.dwDir));
    f.Number("dwOldSize", e.dwOldSize);
    f.Number("dwNewSize", e.dwNewSize);
    f.Checksum("dwOldChecksum", e.dwOldChecksum);
    f.Checksum("dwNewChecksum", e.dwNewChecksum);
    f.Number("dwOldTime", e.dwOldTime);
    f.Number("dwNewTime", e.dwNewTime);
    f.Number("dwPatchCount", e.dwPatchCount);
    if (const zfix::ComponentArchive* c = zfix::ComponentOfEntry(name)) f.Text("component", c->what);
    auto uit = fix.updates.find(n);
    if (uit == fix.updates.end() || !uit->second.present) {
      f.Raw("payload", json ? "null" : "none");
    } else {
      f.Number("payloadSize", uit->second.bytes.size());
      f.Number("payloadUnpacked", StoredSize(uit->second));
      AddStreamSetting(f, "payload", uit->second);
    }
    entries.push_back(f.Done());
  }
  for (const auto& s : fix.strings) {
    Fields f(json, 4);
    f.Number("id", s.first);
    f.Text("text", s.second);
    strings.push_back(f.Done());
  }
  for (const auto& c : fix.carried) {
    Fields f(json, 4);
    f.Text("type", c.first);
    if (!c.second.present) {
      f.Raw("size", json ? "null" : "missing");
    } else {
      f.Number("size", c.second.bytes.size());
      if (c.first != zfix::RESTYPE_TOOLENTRY) {
        f.Number("unpacked", StoredSize(c.second));
        AddStreamSetting(f, "", c.second);
      }
    }
    carried.push_back(f.Done());
  }

  auto list = [&](const char* name, const std::vector<std::string>& items) {
    std::string s;
    if (json) {
      s = JsonText(name) + ": [";
      for (size_t i = 0; i < items.size(); ++i) s += (i ? ",\n    " : "\n    ") + items[i];
      return s + (items.empty() ? "]" : "\n  ]");
    }
    s = std::string(name) + ":\n";
    for (const std::string& item : items) s += item + "\n";
    return s;
  };
  Fields signature(json, 2);
  signature.Raw("signed", fix.signedFile ? (json ? "true" : "yes") : (json ? "false" : "no"));
  if (fix.signedFile) {
    signature.Number("certificateTableOffset", fix.signatureOffset);
    signature.Number("certificateTableSize", fix.signatureSize);
  }
  if (json) {
    *out = "{\n  \"header\": " + head.Done() + ",\n  " + list("checksums", checksums) + ",\n  " + list("files", files) +
           ",\n  " + list("entries", entries) + ",\n  " + list("strings", strings) + ",\n  " + list("carried", carried) +
           ",\n  \"signature\": " + signature.Done() + "\n}\n";
  } else {
    *out = "header:\n" + head.Done() + "\n" + list("checksums", checksums) + "\n" + list("files", files) + "\n" +
           list("entries", entries) + "\n" + list("strings", strings) + "\n" + list("carried", carried) + "\nsignature:\n" +
           signature.Done();
  }
  return true;
}

}  // namespace zfixbuild
