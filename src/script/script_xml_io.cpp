#include "script/script_xml_io.h"

#include <IWriteFile.h>
#include <fast_atof.h>

#include <cstring>
#include <cwchar>

#include "core/utf16.h"
#include "core/utf8.h"

using irr::io::EXML_NODE;

namespace {

constexpr uint32_t kReplacement = 0xFFFD;

struct Entity {
  wchar_t character;
  const wchar_t* name;  // without '&' and ';'
};
constexpr Entity kEntities[] = {
    {L'&', L"amp"}, {L'<', L"lt"}, {L'>', L"gt"}, {L'"', L"quot"}, {L'\'', L"apos"},
};

bool isBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r'; }

// `raw` with the five entities decoded; anything else stays as it is.
std::wstring decodeEntities(const std::wstring& raw) {
  std::wstring out;
  out.reserve(raw.size());
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == L'&') {
      bool decoded = false;
      for (const Entity& entity : kEntities) {
        const size_t length = std::wcslen(entity.name);
        if (raw.compare(i + 1, length, entity.name) == 0 && i + 1 + length < raw.size() &&
            raw[i + 1 + length] == L';') {
          out += entity.character;
          i += length + 1;
          decoded = true;
          break;
        }
      }
      if (decoded)
        continue;
    }
    out += raw[i];
  }
  return out;
}

uint32_t readUnit16(const unsigned char* at, bool bigEndian) {
  return bigEndian ? (uint32_t(at[0]) << 8 | at[1]) : (uint32_t(at[1]) << 8 | at[0]);
}

uint32_t readUnit32(const unsigned char* at, bool bigEndian) {
  return bigEndian ? (uint32_t(at[0]) << 24 | uint32_t(at[1]) << 16 | uint32_t(at[2]) << 8 | at[3])
                   : (uint32_t(at[3]) << 24 | uint32_t(at[2]) << 16 | uint32_t(at[1]) << 8 | at[0]);
}

std::wstring decodeUtf16Bytes(const unsigned char* bytes, size_t count, bool bigEndian) {
  std::wstring out;
  out.reserve(count / 2);
  decodeUtf16(
      count / 2, [bytes, bigEndian](size_t i) { return readUnit16(bytes + 2 * i, bigEndian); },
      [&out](wchar_t c) { out += c; });
  return out;
}

std::wstring decodeUtf32(const unsigned char* bytes, size_t count, bool bigEndian) {
  std::wstring out;
  out.reserve(count / 4);
  for (size_t i = 0; i + 3 < count; i += 4) {
    const uint32_t code = readUnit32(bytes + i, bigEndian);
    out += static_cast<wchar_t>(code > 0x10FFFF ? kReplacement : code);
  }
  return out;
}

void appendUnit(std::string& out, uint32_t unit) {
  out += static_cast<char>(unit & 0xFF);
  out += static_cast<char>(unit >> 8);
}

}  // namespace

// ---------------------------------------------------------------------------
// Reader

ScriptXmlReader::ScriptXmlReader(const std::string& bytes) {
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t size = bytes.size();
  auto startsWith = [&](std::initializer_list<unsigned char> mark) {
    return size >= mark.size() && std::memcmp(data, mark.begin(), mark.size()) == 0;
  };
  if (startsWith({0xFF, 0xFE, 0x00, 0x00})) {
    sourceFormat_ = irr::io::ETF_UTF32_LE;
    text_ = decodeUtf32(data + 4, size - 4, false);
  } else if (startsWith({0x00, 0x00, 0xFE, 0xFF})) {
    sourceFormat_ = irr::io::ETF_UTF32_BE;
    text_ = decodeUtf32(data + 4, size - 4, true);
  } else if (startsWith({0xFF, 0xFE})) {
    sourceFormat_ = irr::io::ETF_UTF16_LE;
    text_ = decodeUtf16Bytes(data + 2, size - 2, false);
  } else if (startsWith({0xFE, 0xFF})) {
    sourceFormat_ = irr::io::ETF_UTF16_BE;
    text_ = decodeUtf16Bytes(data + 2, size - 2, true);
  } else if (startsWith({0xEF, 0xBB, 0xBF})) {
    sourceFormat_ = irr::io::ETF_UTF8;
    text_ = utf8ToWide(bytes.substr(3));
  } else {
    text_ = utf8ToWide(bytes);
  }
}

