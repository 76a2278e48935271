#include "gfx/shader_desc.h"

#include <cwchar>
#include <vector>

#include "app/base/config.h"
#include "app/base/engine.h"
#include "core/data_file.h"
#include "core/log.h"
#include "core/text_conversions.h"
#include "gfx/game_camera.h"
#include "gfx/object_render_state.h"
#include "platform/engine/node_settings.h"

using irr::core::stringc;
using irr::core::stringw;

IShaderObjectState* (*shaderObjectStateOf)(irr::scene::ISceneNode* node) = renderStateOfNode;

namespace irr {
namespace video {

namespace {

// Serves the lookup through the stock renderers' named setters: the
// location is the index of the name in a table of every name looked up.
class NamedSetterLookup : public IShaderConstantLookup {
 public:
  IMaterialRendererServices* services = nullptr;

  bool findShaderConstant(const c8* name, s32& location, u32& type) override {
    for (u32 i = 0; i < names_.size(); ++i) {
      if (names_[i] == name) {
        location = static_cast<s32>(i);
        type = 0;
        return true;
      }
    }
    names_.push_back(name);
    location = static_cast<s32>(names_.size() - 1);
    type = 0;
    return true;
  }
  void setShaderConstant(s32 location, u32, const f32* floats, s32 count) override {
    if (services != nullptr && location >= 0 && static_cast<u32>(location) < names_.size())
      services->setPixelShaderConstant(names_[static_cast<u32>(location)].c_str(), floats, count);
  }
  void setShaderConstant(s32 location, u32, const s32* ints, s32 count) override {
    if (services != nullptr && location >= 0 && static_cast<u32>(location) < names_.size())
      services->setPixelShaderConstant(names_[static_cast<u32>(location)].c_str(), ints, count);
  }

 private:
  core::array<core::stringc> names_;
};

}  // namespace

IShaderConstantLookup* shaderConstantLookupOf(IMaterialRendererServices* services) {
  if (auto* own = dynamic_cast<IShaderConstantLookup*>(services))
    return own;
  // Drawing runs on the main thread only.
  static NamedSetterLookup adapter;
  adapter.services = services;
  return &adapter;
}

}  // namespace video
}  // namespace irr

