#include "empire/diplomacy/diplomacy_texts.h"

#include "core/data_file.h"
#include "core/log.h"
#include "core/random.h"
#include "empire/diplomacy/diplo_msg.h"
#include "empire/empire.h"

using irr::core::stringc;
using irr::core::stringw;

DiplomacyTexts diplomacyTexts;

namespace {

struct NamedValue {
  const wchar_t* word;
  uint32_t value;
};

// The words of the file, compared exactly.
const NamedValue kTopicWords[] = {
    {L"Greeting", DT_Greetings}, {L"Threat", DT_Demand},   {L"Demands", DT_Demand},     {L"Treaty", DT_Treaty},
    {L"Alliance", DT_Alliance},  {L"Trade", DT_Trade},     {L"Peace Treaty", DT_Peace}, {L"War", DT_War},
    {L"Request", DT_Request},    {L"Appease", DT_Appease}, {L"Acceptance", DT_Accept},  {L"Refusal", DT_Reject},
};
const NamedValue kMoodWords[] = {{L"Neutral", DM_Neutral}, {L"Angry", DM_Angry}, {L"Happy", DM_Happy}};
const NamedValue kAttitudeWords[] = {{L"Neutral", DA_Neutral}, {L"Good", DA_Passive}, {L"Evil", DA_Aggressive}};

// The placeholders a response may hold, brackets included.
const NamedValue kPlaceholders[] = {
    {L"[thisEmpire]", DSK_ThisEmpire},
    {L"[thisEmpireRuler]", DSK_ThisEmpireRuler},
    {L"[otherEmpire]", DSK_OtherEmpire},
    {L"[otherEmpireRuler]", DSK_OtherEmpireRuler},
    {L"[s1]", DSK_String1},
    {L"[s2]", DSK_String2},
    {L"[s3]", DSK_String3},
};

template <size_t N>
bool lookUp(const NamedValue (&table)[N], const stringw& word, uint32_t& value) {
  for (const NamedValue& entry : table) {
    if (word == entry.word) {
      value = entry.value;
      return true;
    }
  }
  return false;
}

// The string count a placeholder raises a response to (0 for the others).
uint32_t stringCountOf(uint32_t kind) {
  switch (kind) {
    case DSK_String1:
      return 1;
    case DSK_String2:
      return 2;
    case DSK_String3:
      return 3;
    default:
      return 0;
  }
}

void addPlainSegment(DiplomacyResponse& out, const stringw& text) {
  DiplomacySegment segment;
  segment.kind = DSK_Text;
  segment.text = text;
  out.segments.push_back(std::move(segment));
}

// The responses under topic, mood and attitude for the string count, or
// null. Looks only: asking never adds a level.
const std::vector<DiplomacyResponse>* findResponses(uint32_t topic, uint32_t mood, uint32_t attitude,
                                                    uint32_t stringCount) {
  const auto topicAt = diplomacyTexts.find(topic);
  if (topicAt == diplomacyTexts.end())
    return nullptr;
  const auto moodAt = topicAt->second.find(mood);
  if (moodAt == topicAt->second.end())
    return nullptr;
  const auto attitudeAt = moodAt->second.find(attitude);
  if (attitudeAt == moodAt->second.end())
    return nullptr;
  const DiplomacyResponseLists& lists = attitudeAt->second;
  auto listAt = lists.find(stringCount);
  if (listAt == lists.end())
    listAt = lists.find(0);
  if (listAt == lists.end())
    return nullptr;
  return &listAt->second;
}

// Sets one side's enemy flag toward the other.
void setEnemy(empire* side, const empire* other, bool enemy) {
  EmpireRelation* relation = side->lockRelation(other);
  relation->enemy = enemy;
  side->unlockRelations();
}

}  // namespace

void clearDiplomacyTexts() { diplomacyTexts.clear(); }

