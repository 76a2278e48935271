// Fuzz entry point: arbitrary bytes read as a script XML file, every node and
// attribute looked at; each text and attribute value read is written back
// through the script XML writer and must read back the same.
#include <IFileSystem.h>
#include <IWriteFile.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/file_access.h"
#include "fuzz_seeds.h"
#include "script/script_xml_io.h"

namespace {

// Texts the writer passes through unchanged: no NUL (the writer's interface
// ends texts there) and no surrogate code points (two of them written in a
// row read back as one character).
bool writable(const std::wstring& text) {
  for (wchar_t c : text) {
    if (c == L'\0' || (c >= 0xD800 && c <= 0xDFFF))
      return false;
  }
  return true;
}

// Writes <v a="value">text</v> and reads the value and the text back.
void roundTrip(const std::wstring& value, const std::wstring& text) {
  std::vector<char> memory(64 + 24 * (value.size() + text.size()));
  irr::io::IWriteFile* file = fileSystem()->createMemoryWriteFile(memory.data(), static_cast<irr::s32>(memory.size()),
                                                                  "fuzz.xml");
  auto* writer = new ScriptXmlWriter(file);
  writer->writeElement(L"v", false, L"a", value.c_str());
  writer->writeText(text.c_str());
  writer->writeClosingTag(L"v");
  const long written = file->getPos();
  writer->drop();
  file->drop();

  ScriptXmlReader reader(std::string(memory.data(), static_cast<size_t>(written)));
  if (!reader.read() || reader.getNodeType() != irr::io::EXN_ELEMENT || value != reader.getAttributeValueSafe(L"a"))
    std::abort();
  bool blank = true;
  for (wchar_t c : text)
    blank = blank && (c == L' ' || c == L'\t' || c == L'\n' || c == L'\r');
  if (!blank && (!reader.read() || reader.getNodeType() != irr::io::EXN_TEXT || text != reader.getNodeData()))
    std::abort();
  if (!reader.read() || reader.getNodeType() != irr::io::EXN_ELEMENT_END || reader.read() || reader.takeMalformed())
    std::abort();
}

}  // namespace

extern "C" void corvaneFuzzSeeds(std::vector<std::vector<uint8_t>>* seeds) {
  const std::string text =
      "<?xml version=\"1.0\"?>\n<units count=\"2\" kind='a&amp;b'>\n <unit name=\"x &lt; y\"/>text &quot;q&quot;"
      "<!-- note --><![CDATA[raw <&>]]><!DOCTYPE d></units>";
  pushText(seeds, text);
  pushText(seeds, utf16leWithMark(text));
  pushText(seeds, "\xEF\xBB\xBF<a b=\"\xC3\xA9\">\xE4\xB8\xAD</a>");
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ScriptXmlReader reader(std::string(reinterpret_cast<const char*>(data), size));
  for (int nodes = 0; nodes < 10000 && reader.read(); ++nodes) {
    const std::wstring name = reader.getNodeName();
    std::wstring lastValue;
    for (int i = -1; i <= static_cast<int>(reader.getAttributeCount()); ++i) {
      const wchar_t* attribute = reader.getAttributeName(i);
      const wchar_t* value = reader.getAttributeValue(i);
      if ((attribute == nullptr) != (value == nullptr))
        std::abort();
      if (attribute != nullptr)
        reader.getAttributeValue(attribute);
      if (value != nullptr)
        lastValue = value;
      reader.getAttributeValueAsFloat(i);
      reader.getAttributeValueAsInt(i);
    }
    if (reader.getNodeType() == irr::io::EXN_TEXT && writable(name) && writable(lastValue))
      roundTrip(lastValue, name);
  }
  reader.takeMalformed();
  return 0;
}