namespace {

constexpr irr::u32 kUnderAttackMs = 4000;

const char* const kShaderFormatLine = "Line should be- Program: VertexProgram, PixelProgram [,BaseMaterial]";

struct BaseMaterialName {
  const wchar_t* name;
  irr::s32 type;
};
constexpr BaseMaterialName kBaseMaterials[] = {
    {L"Solid", material_type::kSolid}, {L"Solidx2", material_type::kSolidScaled},
    {L"Solidx3", material_type::kSolidScaled}, {L"Alpha", material_type::kAlpha}, {L"Add", material_type::kAdd}};

bool isNumberChar(wchar_t c) { return (c >= L'0' && c <= L'9') || c == L'+' || c == L'-' || c == L'.'; }

bool isNumberText(const stringw& text) {
  if (text.size() == 0)
    return false;
  for (irr::u32 i = 0; i < text.size(); ++i)
    if (!isNumberChar(text[i]))
      return false;
  return true;
}

stringw trimmed(const stringw& text) {
  stringw out = text;
  out.trim(" \t\n\r");
  return out;
}

// Cuts at ',' outside double quotes; each part trimmed, quotes removed. Empty
// parts count.
std::vector<stringw> splitProgramParts(const stringw& text) {
  std::vector<stringw> parts;
  stringw part;
  bool quoted = false;
  for (irr::u32 i = 0; i < text.size(); ++i) {
    const wchar_t c = text[i];
    if (c == L'"') {
      quoted = !quoted;
    } else if (c == L',' && !quoted) {
      parts.push_back(trimmed(part));
      part = L"";
    } else {
      part.append(c);
    }
  }
  parts.push_back(trimmed(part));
  return parts;
}

std::vector<stringw> splitValues(const stringw& text) {
  irr::core::array<stringw> pieces;
  splitString(text, L',', pieces);
  std::vector<stringw> out;
  for (irr::u32 i = 0; i < pieces.size(); ++i)
    out.push_back(pieces[i]);
  return out;
}

// The size digit after a type word ("vec3"): `alone` when there is none, -1
// for anything but one digit.
int sizeSuffix(const stringw& type, irr::u32 wordLength, int alone) {
  if (type.size() == wordLength)
    return alone;
  if (type.size() != wordLength + 1 || type[wordLength] < L'0' || type[wordLength] > L'9')
    return -1;
  return type[wordLength] - L'0';
}

void parseTexture(int size, const std::vector<stringw>& parts, ShaderDesc::ShaderVal& out) {
  if (size > 4)
    throw "Only four texture indices in a single array supported";
  if (parts.size() != static_cast<size_t>(size))
    throw "tex[1-4] variables must have as many vaues defined as indicated";
  for (const stringw& part : parts)
    if (!isNumberText(part))
      throw "tex[1-4] variables must have as many vaues defined as indicated";
  out.kind = ShaderDesc::kTextureIndices;
  out.count = size;
  for (int i = 0; i < size; ++i)
    out.values.ints[i] = static_cast<irr::s32>(stringToFloat(parts[static_cast<size_t>(i)]));
}

void parseVector(int size, const std::vector<stringw>& parts, ShaderDesc::ShaderVal& out) {
  if (size > 4)
    throw "Only up to four-dimensional vectors supported";
  if (!parts.empty()) {
    const stringw& first = parts[0];
    bool word = false;
    for (irr::u32 i = 0; i < first.size(); ++i)
      word = word || !isNumberChar(first[i]);
    if (word) {
      if (first == L"up") {
        if (size != 3)
          throw "Up Vectors are vec3 types";
        out.kind = ShaderDesc::kCameraUp;
        return;
      }
      if (first == L"empire_color") {
        if (size != 3)
          throw "empire_color must be a vec3";
        out.kind = ShaderDesc::kEmpireColor;
        return;
      }
      std::vector<stringw> words;
      splitWordsQuotedW(first, words);
      if (!words.empty() && words[0] == L"state") {
        if (words.size() != 2)
          throw "State sources must be named, and must not contain spaces";
        if (size != 4)
          throw "State sources are vec4 types";
        out.kind = ShaderDesc::kObjectState;
        out.sourceName = words[1];
        return;
      }
      throw "Unrecognized vector value";
    }
  }
  if (parts.size() != static_cast<size_t>(size))
    throw "vec[1-4] variables must have as many vaues defined as indicated (default 3)";
  for (const stringw& part : parts)
    if (!isNumberText(part))
      throw "vec[1-4] variables must have as many vaues defined as indicated (default 3)";
  out.kind = ShaderDesc::kConstant;
  out.count = size;
  for (int i = 0; i < size; ++i)
    out.values.floats[i] = stringToFloat(parts[static_cast<size_t>(i)]);
}

void parseFloat(const std::vector<stringw>& parts, ShaderDesc::ShaderVal& out) {
  if (parts.size() == 1) {
    const stringw& value = parts[0];
    if (isNumberText(value)) {
      out.kind = ShaderDesc::kConstant;
      out.count = 1;
      out.values.floats[0] = stringToFloat(value);
      return;
    }
    static const struct {
      const wchar_t* word;
      ShaderDesc::ValueKind kind;
    } kSources[] = {{L"time", ShaderDesc::kTime},
                    {L"time_second", ShaderDesc::kTimeSecond},
                    {L"obj_rand", ShaderDesc::kObjectRandom},
                    {L"obj_radius", ShaderDesc::kObjectRadius},
                    {L"obj_under_attack", ShaderDesc::kObjectUnderAttack}};
    for (const auto& source : kSources) {
      if (value == source.word) {
        out.kind = source.kind;
        return;
      }
    }
    throw "Unrecognized floating point value";
  }
  if (parts.size() == 2) {
    const float period = stringToFloat(parts[1]);
    double ms = 0.0;
    if (parts[0] == L"time_cycle") {
      out.kind = ShaderDesc::kTimeCycle;
      ms = static_cast<double>(period) * 1000.0;
    } else if (parts[0] == L"real_time_cycle") {
      out.kind = ShaderDesc::kRealTimeCycle;
      ms = static_cast<double>(period) * 1000.0;
    } else if (parts[0] == L"time_cycle_ms") {
      out.kind = ShaderDesc::kTimeCycle;
      ms = static_cast<double>(period);
    } else {
      throw "Unrecognized floating point value type";
    }
    // A period that is no whole positive ms leaves the value at 0 each draw.
    out.values.periodMs = ms >= 1.0 && ms < 4294967296.0 ? static_cast<irr::u32>(ms) : 0;
    return;
  }
  if (parts.size() > 2)
    throw "Too many values for float data type";
  throw "Unrecognized floating point value";
}

bool errorsLogged() {
  irr::ILogger* logger = engineLogger();
  return logger == nullptr || logger->getLogLevel() <= irr::ELL_ERROR;
}

stringc folderPrefix(const stringc& path) {
  if (engine.fileSystem != nullptr)
    return engine.fileSystem->getFileDir(path) + "/";
  const irr::s32 slash = path.findLast('/');
  return slash < 0 ? stringc(".") + "/" : path.subString(0, static_cast<irr::u32>(slash)) + "/";
}

// One shader block while its file is read.
struct ShaderBlock {
  ShaderDesc* shader = nullptr;
  irr::s32* registeredType = nullptr;
  stringw name;