void loadDiplomacyStrings(const stringc& path) {
  std::vector<NumberedLine> lines;
  if (!readNumberedDataFile(path, lines, kDataFileClean | kDataFileCutComments)) {
    logError("Failed to load file: %s\n", path.c_str());
    return;
  }
  const char* file = path.c_str();
  // Each line replaces only its own part of the current place, so a block
  // may change the topic and keep the mood and attitude it had.
  bool haveTopic = false;
  bool haveMood = false;
  bool haveAttitude = false;
  uint32_t topic = 0;
  uint32_t mood = 0;
  uint32_t attitude = 0;
  for (const NumberedLine& line : lines) {
    stringw key;
    stringw value;
    if (!splitKeyValue(line.text, key, value))
      continue;
    uint32_t word = 0;
    if (key == L"Topic") {
      if (!lookUp(kTopicWords, value, word)) {
        logDataFileError(file, line.line, "D001", "Invalid topic name '%ls'\n", value.c_str());
        continue;
      }
      topic = word;
      haveTopic = true;
      diplomacyTexts[topic];
    } else if (key == L"Mood") {
      if (!haveTopic) {
        logDataFileError(file, line.line, "D002", "A topic must be specified before moods\n");
        continue;
      }
      if (!lookUp(kMoodWords, value, word)) {
        logDataFileError(file, line.line, "D003", "Invalid mood '%ls'\n", value.c_str());
        continue;
      }
      mood = word;
      haveMood = true;
      diplomacyTexts[topic][mood];
    } else if (key == L"Attitude") {
      if (!haveMood) {
        logDataFileError(file, line.line, "D004", "A mood must be specified before attitudes\n");
        continue;
      }
      if (!lookUp(kAttitudeWords, value, word)) {
        logDataFileError(file, line.line, "D005", "Invalid attitude '%ls'\n", value.c_str());
        continue;
      }
      attitude = word;
      haveAttitude = true;
      diplomacyTexts[topic][mood][attitude];
    } else if (key == L"Response") {
      if (!haveTopic || !haveMood || !haveAttitude) {
        logDataFileError(file, line.line, "D006", "Must define a Topic, Mood, and Attitude before a Response\n");
        continue;
      }
      DiplomacyResponse response;
      const uint32_t stringCount = compileDiplomacyResponse(value, response);
      diplomacyTexts[topic][mood][attitude][stringCount].push_back(std::move(response));
    } else {
      logDataFileError(file, line.line, "D007", "Unrecognized key '%ls'\n", key.c_str());
    }
  }
}

uint32_t compileDiplomacyResponse(const stringw& text, DiplomacyResponse& out) {
  out.segments.clear();
  uint32_t stringCount = 0;
  const irr::s32 length = static_cast<irr::s32>(text.size());
  irr::s32 pos = 0;
  while (pos < length) {
    const irr::s32 open = text.findNext(L'[', pos);
    const irr::s32 close = open < 0 ? -1 : text.findNext(L']', open);
    if (close < 0)
      break;
    stringw plain = text.subString(pos, open - pos);
    const stringw word = text.subString(open, close - open + 1);
    uint32_t kind = DSK_Text;
    if (lookUp(kPlaceholders, word, kind)) {
      addPlainSegment(out, plain);
      DiplomacySegment segment;
      segment.kind = kind;
      out.segments.push_back(std::move(segment));
      if (stringCountOf(kind) > stringCount)
        stringCount = stringCountOf(kind);
    } else {
      // Not a placeholder: the word stays text, brackets and all.
      plain += word;
      addPlainSegment(out, plain);
    }
    pos = close + 1;
  }
  if (pos < length)
    addPlainSegment(out, text.subString(pos, length - pos));
  return stringCount;
}

stringw pickDiplomacyText(const empire* from, const empire* to, uint32_t topic, uint32_t mood, uint32_t attitude,
                          const stringw* s1) {
  const std::vector<DiplomacyResponse>* list = findResponses(topic, mood, attitude, s1 != nullptr ? 1 : 0);
  if (list == nullptr || list->empty())
    return stringw();
  const DiplomacyResponse& response = (*list)[static_cast<size_t>(processRandom() / 4) % list->size()];
  stringw out;
  for (const DiplomacySegment& segment : response.segments) {
    switch (segment.kind) {
      case DSK_Text:
        out += segment.text;
        break;
      case DSK_ThisEmpire:
        if (from != nullptr)
          out += from->name;
        break;
      case DSK_ThisEmpireRuler:
        if (from != nullptr)
          out += from->emperor.name;
        break;
      case DSK_OtherEmpire:
        if (to != nullptr)
          out += to->name;
        break;
      case DSK_OtherEmpireRuler:
        if (to != nullptr)
          out += to->emperor.name;
        break;
      case DSK_String1:
        if (s1 != nullptr)
          out += *s1;
        break;
      default:  // "[s2]" and "[s3]" stand for nothing
        break;
    }
  }
  return out;
}

void applyWarDeclaration(empire* receiver, const DiploMsg* message) {
  if (receiver == nullptr || message == nullptr || message->topic != DT_War)
    return;
  empire* sender = message->sender;
  if (sender == nullptr || sender == receiver)
    return;
  // One side at a time: never two empires' relations held at once.
  setEnemy(receiver, sender, true);
  setEnemy(sender, receiver, true);
}

bool applyDiplomacyAnswer(empire* receiver, const DiploMsg* message) {
  if (message == nullptr || !message->finished)
    return false;
  if (receiver == nullptr)
    return true;
  empire* sender = message->sender;
  if (message->topic == DT_Peace && message->response == DR_Accepted && sender != nullptr && sender != receiver) {
    setEnemy(receiver, sender, false);
    setEnemy(sender, receiver, false);
  }
  if (message->response == DR_None)
    return true;
  const uint32_t topic = message->response == DR_Accepted ? DT_Accept : DT_Reject;
  postEmpireMessage(receiver, pickDiplomacyText(sender, receiver, topic, DM_Neutral, DA_Aggressive, nullptr),
                    L"diplomacy", 0, -1);
  return true;
}
