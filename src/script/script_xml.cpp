#include "script/script_xml.h"

#include <IFileSystem.h>
#include <IWriteFile.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/file_access.h"
#include "core/log.h"
#include "core/utf8.h"
#include "platform/directory.h"
#include "script/script_engine.h"
#include "script/script_registration.h"
#include "script/script_string.h"
#include "script/script_xml_io.h"

using namespace AngelScript;

namespace {

const char kServerFolder[] = "Game Data/Script Data/";
const char kClientFolder[] = "Script Data/";
const char kCustomDirectory[] =
    "Cannot create XML file in a custom directory, specify only the name without an extension.";
const char kListOutOfBounds[] = "Out of bounds index when getting file name from xml file list";
const char16_t kForbidden[] = u".:%{}?";

// The folder for the script that is calling.
const char* callerFolder() {
  asIScriptContext* context = asGetActiveContext();
  return scriptDataFolder(context != nullptr ? context->GetEngine() : nullptr);
}

// A script's file name as a narrow path below the script data folder, "\"
// made "/"; false when the name is refused.
bool scriptFileName(const ScriptString& name, std::string& out) {
  std::u16string units = name.text;
  for (char16_t& unit : units) {
    if (unit == u'\0' || std::char_traits<char16_t>::find(kForbidden, 6, unit) != nullptr)
      return false;
    if (unit == u'\\')
      unit = u'/';
  }
  const irr::core::stringw wide = utf16ToWide(units);
  out = wideToUtf8(std::wstring(wide.c_str(), wide.size()));
  return true;
}

ScriptString* newText(const wchar_t* text) { return new ScriptString(irr::core::stringw(text != nullptr ? text : L"")); }

irr::core::stringw wideOf(const ScriptString& text) { return text.toStringw(); }

// Creates `folder` (a path ending with '/') and the folders above it.
void createFolder(const std::string& folder) {
  std::string path = folder;
  while (!path.empty() && path.back() == '/')
    path.pop_back();
  if (!path.empty())
    plat::createDirectories(path);
}

// ---------------------------------------------------------------------------
// XMLReader

ScriptXmlReader* openReader(const ScriptString& name) {
  std::string file;
  if (!scriptFileName(name, file)) {
    raiseScriptException(kCustomDirectory);
    return nullptr;
  }
  const std::string path = std::string(callerFolder()) + file + ".xml";
  // A null from this factory would stop the script with a null-pointer
  // exception (see script_xml.h), so a file that cannot be read gives a
  // reader without nodes.
  std::string bytes;
  readWholeFile(path.c_str(), bytes);
  return new ScriptXmlReader(bytes);
}

void readerAddRef(ScriptXmlReader* reader) { reader->grab(); }
void readerRelease(ScriptXmlReader* reader) { reader->drop(); }

bool readerAdvance(ScriptXmlReader* reader) {
  try {
    if (reader->read())
      return true;
  } catch (...) {
    logError("Error reading XML file. Cannot continue loading file.\n");
    return false;
  }
  if (reader->takeMalformed())
    logError("Error reading XML file. Cannot continue loading file.\n");
  return false;
}

int readerNodeType(ScriptXmlReader* reader) { return static_cast<int>(reader->getNodeType()); }
ScriptString* readerNodeName(ScriptXmlReader* reader) { return newText(reader->getNodeName()); }
ScriptString* readerNodeData(ScriptXmlReader* reader) { return newText(reader->getNodeData()); }
unsigned readerAttributeCount(ScriptXmlReader* reader) { return reader->getAttributeCount(); }

ScriptString* readerAttributeName(ScriptXmlReader* reader, unsigned index) {
  return newText(index < reader->getAttributeCount() ? reader->getAttributeName(static_cast<int>(index)) : nullptr);
}

ScriptString* readerAttributeValueAt(ScriptXmlReader* reader, int index) {
  return newText(reader->getAttributeValue(index));
}

ScriptString* readerAttributeValue(ScriptXmlReader* reader, const ScriptString& name) {
  return newText(reader->getAttributeValue(wideOf(name).c_str()));
}

bool readerHasAttribute(ScriptXmlReader* reader, const ScriptString& name) {
  return reader->getAttributeValue(wideOf(name).c_str()) != nullptr;
}

// ---------------------------------------------------------------------------
// XMLWriter

ScriptXmlWriter* openWriter(const ScriptString& name) {
  std::string file;
  if (!scriptFileName(name, file)) {
    raiseScriptException(kCustomDirectory);
    return nullptr;
  }
  const std::string folder = callerFolder();
  createFolder(folder);
  const size_t slash = file.rfind('/');
  if (slash != std::string::npos)
    createFolder(folder + file.substr(0, slash + 1));
  const std::string path = folder + file + ".xml";
  irr::io::IWriteFile* created = nullptr;
  {
    const FileSystemAccess access;
    if (access.get() != nullptr)
      created = access->createAndWriteFile(path.c_str(), false);
  }
  // As for readers, never null: a file that cannot be made gives a writer
  // that writes nothing, and the log says so.
  if (created == nullptr)
    logError("Could not create the XML file \"%s\"\n", path.c_str());
  auto* writer = new ScriptXmlWriter(created);
  if (created != nullptr)
    created->drop();
  return writer;
}

void writerAddRef(ScriptXmlWriter* writer) { writer->grab(); }
void writerRelease(ScriptXmlWriter* writer) { writer->drop(); }

// An element with the attribute pairs in `texts` (names and values
// alternating, at most five pairs).
void addElementWith(ScriptXmlWriter* writer, const ScriptString& name, bool empty,
                    std::initializer_list<const ScriptString*> texts) {
  irr::core::stringw wide[10];
  const wchar_t* pointers[10] = {};
  size_t count = 0;
  for (const ScriptString* text : texts) {
    wide[count] = wideOf(*text);
    pointers[count] = wide[count].c_str();
    ++count;
  }
  writer->writeElement(wideOf(name).c_str(), empty, pointers[0], pointers[1], pointers[2], pointers[3], pointers[4],
                       pointers[5], pointers[6], pointers[7], pointers[8], pointers[9]);
}

using Text = const ScriptString&;

void addElement0(ScriptXmlWriter* w, Text name, bool empty) { addElementWith(w, name, empty, {}); }
void addElement1(ScriptXmlWriter* w, Text name, bool empty, Text n1, Text v1) {
  addElementWith(w, name, empty, {&n1, &v1});
}
void addElement2(ScriptXmlWriter* w, Text name, bool empty, Text n1, Text v1, Text n2, Text v2) {
  addElementWith(w, name, empty, {&n1, &v1, &n2, &v2});
}
void addElement3(ScriptXmlWriter* w, Text name, bool empty, Text n1, Text v1, Text n2, Text v2, Text n3, Text v3) {
  addElementWith(w, name, empty, {&n1, &v1, &n2, &v2, &n3, &v3});
}
void addElement4(ScriptXmlWriter* w, Text name, bool empty, Text n1, Text v1, Text n2, Text v2, Text n3, Text v3,
                 Text n4, Text v4) {
  addElementWith(w, name, empty, {&n1, &v1, &n2, &v2, &n3, &v3, &n4, &v4});
}
void addElement5(ScriptXmlWriter* w, Text name, bool empty, Text n1, Text v1, Text n2, Text v2, Text n3, Text v3,
                 Text n4, Text v4, Text n5, Text v5) {
  addElementWith(w, name, empty, {&n1, &v1, &n2, &v2, &n3, &v3, &n4, &v4, &n5, &v5});
}

void writerCloseTag(ScriptXmlWriter* w, Text name) { w->writeClosingTag(wideOf(name).c_str()); }
void writerComment(ScriptXmlWriter* w, Text text) { w->writeComment(wideOf(text).c_str()); }
void writerText(ScriptXmlWriter* w, Text text) { w->writeText(wideOf(text).c_str()); }
void writerLineBreak(ScriptXmlWriter* w) { w->writeLineBreak(); }
void writerHeader(ScriptXmlWriter* w) { w->writeXMLHeader(); }

// ---------------------------------------------------------------------------
// XMLList

class ScriptXmlList {
 public:
  void addRef() { ++refs_; }
  void release() {
    if (--refs_ == 0)
      delete this;
  }
  unsigned count() const { return static_cast<unsigned>(names.size()); }
  ScriptString* name(unsigned index) const {
    if (index >= names.size()) {
      raiseScriptException(kListOutOfBounds);
      return nullptr;
    }
    return new ScriptString(names[index]);
  }

