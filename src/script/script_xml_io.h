// The XML reader and writer that scripts use through `XMLReader` and
// `XMLWriter`, on the engine's XML interfaces.
//
// The writer writes UTF-16LE, beginning with its byte-order mark when the
// first content is written, so the reader always reads back what was
// written, header or not; a writer that is given nothing writes nothing.
// Text and attribute values have & < > " ' written as entities; comments
// are written as they are, but with a blank put after a '-' that follows
// another and after a last '-', so that they read back as written otherwise.
//
// The reader takes the whole file at creation: UTF-32 or UTF-16 with their
// byte-order marks, UTF-8 (with or without its mark), else single bytes as
// Latin-1. Nodes come in document order: "<?...?>" is an unknown node,
// "<!--...-->" a comment (as is any other "<!...>"), "<![CDATA[...]]>" a
// CDATA node, elements with their attributes (an element closed by "/>" is
// empty and has no end node), element ends, and text between markup unless
// it is only blanks. The five entities above are decoded in text and
// attribute values. Markup cut off by the end of the text ends the document
// as malformed; nothing is ever read beyond the text.
#pragma once

#include <IXMLReader.h>
#include <IXMLWriter.h>

#include <string>
#include <utility>
#include <vector>

namespace irr {
namespace io {
class IWriteFile;
}  // namespace io
}  // namespace irr

class ScriptXmlReader : public irr::io::IXMLReader {
 public:
  // Reads the file whose bytes are `bytes`, as described above.
  explicit ScriptXmlReader(const std::string& bytes);

  bool read() override;
  irr::io::EXML_NODE getNodeType() const override { return type_; }
  unsigned int getAttributeCount() const override { return static_cast<unsigned>(attributes_.size()); }
  const wchar_t* getAttributeName(int index) const override;
  const wchar_t* getAttributeValue(int index) const override;
  const wchar_t* getAttributeValue(const wchar_t* name) const override;
  const wchar_t* getAttributeValueSafe(const wchar_t* name) const override;
  int getAttributeValueAsInt(const wchar_t* name) const override;
  int getAttributeValueAsInt(int index) const override;
  float getAttributeValueAsFloat(const wchar_t* name) const override;
  float getAttributeValueAsFloat(int index) const override;
  // The element name, or the text of a text, comment or CDATA node.
  const wchar_t* getNodeName() const override { return name_.c_str(); }
  const wchar_t* getNodeData() const override { return name_.c_str(); }
  bool isEmptyElement() const override { return empty_; }
  irr::io::ETEXT_FORMAT getSourceFormat() const override { return sourceFormat_; }
  irr::io::ETEXT_FORMAT getParserFormat() const override { return irr::io::ETF_UTF32_LE; }

  // True once after read() stopped at malformed markup.
  bool takeMalformed();

 private:
  using Attribute = std::pair<std::wstring, std::wstring>;

  void setNode(irr::io::EXML_NODE type, std::wstring name);
  // Each returns false when the markup at the position is cut off.
  bool readMarkup();
  bool readDelimited(size_t start, const wchar_t* end, irr::io::EXML_NODE type);
  bool readClosingTag();
  bool readElement();
  bool fail();

  std::wstring text_;
  size_t position_ = 0;
  irr::io::ETEXT_FORMAT sourceFormat_ = irr::io::ETF_ASCII;
  irr::io::EXML_NODE type_ = irr::io::EXN_NONE;
  std::wstring name_;
  bool empty_ = false;
  std::vector<Attribute> attributes_;
  bool malformed_ = false;
};

class ScriptXmlWriter : public irr::io::IXMLWriter {
 public:
  // Writes to `file` (grabbed; null: writes nothing).
  explicit ScriptXmlWriter(irr::io::IWriteFile* file);
  ~ScriptXmlWriter() override;

  void writeXMLHeader() override;
  void writeElement(const wchar_t* name, bool empty = false, const wchar_t* attr1Name = nullptr,
                    const wchar_t* attr1Value = nullptr, const wchar_t* attr2Name = nullptr,
                    const wchar_t* attr2Value = nullptr, const wchar_t* attr3Name = nullptr,
                    const wchar_t* attr3Value = nullptr, const wchar_t* attr4Name = nullptr,
                    const wchar_t* attr4Value = nullptr, const wchar_t* attr5Name = nullptr,
                    const wchar_t* attr5Value = nullptr) override;
  void writeElement(const wchar_t* name, bool empty, irr::core::array<irr::core::stringw>& names,
                    irr::core::array<irr::core::stringw>& values) override;
  void writeComment(const wchar_t* comment) override;
  void writeClosingTag(const wchar_t* name) override;
  void writeText(const wchar_t* text) override;
  void writeLineBreak() override;

  // Lets go of the file; later writes do nothing. Owners of a file's memory
  // call it before freeing that memory, in case a script kept the writer.
  void close();

 private:
  // Appends `text`, with markup characters as entities when `escape`.
  void append(const wchar_t* text, bool escape);
  void appendAttribute(const wchar_t* name, const wchar_t* value);
  void flush();

  irr::io::IWriteFile* file_;
  bool started_ = false;  // byte-order mark written
  std::string pending_;   // UTF-16LE bytes of the call in progress
};

// True when the reader's node (an element or its end) is named `name`
// exactly.
bool isXmlElement(const ScriptXmlReader& reader, const wchar_t* name);