  // Our reference goes: a working program's material holds its own.
  void close() {
    if (shader != nullptr)
      shader->drop();
    shader = nullptr;
    registeredType = nullptr;
  }
};

void readProgram(const stringc& path, int line, const stringc& prefix, const stringw& value, ShaderBlock& block,
                 GfxResourceRegistry& registry) {
  const std::vector<stringw> parts = splitProgramParts(value);
  if (parts.size() != 2 && parts.size() != 3) {
    if (errorsLogged())
      logError("%s(%i) error Sd006: %s\n", path.c_str(), line, kShaderFormatLine);
    return;
  }
  irr::s32 base = material_type::kSolid;
  if (parts.size() == 3) {
    bool known = false;
    for (const BaseMaterialName& entry : kBaseMaterials) {
      if (parts[2] == entry.name) {
        base = entry.type;
        known = true;
      }
    }
    if (!known && errorsLogged())
      logError("%s(%i) error Sd003: Invalid material base '%ls'\n", path.c_str(), line, parts[2].c_str());
  }
  irr::s32 result = base;
  if (shadersEnabled) {
    irr::video::IGPUProgrammingServices* gpu =
        engine.driver != nullptr ? engine.driver->getGPUProgrammingServices() : nullptr;
    result = -1;
    if (gpu != nullptr)
      result = gpu->addHighLevelShaderMaterialFromFiles(
          prefix + stringc(parts[0].c_str()), "main", irr::video::EVST_VS_1_1, prefix + stringc(parts[1].c_str()),
          "main", irr::video::EPST_PS_1_1, block.shader, static_cast<irr::video::E_MATERIAL_TYPE>(base), 0);
  }
  // The entry is looked up again: other entries may have moved it.
  irr::s32* entry = findNamedValue<irr::s32>(registry.materialTypes, block.name);
  if (result < 0) {
    logError("%s(%i) error Sd004: Error loading shader \"%ls\", see previous lines for specifics\n", path.c_str(),
             line, block.name.c_str());
    if (entry != nullptr)
      *entry = base;
    return;
  }
  if (entry != nullptr)
    *entry = result;
}

void readVariable(const stringc& path, int line, const stringw& value, ShaderBlock& block) {
  auto* variable = new ShaderDesc::ShaderVal;
  try {
    parseShaderVariable(value, *variable);
  } catch (const char* text) {
    delete variable;
    logError("%s(%i) error Sd007: %s\n", path.c_str(), line, text);
    return;
  }
  if (variable->name.size() == 0) {
    // A type we do not know: the line is ignored.
    delete variable;
    return;
  }
  block.shader->variables.push_back(variable);
}

}  // namespace

