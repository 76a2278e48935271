#include "empire/empire_record.h"

#include <IWriteFile.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/common_strings.h"
#include "core/locks.h"
#include "core/post_load.h"
#include "design/build/build_rules.h"
#include "design/hull_list.h"
#include "empire/empire.h"
#include "empire/research/research_web.h"
#include "empire/traits.h"
#include "empire/treaty.h"
#include "script/script_xml_io.h"
#include "scriptapi/empire_ai.h"

using irr::core::stringc;
using irr::core::stringw;

namespace {

// First versions of the fields that came later.
constexpr int32_t kObsolescenceVersion = 10;
constexpr int32_t kShipSetVersion = 19;
constexpr int32_t kForeignLayoutsVersion = 29;
constexpr int32_t kMessageDetailsVersion = 33;
constexpr int32_t kRaceAndBitsVersion = 35;  // race texts, own bit and mask, traits

// Bits of the flags byte.
constexpr uint8_t kFlagPlayerControlled = 0x01;
constexpr uint8_t kFlagValid = 0x02;
constexpr uint8_t kFlagReserved = 0x04;

// The treaty markers: a treaty record follows, or the list ends.
constexpr uint8_t kTreatyFollows = 1;
constexpr uint8_t kTreatyEnd = 255;

// AI XML shorter than this is not worth keeping: the AI is made afresh.
constexpr size_t kMinimumAIData = 5;

const wchar_t kMiscCategory[] = L"misc";

struct LayoutDropper {
  void operator()(hull_list* layout) const { layout->drop(); }
};
using LayoutHandle = std::unique_ptr<hull_list, LayoutDropper>;

// A wide string read whole: readString keeps its target for a stored empty
// string, so every field is read into a fresh one.
stringw readWide(SaveStream& stream) {
  stringw text;
  stream.readString(text);
  return text;
}

// Each byte of a narrow text as one character (0 to 255).
stringw widen(const stringc& text) {
  stringw wide;
  wide.reserve(text.size() + 1);
  for (irr::u32 i = 0; i < text.size(); ++i)
    wide.append(static_cast<wchar_t>(static_cast<unsigned char>(text[i])));
  return wide;
}

void writeCount(SaveStream& stream, size_t count) {
  if (count > std::numeric_limits<uint16_t>::max())
    throw kSaveErrorTooManyEntries;
  stream.writeU16(static_cast<uint16_t>(count));
}

// The empire's layout named `name`, or null. The caller holds the layouts
// area for writing (a lookup may sort the table).
hull_list* findLayout(empire* emp, const stringw& name) {
  const irr::s32 index = NamedVar<hull_list*>::find(emp->hulls, name);
  return index < 0 ? nullptr : emp->hulls[static_cast<irr::u32>(index)].value;
}

// ---------------------------------------------------------------------------
// Post-load steps

// The owner's standing towards another empire, set once every empire of
// the save exists.
class LoadRelation : public PostObjectTreeStep {
 public:
  // Reads the other empire's ID and the two relation bytes.
  LoadRelation(empire* owner, SaveStream& stream) : owner_(owner) {
    other_ = stream.readEmpireId();
    allied_ = stream.readU8();
    enemy_ = stream.readU8();
  }

  void run() override {
    empire* other = getEmpireByID(other_);
    if (other == defaultEmpire())
      throw kSaveErrorInvalidRelationEmpire;
    EmpireRelation* relation = owner_->lockRelation(other);
    // Bytes from the file: any value but 0 is set.
    relation->allied = allied_ != 0;
    relation->enemy = enemy_ != 0;
    owner_->unlockRelations();
  }

 private:
  empire* owner_;
  EmpireID other_ = 0;
  uint8_t allied_ = 0;
  uint8_t enemy_ = 0;
};

// The owner's copies of other empires' layouts: entered in its foreign-hull
// map once the source empires exist.
class LoadForeignHulls : public PostObjectTreeStep {
 public:
  explicit LoadForeignHulls(empire* owner) : owner_(owner) {}

  void add(EmpireID source, const stringw& sourceName, hull_list* copy) { copies_[source][sourceName] = copy; }

  void run() override {
    for (const auto& bySource : copies_) {
      // No empire of the ID: the default empire, which has no layouts.
      empire* source = getEmpireByID(bySource.first);
      for (const auto& byName : bySource.second) {
        hull_list* sourceLayout = nullptr;
        {
          ScopedWriteLock guard(source->locks[EA_HullLayouts]);
          sourceLayout = findLayout(source, byName.first);
        }
        if (sourceLayout == nullptr)
          continue;
        ScopedWriteLock guard(owner_->locks[EA_HullLayouts]);
        owner_->foreignHulls[sourceLayout] = byName.second;
      }
    }
  }