void ScriptXmlReader::setNode(EXML_NODE type, std::wstring name) {
  type_ = type;
  name_ = std::move(name);
  empty_ = false;
  attributes_.clear();
}

bool ScriptXmlReader::fail() {
  position_ = text_.size();
  setNode(irr::io::EXN_NONE, std::wstring());
  malformed_ = true;
  return false;
}

bool ScriptXmlReader::takeMalformed() {
  const bool was = malformed_;
  malformed_ = false;
  return was;
}

bool ScriptXmlReader::read() {
  for (;;) {
    if (position_ >= text_.size())
      return false;
    const size_t open = text_.find(L'<', position_);
    if (open == std::wstring::npos) {
      // Text after the last markup belongs to no element.
      position_ = text_.size();
      return false;
    }
    if (open > position_) {
      const size_t start = position_;
      position_ = open;
      bool blank = true;
      for (size_t i = start; i < open && blank; ++i)
        blank = isBlank(text_[i]);
      if (!blank) {
        setNode(irr::io::EXN_TEXT, decodeEntities(text_.substr(start, open - start)));
        return true;
      }
    }
    return readMarkup();
  }
}

bool ScriptXmlReader::readMarkup() {
  const size_t at = position_;  // at '<'
  if (text_.compare(at, 4, L"<!--") == 0)
    return readDelimited(at + 4, L"-->", irr::io::EXN_COMMENT);
  if (text_.compare(at, 9, L"<![CDATA[") == 0)
    return readDelimited(at + 9, L"]]>", irr::io::EXN_CDATA);
  if (text_.compare(at, 2, L"<!") == 0)
    return readDelimited(at + 2, L">", irr::io::EXN_COMMENT);
  if (text_.compare(at, 2, L"<?") == 0) {
    if (!readDelimited(at + 2, L">", irr::io::EXN_UNKNOWN))
      return false;
    name_.clear();
    return true;
  }
  if (text_.compare(at, 2, L"</") == 0)
    return readClosingTag();
  return readElement();
}

bool ScriptXmlReader::readDelimited(size_t start, const wchar_t* end, EXML_NODE type) {
  const size_t close = text_.find(end, start);
  if (close == std::wstring::npos)
    return fail();
  setNode(type, text_.substr(start, close - start));
  position_ = close + std::wcslen(end);
  return true;
}

bool ScriptXmlReader::readClosingTag() {
  const size_t close = text_.find(L'>', position_ + 2);
  if (close == std::wstring::npos)
    return fail();
  size_t nameEnd = position_ + 2;
  while (nameEnd < close && !isBlank(text_[nameEnd]))
    ++nameEnd;
  setNode(irr::io::EXN_ELEMENT_END, text_.substr(position_ + 2, nameEnd - position_ - 2));
  position_ = close + 1;
  return true;
}