ShaderDesc::~ShaderDesc() {
  for (irr::u32 i = 0; i < variables.size(); ++i)
    delete variables[i];
}

void parseShaderVariable(const stringw& value, ShaderDesc::ShaderVal& out) {
  const irr::s32 equals = value.findFirst(L'=');
  const stringw left = equals < 0 ? value : value.subString(0, static_cast<irr::u32>(equals));
  const stringw right =
      equals < 0 ? stringw() : value.subString(static_cast<irr::u32>(equals + 1), value.size() - equals - 1);
  std::vector<stringw> words;
  splitWordsQuotedW(trimmed(left), words);
  if (words.size() != 2)
    throw "Shader variables require a \"type name\" portion";
  const stringw& type = words[0];
  const std::vector<stringw> parts = splitValues(right);
  int size = -1;
  if (type.subString(0, 3) == L"tex" && (size = sizeSuffix(type, 3, 1)) >= 1) {
    parseTexture(size, parts, out);
  } else if (type.subString(0, 3) == L"vec" && (size = sizeSuffix(type, 3, 3)) >= 1) {
    parseVector(size, parts, out);
  } else if (type == L"float") {
    parseFloat(parts, out);
  } else {
    return;  // not a type of ours: no name, the caller ignores the line
  }
  out.name = stringc(words[1].c_str());
}