 private:
  empire* owner_;
  // Source empire ID -> source layout name -> the owner's copy (held by the
  // owner's layout table).
  std::map<EmpireID, std::map<stringw, hull_list*>> copies_;
};

// The empire's script AI, made with its saved XML once the whole save is
// loaded, so that the AI can find its objects.
class LoadAIData : public PostObjectTreeStep {
 public:
  LoadAIData(empire* emp, stringw moduleName, stringw className, ScriptXmlReader* reader)
      : emp_(emp), module_(std::move(moduleName)), class_(std::move(className)), reader_(reader) {}
  ~LoadAIData() override { reader_->drop(); }
  LoadAIData(const LoadAIData&) = delete;
  LoadAIData& operator=(const LoadAIData&) = delete;

  void run() override { registerEmpireAI(module_, emp_, class_, reader_); }

 private:
  empire* emp_;
  stringw module_;
  stringw class_;
  ScriptXmlReader* reader_;  // one reference, this step's
};

// ---------------------------------------------------------------------------
// The AI's XML

// A file in memory that grows with what is written to it, so that an AI's
// state is saved whole however large it is.
class GrowingWriteFile : public irr::io::IWriteFile {
 public:
  irr::s32 write(const void* buffer, irr::u32 sizeToWrite) override {
    if (buffer == nullptr || sizeToWrite == 0)
      return 0;
    const size_t end = position_ + sizeToWrite;
    if (end > bytes_.size())
      bytes_.resize(end);
    std::memcpy(&bytes_[position_], buffer, sizeToWrite);
    position_ = end;
    return static_cast<irr::s32>(sizeToWrite);
  }
  bool seek(long finalPos, bool relativeMovement) override {
    const long target = relativeMovement ? static_cast<long>(position_) + finalPos : finalPos;
    if (target < 0 || static_cast<size_t>(target) > bytes_.size())
      return false;
    position_ = static_cast<size_t>(target);
    return true;
  }
  long getPos() const override { return static_cast<long>(position_); }
  const irr::io::path& getFileName() const override { return name_; }

  const std::string& bytes() const { return bytes_; }