bool ScriptXmlReader::readElement() {
  const size_t size = text_.size();
  size_t at = position_ + 1;
  const size_t nameStart = at;
  while (at < size && !isBlank(text_[at]) && text_[at] != L'>' && text_[at] != L'/')
    ++at;
  setNode(irr::io::EXN_ELEMENT, text_.substr(nameStart, at - nameStart));

  for (;;) {
    while (at < size && isBlank(text_[at]))
      ++at;
    if (at >= size)
      return fail();
    const wchar_t c = text_[at];
    if (c == L'>') {
      position_ = at + 1;
      return true;
    }
    if (c == L'/') {
      if (at + 1 < size && text_[at + 1] == L'>') {
        empty_ = true;
        position_ = at + 2;
        return true;
      }
      ++at;  // a stray '/'
      continue;
    }
    // name [= value]
    const size_t attributeStart = at;
    while (at < size && !isBlank(text_[at]) && text_[at] != L'=' && text_[at] != L'>' && text_[at] != L'/')
      ++at;
    std::wstring attributeName = text_.substr(attributeStart, at - attributeStart);
    while (at < size && isBlank(text_[at]))
      ++at;
    if (at >= size)
      return fail();
    if (text_[at] != L'=') {
      if (attributeName.empty())
        ++at;  // a stray '=' or other character: skip it
      continue;  // an attribute without a value is dropped
    }
    ++at;
    while (at < size && isBlank(text_[at]))
      ++at;
    if (at >= size)
      return fail();
    std::wstring value;
    const wchar_t quote = text_[at];
    if (quote == L'"' || quote == L'\'') {
      const size_t close = text_.find(quote, at + 1);
      if (close == std::wstring::npos)
        return fail();
      value = decodeEntities(text_.substr(at + 1, close - at - 1));
      at = close + 1;
    } else {
      const size_t valueStart = at;
      while (at < size && !isBlank(text_[at]) && text_[at] != L'>')
        ++at;
      value = decodeEntities(text_.substr(valueStart, at - valueStart));
    }
    if (!attributeName.empty())
      attributes_.emplace_back(std::move(attributeName), std::move(value));
  }
}

const wchar_t* ScriptXmlReader::getAttributeName(int index) const {
  if (index < 0 || static_cast<size_t>(index) >= attributes_.size())
    return nullptr;
  return attributes_[static_cast<size_t>(index)].first.c_str();
}

const wchar_t* ScriptXmlReader::getAttributeValue(int index) const {
  if (index < 0 || static_cast<size_t>(index) >= attributes_.size())
    return nullptr;
  return attributes_[static_cast<size_t>(index)].second.c_str();
}

const wchar_t* ScriptXmlReader::getAttributeValue(const wchar_t* name) const {
  if (name == nullptr)
    return nullptr;
  for (const Attribute& attribute : attributes_) {
    if (attribute.first == name)
      return attribute.second.c_str();
  }
  return nullptr;
}

const wchar_t* ScriptXmlReader::getAttributeValueSafe(const wchar_t* name) const {
  const wchar_t* value = getAttributeValue(name);
  return value != nullptr ? value : L"";
}

namespace {

float toFloat(const wchar_t* value) {
  if (value == nullptr)
    return 0.0f;
  const irr::core::stringc narrow(value);
  return irr::core::fast_atof(narrow.c_str());
}

int toInt(const wchar_t* value) {
  if (value == nullptr)
    return 0;
  const irr::core::stringc narrow(value);
  return irr::core::strtol10(narrow.c_str());
}

}  // namespace

int ScriptXmlReader::getAttributeValueAsInt(const wchar_t* name) const { return toInt(getAttributeValue(name)); }
int ScriptXmlReader::getAttributeValueAsInt(int index) const { return toInt(getAttributeValue(index)); }
float ScriptXmlReader::getAttributeValueAsFloat(const wchar_t* name) const {
  return toFloat(getAttributeValue(name));
}
float ScriptXmlReader::getAttributeValueAsFloat(int index) const { return toFloat(getAttributeValue(index)); }

// ---------------------------------------------------------------------------
// Writer

ScriptXmlWriter::ScriptXmlWriter(irr::io::IWriteFile* file) : file_(file) {
  if (file_ != nullptr)
    file_->grab();
}

ScriptXmlWriter::~ScriptXmlWriter() { close(); }

void ScriptXmlWriter::close() {
  if (file_ != nullptr)
    file_->drop();
  file_ = nullptr;
}