void ShaderDesc::OnSetConstants(irr::video::IMaterialRendererServices* services, irr::s32) {
  irr::video::IShaderConstantLookup* constants = irr::video::shaderConstantLookupOf(services);
  for (irr::u32 i = 0; i < variables.size(); ++i) {
    ShaderVal& variable = *variables[i];
    if (!variable.resolved) {
      variable.resolved = true;
      if (!constants->findShaderConstant(variable.name.c_str(), variable.location, variable.constantType)) {
        variable.location = -1;
        logError("Unable to locate shader constant \"%s\"\n", variable.name.c_str());
      }
    }
    if (variable.location == -1)
      continue;

    irr::f32 floats[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    irr::s32 count = 1;
    const irr::u32 virtualMs = engine.timer != nullptr ? engine.timer->getTime() : 0;
    const irr::u32 realMs = engine.timer != nullptr ? engine.timer->getRealTime() : 0;
    IShaderObjectState* state = nullptr;
    switch (variable.kind) {
      case kObjectState:
      case kEmpireColor:
      case kObjectRadius:
      case kObjectUnderAttack: {
        irr::scene::ISceneNode* node = irr::scene::getNodeBeingDrawn();
        state = node != nullptr && shaderObjectStateOf != nullptr ? shaderObjectStateOf(node) : nullptr;
        if (state == nullptr) {
          // Not set again for the rest of the session.
          variable.location = -1;
          continue;
        }
        break;
      }
      default:
        break;
    }
    switch (variable.kind) {
      case kConstant:
        constants->setShaderConstant(variable.location, variable.constantType, variable.values.floats,
                                     variable.count);
        continue;
      case kTextureIndices:
        constants->setShaderConstant(variable.location, variable.constantType, variable.values.ints,
                                     variable.count);
        continue;
      case kTime:
        floats[0] = static_cast<irr::f32>(virtualMs);
        break;
      case kTimeSecond:
        floats[0] = static_cast<irr::f32>(virtualMs % 1000) / 1000.0f;
        break;
      case kTimeCycle:
      case kRealTimeCycle: {
        const irr::u32 period = variable.values.periodMs;
        const irr::u32 now = variable.kind == kTimeCycle ? virtualMs : realMs;
        floats[0] = period == 0 ? 0.0f : static_cast<irr::f32>(now % period) / static_cast<irr::f32>(period);
        break;
      }
      case kCameraUp: {
        const irr::core::vector3df up =
            gameCamera.node != nullptr ? gameCamera.node->getUpVector() : irr::core::vector3df(0.0f, 1.0f, 0.0f);
        floats[0] = up.X;
        floats[1] = up.Y;
        floats[2] = up.Z;
        count = 3;
        break;
      }
      case kObjectState:
        if (!state->stateVector(variable.sourceName, floats))
          floats[0] = floats[1] = floats[2] = floats[3] = 0.0f;
        count = 4;
        break;
      case kEmpireColor: {
        const irr::video::SColorf color = state->ownerColor();
        floats[0] = color.r;
        floats[1] = color.g;
        floats[2] = color.b;
        count = 3;
        break;
      }
      case kObjectRandom: {
        irr::scene::ISceneNode* node = irr::scene::getNodeBeingDrawn();
        const auto identity = static_cast<irr::u32>(reinterpret_cast<uintptr_t>(node));
        floats[0] = static_cast<irr::f32>(identity & 0x0FFFFFFFu) * (1.0f / 268435456.0f);
        break;
      }
      case kObjectRadius:
        floats[0] = state->radius();
        break;
      case kObjectUnderAttack: {
        irr::u32 when = 0;
        floats[0] = state->lastAttackedMs(when) && realMs - when < kUnderAttackMs ? 1.0f : 0.0f;
        break;
      }
      default:
        continue;
    }
    constants->setShaderConstant(variable.location, variable.constantType, floats, count);
  }
}

void loadShaderDescriptors(GfxResourceRegistry& registry, const stringc& path, bool quiet) {
  const stringc prefix = folderPrefix(path);
  std::vector<NumberedLine> lines;
  if (!readNumberedDataFile(path, lines, kDataFileClean | kDataFileCutComments)) {
    if (!quiet && errorsLogged())
      logError("Failed to load shader descriptor file '%s'\n", path.c_str());
    return;
  }
  logInfo("Loading shader descriptor file: %s\n", path.c_str());

  ShaderBlock block;
  for (const NumberedLine& entry : lines) {
    stringw key;
    stringw value;
    if (!splitKeyValue(entry.text, key, value))
      continue;
    if (key == L"Shader") {
      block.close();
      if (NamedVar<irr::s32>::find(registry.materialTypes, value) >= 0)
        continue;
      NamedVar<irr::s32>::getOrAdd(registry.materialTypes, value).value = material_type::kSolid;
      block.shader = new ShaderDesc;
      block.name = value;
      continue;
    }
    if (block.shader == nullptr) {
      logError("%s(%i) Error Sd001: No shader successfully declared before this line\n", path.c_str(), entry.line);
      continue;
    }
    if (key == L"Program")
      readProgram(path, entry.line, prefix, value, block, registry);
    else if (key == L"Variable")
      readVariable(path, entry.line, value, block);
    else
      logError("%s(%i) Error Sd002: Unrecognized key \"%ls\"\n", path.c_str(), entry.line, key.c_str());
  }
  block.close();
}

bool evaluateShaderCondition(const stringc& word) {
  if (word.size() == 0)
    throw "Empty directive string";
  if (word == "dx8" || word == "dx9" || word == "directx")
    return false;
  if (word == "ogl" || word == "opengl")
    return true;
  if (word == "shaders")
    return shadersEnabled;
  if (word == "low_shaders")
    return shaderLevel >= 1;
  if (word == "med_shaders")
    return shaderLevel >= 2;
  if (word == "hi_shaders")
    return shaderLevel >= 3;
  if (word == "v_hi_shaders")
    return shaderLevel >= 4;
  throw "Unrecognized directive string";
}