 private:
  std::string bytes_;
  size_t position_ = 0;
  const irr::io::path name_{"tmp.tmp"};
};

// Releases an engine object's reference.
struct Dropper {
  void operator()(irr::IReferenceCounted* object) const { object->drop(); }
};

// Lets go of a writer's file, which a script that kept the writer must not
// reach, and releases the writer.
struct WriterCloser {
  void operator()(ScriptXmlWriter* writer) const {
    writer->close();
    writer->drop();
  }
};

void writeScriptAI(SaveStream& stream, empire* emp) {
  if (emp->aiObject == nullptr) {
    stream.writeU8(0);
    return;
  }
  stream.writeU8(1);
  const std::unique_ptr<GrowingWriteFile, Dropper> file(new GrowingWriteFile());
  {
    const std::unique_ptr<ScriptXmlWriter, WriterCloser> writer(new ScriptXmlWriter(file.get()));
    saveEmpireAI(stream, emp, writer.get());
  }
  const std::string& xml = file->bytes();
  if (xml.size() < kMinimumAIData) {
    stream.writeU32(0);
    return;
  }
  if (xml.size() > std::numeric_limits<uint32_t>::max())
    throw kSaveErrorTooManyEntries;
  stream.writeU32(static_cast<uint32_t>(xml.size()));
  stream.writeBytes(xml.data(), xml.size());
}

void readScriptAI(SaveStream& stream, empire* emp) {
  if (stream.readU8() == 0)
    return;
  stringc moduleName;
  stringc className;
  stream.readNarrowString(moduleName);
  stream.readNarrowString(className);
  const uint32_t size = stream.readU32();
  if (size == 0) {
    registerEmpireAI(widen(moduleName), emp, widen(className), nullptr);
    return;
  }
  // Checked before any room is made for a size read from the file.
  if (stream.remaining() < size)
    throw kSaveErrorMassDataEOF;
  std::string xml(size, '\0');
  stream.readBytes(&xml[0], size);
  std::unique_ptr<ScriptXmlReader, Dropper> reader(new ScriptXmlReader(xml));
  std::unique_ptr<LoadAIData> step(new LoadAIData(emp, widen(moduleName), widen(className), reader.get()));
  reader.release();  // the step's now
  queuePostObjectTreeStep(step.release());
}

// ---------------------------------------------------------------------------
// Hull layouts

void writeLayouts(SaveStream& stream, empire* emp) {
  ScopedReadLock guard(emp->locks[EA_HullLayouts]);
  std::vector<const hull_list*> layouts;
  for (irr::u32 i = 0; i < emp->hulls.size(); ++i) {
    const NamedVar<hull_list*>& entry = emp->hulls[i];
    if (entry.value == nullptr)
      continue;
    // Layouts are read back under their own names: one listed under another
    // name would take the place of the layout that holds its own name.
    if (entry.name != entry.value->name) {
      for (irr::u32 j = 0; j < emp->hulls.size(); ++j)
        if (emp->hulls[j].value != nullptr && emp->hulls[j].name == entry.value->name)
          throw kSaveErrorInvalidHullName;
    }
    layouts.push_back(entry.value);
  }

  writeCount(stream, layouts.size());
  for (const hull_list* layout : layouts) {
    layout->save(stream);
    stream.writeString(layout->name);
  }
  for (const hull_list* layout : layouts) {
    stream.writeString(layout->name);
    stream.writeU8(layout->obsolete ? 1 : 0);
    if (layout->obsolete)
      stream.writeString(layout->newer != nullptr ? layout->newer->name : stringw());
  }

  struct ForeignEntry {
    EmpireID source;
    const stringw* sourceName;
    const stringw* copyName;
  };
  std::vector<ForeignEntry> foreign;
  for (const auto& entry : emp->foreignHulls) {
    const hull_list* sourceLayout = entry.first;
    if (sourceLayout == nullptr || sourceLayout->owner == nullptr || entry.second == nullptr)
      continue;
    foreign.push_back({sourceLayout->owner->ID, &sourceLayout->name, &entry.second->name});
  }
  std::sort(foreign.begin(), foreign.end(), [](const ForeignEntry& a, const ForeignEntry& b) {
    if (a.source != b.source)
      return a.source < b.source;
    const int byName = compareNames(*a.sourceName, *b.sourceName);
    if (byName != 0)
      return byName < 0;
    return compareNames(*a.copyName, *b.copyName) < 0;
  });
  writeCount(stream, foreign.size());
  for (const ForeignEntry& entry : foreign) {
    stream.writeU8(entry.source);
    stream.writeString(*entry.sourceName);
    stream.writeString(*entry.copyName);
  }
}

void readLayouts(SaveStream& stream, empire* emp) {
  const uint16_t count = stream.readU16();
  for (uint16_t i = 0; i < count; ++i) {
    LayoutHandle layout(hull_list::load(stream, emp));
    const stringw name = readWide(stream);
    layout->name = name;
    NamedVar<hull_list*>& entry = NamedVar<hull_list*>::getOrAdd(emp->hulls, name);
    if (entry.value != nullptr)
      entry.value->drop();
    entry.value = layout.release();
  }

  if (stream.version() >= kObsolescenceVersion) {
    for (uint16_t i = 0; i < count; ++i) {
      const stringw name = readWide(stream);
      const bool obsolete = stream.readU8() != 0;
      if (!obsolete)
        continue;
      const stringw successorName = readWide(stream);
      hull_list* layout = findLayout(emp, name);
      if (layout == nullptr)
        continue;
      if (successorName.empty()) {
        layout->newer = nullptr;
        continue;
      }
      hull_list* successor = findLayout(emp, successorName);
      if (successor != nullptr && successor != layout)
        layout->newer = successor;
    }
  }

  if (stream.version() >= kForeignLayoutsVersion) {
    const uint16_t foreignCount = stream.readU16();
    if (foreignCount > 0) {
      std::unique_ptr<LoadForeignHulls> step(new LoadForeignHulls(emp));
      for (uint16_t i = 0; i < foreignCount; ++i) {
        const EmpireID source = stream.readU8();
        const stringw sourceName = readWide(stream);
        const stringw copyName = readWide(stream);
        if (hull_list* copy = findLayout(emp, copyName))
          step->add(source, sourceName, copy);
      }
      queuePostObjectTreeStep(step.release());
    }
  }
}

// ---------------------------------------------------------------------------
// Build lists, messages, relations, traits

void writeBuildLists(SaveStream& stream, empire* emp) {
  ScopedReadLock guard(emp->locks[EA_BuildLists]);
  std::vector<const PtrNamedVar<build_priorities*>*> lists;
  for (irr::u32 i = 0; i < emp->buildLists.size(); ++i)
    if (emp->buildLists[i].value != nullptr)
      lists.push_back(&emp->buildLists[i]);
  writeCount(stream, lists.size());
  for (const PtrNamedVar<build_priorities*>* entry : lists) {
    if (dynamic_cast<const build_list*>(entry->value) != nullptr) {
      entry->value->write(stream);
    } else {
      // A single rule stored as a list is saved as a list of that one rule.
      stream.writeU16(1);
      entry->value->write(stream);
    }
    stream.writeString(entry->entryName());
  }
}

void readBuildLists(SaveStream& stream, empire* emp) {
  const uint16_t count = stream.readU16();
  for (uint16_t i = 0; i < count; ++i) {
    std::unique_ptr<build_list> list(build_list::load(stream));
    const stringw name = readWide(stream);
    PtrNamedVar<build_priorities*>& entry =
        PtrNamedVar<build_priorities*>::getOrAdd(emp->buildLists, name, internCommonString);
    delete entry.value;
    entry.value = list.release();
  }
}

void writeMessages(SaveStream& stream, empire* emp) {
  ScopedReadLock guard(emp->locks[EA_Messages]);
  writeCount(stream, emp->messages.size());
  for (const EmpireMessage& message : emp->messages) {
    stream.writeString(message.text);
    if (message.category == nullptr)
      throw kSaveErrorInvalidCommonString;
    saveCommonString(stream, *message.category);
    stream.writeI32(message.priority);
    stream.writeI32(message.time);
  }
  stream.writeDouble(emp->lastMessage);
}

void readMessages(SaveStream& stream, empire* emp) {
  const uint16_t count = stream.readU16();
  const stringw misc(kMiscCategory);
  for (uint16_t i = 0; i < count; ++i) {
    const stringw text = readWide(stream);
    const stringw* category = &misc;
    int32_t priority = 0;
    int32_t time = -1;  // now
    if (stream.version() >= kMessageDetailsVersion) {
      category = readCommonString(stream);
      priority = stream.readI32();
      time = stream.readI32();
    }
    if (!text.empty())
      postEmpireMessage(emp, text, *category, priority, time);
  }
  // Posting stamped the messages with the current game time.
  const double lastMessage = stream.readDouble();
  ScopedWriteLock guard(emp->locks[EA_Messages]);
  emp->lastMessage = lastMessage;
}

void writeRelations(SaveStream& stream, empire* emp) {
  ScopedReadLock guard(emp->locks[EA_Relations]);
  std::vector<std::pair<EmpireID, const EmpireRelation*>> relations;
  for (const auto& entry : emp->relations) {
    // A standing towards the default empire (no empire) could never be read
    // back: it is not kept.
    if (entry.first == nullptr || entry.first == defaultEmpire() || entry.second == nullptr)
      continue;
    relations.emplace_back(entry.first->ID, entry.second);
  }
  std::stable_sort(relations.begin(), relations.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  writeCount(stream, relations.size());
  for (const auto& relation : relations) {
    stream.writeEmpireId(relation.first);
    stream.writeU8(relation.second->allied ? 1 : 0);
    stream.writeU8(relation.second->enemy ? 1 : 0);
  }
}

void writeTraits(SaveStream& stream, empire* emp) {
  ScopedReadLock guard(emp->locks[EA_Traits]);
  writeCount(stream, emp->traits.size());
  for (const auto& entry : emp->traits)
    stream.writeString(entry.first);
}

void readTraits(SaveStream& stream, empire* emp) {
  {
    ScopedWriteLock guard(emp->locks[EA_Traits]);
    emp->traits.clear();
    const uint16_t count = stream.readU16();
    for (uint16_t i = 0; i < count; ++i) {
      const stringw id = readWide(stream);
      if (ITrait* trait = findTrait(id))
        emp->traits[id] = trait;
    }
  }
  emp->updateTraitVariables();
}

// The treaties this empire proposed, each after its marker: the standing
// ones in list order, then the pending proposals in ascending ID of the
// empire they were made to (the map's pointer order would differ from one
// run to the next), then the end marker. The other side's record leaves them
// out: the proposer's record restores them on both empires.
void writeTreaties(SaveStream& stream, empire* emp) {
  ScopedReadLock guard(emp->locks[EA_Treaties]);
  for (irr::u32 i = 0; i < emp->treaties.size(); ++i) {
    ITreaty* treaty = emp->treaties[i];
    if (treaty->getFromEmpire() != emp)
      continue;
    stream.writeU8(kTreatyFollows);
    treaty->save(stream);
  }
  std::vector<std::pair<EmpireID, ITreaty*>> proposals;
  for (const auto& entry : emp->proposedTreaties)
    if (entry.first != nullptr && entry.second != nullptr && entry.second->getFromEmpire() == emp)
      proposals.emplace_back(entry.first->ID, entry.second);
  std::stable_sort(proposals.begin(), proposals.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (const auto& proposal : proposals) {
    stream.writeU8(kTreatyFollows);
    proposal.second->save(stream);
  }
  stream.writeU8(kTreatyEnd);
}

}  // namespace

void saveEmpire(SaveStream& stream, empire* emp) {
  stream.writeString(emp->name);
  stream.writeString(emp->raceName);
  stream.writeString(emp->raceDescription);
  stream.writeString(emp->raceHistory);
  stream.writeEmpireId(emp->ID);
  uint8_t flags = 0;
  if (emp->playerControlled)
    flags |= kFlagPlayerControlled;
  if (emp->valid)
    flags |= kFlagValid;
  if (emp->reserved)
    flags |= kFlagReserved;
  stream.writeU8(flags);
  stream.writeU32(emp->color);
  stream.writeString(emp->shipSet);
  stream.writeU32(emp->ownBit);
  stream.writeU32(emp->visibility.load());

  {
    ScopedReadLock guard(emp->locks[EA_ResearchWeb]);
    if (emp->researchWeb != nullptr) {
      emp->researchWeb->write(stream);
    } else {
      const std::unique_ptr<research::IWeb> blank(research::createResearchWeb(emp));
      blank->write(stream);
    }
  }
  stream.writeString(emp->emperor.name);
  {
    ScopedReadLock guard(emp->locks[EA_Stats]);
    writeNamedValueList(stream, emp->stats);
  }
  {
    ScopedReadLock guard(emp->locks[EA_Settings]);
    writeNamedValueList(stream, emp->settings);
  }

  writeLayouts(stream, emp);
  writeBuildLists(stream, emp);
  writeMessages(stream, emp);
  writeRelations(stream, emp);
  writeTraits(stream, emp);
  writeTreaties(stream, emp);
  writeScriptAI(stream, emp);
}

empire* loadEmpire(SaveStream& stream) {
  // As made by the constructor, but without an ID, name or colour taken
  // from the tables: those come from the record.
  std::unique_ptr<empire> emp(new empire(empire::DefaultTag{}));
  const bool current = stream.version() >= kRaceAndBitsVersion;

  const stringw name = readWide(stream);
  if (current) {
    emp->raceName = readWide(stream);
    emp->raceDescription = readWide(stream);
    emp->raceHistory = readWide(stream);
  }
  emp->ID = stream.readEmpireId();
  if (name.empty())
    throw kSaveErrorInvalidEmpireName;
  emp->name = name;

  const uint8_t flags = stream.readU8();
  emp->playerControlled = (flags & kFlagPlayerControlled) != 0;
  emp->valid = (flags & kFlagValid) != 0;
  emp->reserved = (flags & kFlagReserved) != 0;
  emp->color = stream.readU32();
  if (stream.version() >= kShipSetVersion)
    emp->shipSet = readWide(stream);

  if (current) {
    emp->ownBit = stream.readU32();
    emp->visibility = stream.readU32();
  } else if (!takeNextOwnBit(emp.get())) {
    // More empires than bits: an empire without a bit would see nothing.
    throw kSaveErrorEmpiresList;
  }

  emp->researchWeb = research::loadResearchWeb(emp.get(), stream);
  emp->emperor.name = readWide(stream);
  readNamedValueList(stream, emp->stats);
  readNamedValueList(stream, emp->settings);

  readLayouts(stream, emp.get());
  readBuildLists(stream, emp.get());
  readMessages(stream, emp.get());

  const uint16_t relationCount = stream.readU16();
  for (uint16_t i = 0; i < relationCount; ++i)
    queuePostObjectTreeStep(new LoadRelation(emp.get(), stream));

  if (current)
    readTraits(stream, emp.get());

  if (emp->isValid())
    emp->updateSubSystems();

  // Each treaty queues its own step that files it once the other empire
  // exists.
  for (;;) {
    const uint8_t marker = stream.readU8();
    if (marker == kTreatyEnd)
      break;
    if (marker != kTreatyFollows)
      throw kSaveErrorInvalidTreaty;
    loadTreaty(emp.get(), stream);
  }

  readScriptAI(stream, emp.get());
  return emp.release();
}

void continueOwnBitsAfterLoad() {
  uint32_t held = 0;
  for (const empire* listed : empireList)
    held |= listed->ownBit;
  if (held == 0) {
    nextVisibilityBit = 1;
    return;
  }
  uint32_t highest = 1u << 31;
  while ((held & highest) == 0)
    highest >>= 1;
  nextVisibilityBit = highest << 1;  // 0 once bit 31 is held: no bit is left
}