  std::vector<std::u16string> names;

 private:
  int refs_ = 1;
};

bool endsWithXml(const std::string& name) {
  if (name.size() < 4)
    return false;
  std::string extension = name.substr(name.size() - 4);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
  return extension == ".xml";
}

ScriptXmlList* openList(const ScriptString& name) {
  auto* list = new ScriptXmlList();
  std::string folder;
  if (!scriptFileName(name, folder))
    return list;
  std::vector<plat::DirectoryEntry> entries;
  if (!plat::listDirectory(std::string(callerFolder()) + folder, entries))
    return list;
  std::sort(entries.begin(), entries.end(),
            [](const plat::DirectoryEntry& a, const plat::DirectoryEntry& b) { return a.name < b.name; });
  const std::wstring prefix = utf8ToWide(folder) + L"/";
  for (const plat::DirectoryEntry& entry : entries) {
    if (entry.isDirectory || !endsWithXml(entry.name))
      continue;
    const std::wstring full = prefix + utf8ToWide(entry.name);
    list->names.push_back(wideToUtf16(irr::core::stringw(full.c_str())));
  }
  return list;
}

void listAddRef(ScriptXmlList* list) { list->addRef(); }
void listRelease(ScriptXmlList* list) { list->release(); }
unsigned listCount(ScriptXmlList* list) { return list->count(); }
ScriptString* listName(ScriptXmlList* list, unsigned index) { return list->name(index); }

// ---------------------------------------------------------------------------
// Registration

struct Method {
  const char* type;
  const char* declaration;
  asSFuncPtr function;
};

const Method kMethods[] = {
    {"XMLReader", "bool advance()", asFUNCTION(readerAdvance)},
    {"XMLReader", "XML_Node getNodeType()", asFUNCTION(readerNodeType)},
    {"XMLReader", "string@ getNodeName()", asFUNCTION(readerNodeName)},
    {"XMLReader", "string@ getNodeData()", asFUNCTION(readerNodeData)},
    {"XMLReader", "uint getAttributeCount()", asFUNCTION(readerAttributeCount)},
    {"XMLReader", "string@ getAttributeName(uint)", asFUNCTION(readerAttributeName)},
    {"XMLReader", "string@ getAttributeValue(int)", asFUNCTION(readerAttributeValueAt)},
    {"XMLReader", "string@ getAttributeValue(const string &)", asFUNCTION(readerAttributeValue)},
    {"XMLReader", "bool hasAttribute(const string &)", asFUNCTION(readerHasAttribute)},
    {"XMLWriter", "void addElement(const string &, bool)", asFUNCTION(addElement0)},
    {"XMLWriter", "void addElement(const string &, bool, const string &, const string &)", asFUNCTION(addElement1)},
    {"XMLWriter",
     "void addElement(const string &, bool, const string &, const string &, const string &, const string &)",
     asFUNCTION(addElement2)},
    {"XMLWriter",
     "void addElement(const string &, bool, const string &, const string &, const string &, const string &, "
     "const string &, const string &)",
     asFUNCTION(addElement3)},
    {"XMLWriter",
     "void addElement(const string &, bool, const string &, const string &, const string &, const string &, "
     "const string &, const string &, const string &, const string &)",
     asFUNCTION(addElement4)},
    {"XMLWriter",
     "void addElement(const string &, bool, const string &, const string &, const string &, const string &, "
     "const string &, const string &, const string &, const string &, const string &, const string &)",
     asFUNCTION(addElement5)},
    {"XMLWriter", "void closeTag(const string& in)", asFUNCTION(writerCloseTag)},
    {"XMLWriter", "void addComment(const string& in)", asFUNCTION(writerComment)},
    {"XMLWriter", "void addText(const string& in)", asFUNCTION(writerText)},
    {"XMLWriter", "void addLineBreak()", asFUNCTION(writerLineBreak)},
    {"XMLWriter", "void createHeader()", asFUNCTION(writerHeader)},
    {"XMLList", "uint getFileCount()", asFUNCTION(listCount)},
    {"XMLList", "string@ getFileName(uint)", asFUNCTION(listName)},
};

struct RefType {
  const char* name;
  const char* factory;
  asSFuncPtr create;
  asSFuncPtr addRef;
  asSFuncPtr release;
};

const RefType kTypes[] = {
    {"XMLReader", "XMLReader@ f(const string &)", asFUNCTION(openReader), asFUNCTION(readerAddRef),
     asFUNCTION(readerRelease)},
    {"XMLWriter", "XMLWriter@ f(const string &)", asFUNCTION(openWriter), asFUNCTION(writerAddRef),
     asFUNCTION(writerRelease)},
    {"XMLList", "XMLList@ f(const string &)", asFUNCTION(openList), asFUNCTION(listAddRef), asFUNCTION(listRelease)},
};

const std::pair<const char*, int> kNodeKinds[] = {
    {"XN_None", irr::io::EXN_NONE},       {"XN_Element", irr::io::EXN_ELEMENT}, {"XN_Element_End", irr::io::EXN_ELEMENT_END},
    {"XN_Text", irr::io::EXN_TEXT},       {"XN_Comment", irr::io::EXN_COMMENT}, {"XN_CData", irr::io::EXN_CDATA},
    {"XN_Unknown", irr::io::EXN_UNKNOWN},
};

void registerOn(asIScriptEngine* engine) {
  if (engine == nullptr)
    return;
  checked(engine).RegisterEnum("XML_Node");
  for (const auto& kind : kNodeKinds)
    checked(engine).RegisterEnumValue("XML_Node", kind.first, kind.second);
  for (const RefType& type : kTypes)
    checked(engine).RegisterObjectType(type.name, 0, asOBJ_REF);
  for (const RefType& type : kTypes) {
    checked(engine).RegisterObjectBehaviour(type.name, asBEHAVE_FACTORY, type.factory, type.create, asCALL_CDECL);
    checked(engine).RegisterObjectBehaviour(type.name, asBEHAVE_ADDREF, "void f()", type.addRef, asCALL_CDECL_OBJFIRST);
    checked(engine).RegisterObjectBehaviour(type.name, asBEHAVE_RELEASE, "void f()", type.release,
                                            asCALL_CDECL_OBJFIRST);
  }
  for (const Method& method : kMethods)
    checked(engine).RegisterObjectMethod(method.type, method.declaration, method.function, asCALL_CDECL_OBJFIRST);
}

}  // namespace

const char* scriptDataFolder(asIScriptEngine* engine) {
  return engine != nullptr && engine == serverScriptEngine ? kServerFolder : kClientFolder;
}

void registerXmlBindings() {
  registerOn(clientScriptEngine);
  registerOn(serverScriptEngine);
}