void ScriptXmlWriter::append(const wchar_t* text, bool escape) {
  if (text == nullptr)
    return;
  for (; *text != L'\0'; ++text) {
    const wchar_t c = *text;
    if (escape) {
      const Entity* found = nullptr;
      for (const Entity& entity : kEntities) {
        if (entity.character == c)
          found = &entity;
      }
      if (found != nullptr) {
        appendUnit(pending_, L'&');
        for (const wchar_t* name = found->name; *name != L'\0'; ++name)
          appendUnit(pending_, static_cast<uint32_t>(*name));
        appendUnit(pending_, L';');
        continue;
      }
    }
    uint32_t code = static_cast<uint32_t>(c);
    if (code > 0x10FFFF)
      code = kReplacement;
    if (code > 0xFFFF) {
      code -= 0x10000;
      appendUnit(pending_, 0xD800 + (code >> 10));
      appendUnit(pending_, 0xDC00 + (code & 0x3FF));
    } else {
      appendUnit(pending_, code);
    }
  }
}

void ScriptXmlWriter::flush() {
  if (pending_.empty())
    return;
  if (file_ != nullptr) {
    if (!started_) {
      const unsigned char mark[2] = {0xFF, 0xFE};
      file_->write(mark, sizeof mark);
      started_ = true;
    }
    file_->write(pending_.data(), static_cast<irr::u32>(pending_.size()));
  }
  pending_.clear();
}

void ScriptXmlWriter::appendAttribute(const wchar_t* name, const wchar_t* value) {
  if (name == nullptr || value == nullptr)
    return;
  append(L" ", false);
  append(name, false);
  append(L"=\"", false);
  append(value, true);
  append(L"\"", false);
}

void ScriptXmlWriter::writeXMLHeader() {
  append(L"<?xml version=\"1.0\"?>\n", false);
  flush();
}

void ScriptXmlWriter::writeElement(const wchar_t* name, bool empty, const wchar_t* attr1Name,
                                   const wchar_t* attr1Value, const wchar_t* attr2Name, const wchar_t* attr2Value,
                                   const wchar_t* attr3Name, const wchar_t* attr3Value, const wchar_t* attr4Name,
                                   const wchar_t* attr4Value, const wchar_t* attr5Name, const wchar_t* attr5Value) {
  if (name == nullptr)
    return;
  append(L"<", false);
  append(name, false);
  appendAttribute(attr1Name, attr1Value);
  appendAttribute(attr2Name, attr2Value);
  appendAttribute(attr3Name, attr3Value);
  appendAttribute(attr4Name, attr4Value);
  appendAttribute(attr5Name, attr5Value);
  append(empty ? L" />" : L">", false);
  flush();
}

void ScriptXmlWriter::writeElement(const wchar_t* name, bool empty, irr::core::array<irr::core::stringw>& names,
                                   irr::core::array<irr::core::stringw>& values) {
  if (name == nullptr)
    return;
  append(L"<", false);
  append(name, false);
  for (irr::u32 i = 0; i < names.size() && i < values.size(); ++i)
    appendAttribute(names[i].c_str(), values[i].c_str());
  append(empty ? L" />" : L">", false);
  flush();
}

void ScriptXmlWriter::writeComment(const wchar_t* comment) {
  // Comments are not entity-decoded, so the text goes in as it is, but for
  // a blank after every '-' that follows another and after a last '-': a
  // comment may hold neither "--" nor end with '-'.
  std::wstring safe;
  for (const wchar_t* at = comment; at != nullptr && *at != L'\0'; ++at) {
    if (*at == L'-' && !safe.empty() && safe.back() == L'-')
      safe += L' ';
    safe += *at;
  }
  if (!safe.empty() && safe.back() == L'-')
    safe += L' ';
  append(L"<!--", false);
  append(safe.c_str(), false);
  append(L"-->", false);
  flush();
}

void ScriptXmlWriter::writeClosingTag(const wchar_t* name) {
  if (name == nullptr)
    return;
  append(L"</", false);
  append(name, false);
  append(L">", false);
  flush();
}

void ScriptXmlWriter::writeText(const wchar_t* text) {
  append(text, true);
  flush();
}

void ScriptXmlWriter::writeLineBreak() {
  append(L"\n", false);
  flush();
}

bool isXmlElement(const ScriptXmlReader& reader, const wchar_t* name) {
  return std::wcscmp(reader.getNodeName(), name) == 0;
}
