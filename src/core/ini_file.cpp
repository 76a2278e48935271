#include "core/ini_file.h"

#include <IReadFile.h>
#include <IWriteFile.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/log.h"
#include "core/text_trim.h"
#include "platform/file.h"

namespace {

irr::core::stringc range(const char* text, std::size_t begin, std::size_t end) {
  return irr::core::stringc(text + begin, static_cast<irr::u32>(end - begin));
}

}  // namespace

IniFile IniFile::parse(const char* text, std::size_t length) {
  IniFile store;
  Section* current = nullptr;
  std::size_t lineStart = 0;
  while (lineStart < length) {
    const void* feed = std::memchr(text + lineStart, '\n', length - lineStart);
    const std::size_t lineEnd = feed ? static_cast<const char*>(feed) - text + 1 : length;
    std::size_t begin = lineStart;
    std::size_t end = lineEnd;
    lineStart = lineEnd;

    for (std::size_t i = begin; i + 1 < end; ++i) {
      if (text[i] == '/' && text[i + 1] == '/') {
        end = i;
        break;
      }
    }
    trimRange(text, begin, end);
    if (end - begin <= 2)
      continue;

    if (text[begin] == '[' && text[end - 1] == ']') {
      store.sections_.push_back(Section{range(text, begin + 1, end - 1), {}});
      current = &store.sections_.back();
      continue;
    }
    if (!current)
      continue;
    const void* equals = std::memchr(text + begin, '=', end - begin);
    if (!equals)
      continue;
    const std::size_t split = static_cast<const char*>(equals) - text;
    if (split == begin || split == end - 1)
      continue;
    std::size_t keyBegin = begin, keyEnd = split;
    std::size_t valueBegin = split + 1, valueEnd = end;
    trimRange(text, keyBegin, keyEnd);
    trimRange(text, valueBegin, valueEnd);
    if (keyBegin == keyEnd || valueBegin == valueEnd)
      continue;
    Entry::getOrAdd(current->keys, range(text, keyBegin, keyEnd)).value = range(text, valueBegin, valueEnd);
  }
  return store;
}

IniFile IniFile::read(irr::io::IReadFile* file) {
  if (!file)
    return IniFile();
  const long size = file->getSize();
  if (size <= 0)
    return IniFile();
  std::vector<char> bytes(static_cast<std::size_t>(size));
  const irr::s32 got = file->read(bytes.data(), static_cast<irr::u32>(bytes.size()));
  if (got <= 0)
    return IniFile();
  return parse(bytes.data(), static_cast<std::size_t>(got));
}

IniFile IniFile::readFile(const std::string& path, std::string* error) {
  if (error)
    error->clear();
  std::string bytes;
  if (const int failure = plat::readRegularFile(path, bytes, kMaxSettingsFileBytes)) {
    if (error && failure != ENOENT)
      *error = failure == EFBIG ? "larger than " + std::to_string(kMaxSettingsFileBytes) + " bytes"
                                : plat::errorText(failure);
    return IniFile();
  }
  return parse(bytes.data(), bytes.size());
}

IniFile::Section* IniFile::findSection(const irr::core::stringc& name) {
  for (Section& section : sections_)
    if (section.name.size() == name.size() && std::memcmp(section.name.c_str(), name.c_str(), name.size()) == 0)
      return &section;
  return nullptr;
}

irr::core::stringc IniFile::getValue(const irr::core::stringc& section, const irr::core::stringc& key,
                                     const irr::core::stringc& defaultValue, bool create) {
  Section* found = findSection(section);
  if (found) {
    const irr::s32 index = Entry::find(found->keys, key);
    if (index >= 0)
      return found->keys[index].value;
  }
  if (create) {
    if (!found) {
      sections_.push_back(Section{section, {}});
      found = &sections_.back();
    }
    Entry::getOrAdd(found->keys, key).value = defaultValue;
    changed_ = true;
  }
  return defaultValue;
}

void IniFile::setValue(const irr::core::stringc& section, const irr::core::stringc& key,
                       const irr::core::stringc& value) {
  Section* found = findSection(section);
  if (!found) {
    sections_.push_back(Section{section, {}});
    found = &sections_.back();
  }
  Entry::getOrAdd(found->keys, key).value = value;
  changed_ = true;
}

std::string IniFile::format() const {
  std::string text;
  auto add = [&text](const irr::core::stringc& s) { text.append(s.c_str(), s.size()); };
  for (const Section& section : sections_) {
    text += '[';
    add(section.name);
    text += "]\r\n";
    for (irr::u32 i = 0; i < section.keys.size(); ++i) {
      add(section.keys[i].name);
      text += " = ";
      add(section.keys[i].value);
      text += "\r\n";
    }
    text += "\r\n";
  }
  return text;
}

bool IniFile::write(irr::io::IWriteFile* file) {
  if (!file)
    return false;
  const std::string text = format();
  const irr::s32 written = text.empty() ? 0 : file->write(text.data(), static_cast<irr::u32>(text.size()));
  if (written != static_cast<irr::s32>(text.size()))
    return false;
  changed_ = false;
  return true;
}

bool IniFile::writeFile(const std::string& path) {
  const std::string text = format();
  if (const int error = plat::replaceFile(path, text.data(), text.size())) {
    logError("Could not write '%s': %s\n", path.c_str(), plat::errorText(error).c_str());
    return false;
  }
  changed_ = false;
  return true;
}

void IniFile::clear() { sections_.clear(); }
