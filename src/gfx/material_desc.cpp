#include "gfx/material_desc.h"

#include <set>
#include <stdexcept>
#include <vector>

#include "app/base/config.h"
#include "app/base/engine.h"
#include "core/data_file.h"
#include "core/log.h"
#include "core/text_conversions.h"
#include "gfx/base/color.h"
#include "gfx/shader_desc.h"
#include "gfx/texture_loader.h"
#include "platform/engine/engine_textures.h"

using irr::core::stringc;
using irr::core::stringw;

void (*const* descriptorLoadingScreen)(const wchar_t* text) = nullptr;

namespace {

// "#forceHighQTextures on": the highest texture quality's limit.
constexpr irr::u32 kForcedTextureLimit = 104857600;
// Defer priority of textures loaded at once.
constexpr irr::u32 kLoadAtOnce = 4;
constexpr irr::u32 kLayers = irr::video::MATERIAL_MAX_TEXTURES;

const wchar_t kLocaleTag[] = L"<Locale>";

struct RenderModeName {
  const wchar_t* name;
  irr::s32 type;
};
constexpr RenderModeName kRenderModes[] = {{L"Solid", material_type::kSolid},
                                           {L"Alpha", material_type::kAlpha},
                                           {L"Add", material_type::kAdd},
                                           {L"Lightmap", material_type::kLightmap}};

struct DeferName {
  const wchar_t* name;
  irr::u32 priority;
};
constexpr DeferName kDeferPriorities[] = {
    {L"Required", kTextureRequired}, {L"High", kTextureHigh}, {L"Medium", kTextureMedium}, {L"Low", kTextureLow}};

// The banks material descriptors made, and those emptied at a session end
// that the next session's bank of their name takes up again.
std::set<irr::gui::IGUISpriteBank*> sessionBanks;
std::set<irr::gui::IGUISpriteBank*> releasedBanks;
// The GUI environment those banks live in.
irr::gui::IGUIEnvironment* bankEnvironment = nullptr;

DescriptorIncludeStack materialFiles;

bool errorsLogged() {
  irr::ILogger* logger = engineLogger();
  return logger == nullptr || logger->getLogLevel() <= irr::ELL_ERROR;
}

bool startsWith(const stringc& text, const char* prefix) {
  for (irr::u32 i = 0; prefix[i] != 0; ++i)
    if (i >= text.size() || text[i] != prefix[i])
      return false;
  return true;
}

stringc restAfter(const stringc& text, irr::u32 length) {
  stringc rest = text.subString(length, text.size() - length);
  rest.trim(" \t\n\r");
  return rest;
}

stringc lowered(stringc text) {
  text.make_lower();
  return text;
}

// The value of "on" / "off" (any case); false for anything else.
bool readSwitch(const stringc& text, bool& on) {
  const stringc word = lowered(text);
  if (word == "on" || word == "off") {
    on = word == "on";
    return true;
  }
  return false;
}

// One "#if" level.
struct Level {
  bool read = false;
  bool taken = false;
};

struct MaterialReader {
  stringc path;
  // The file's folder followed by "/../": the base of texture paths.
  stringc base;
  stringc folder;
  irr::video::SMaterial* material = nullptr;
  irr::gui::IGUISpriteBank* bank = nullptr;
  irr::u32 deferPriority = kLoadAtOnce;
  std::vector<Level> levels;
  bool forceHighQuality = false;
  irr::u32 keptLimit = 0;
  bool keptMipMaps = true;

  bool reading() const { return levels.empty() || levels.back().read; }

  void error(int line, const char* format, const char* detail = nullptr) const {
    if (!errorsLogged())
      return;
    if (detail != nullptr)
      logError(format, path.c_str(), line, detail);
    else
      logError(format, path.c_str(), line);
  }

  void directive(const NumberedLine& entry);
  void keyLine(const NumberedLine& entry, const stringw& key, const stringw& value);
  void materialKey(int line, const stringw& key, const stringw& value);
  void bankKey(int line, const stringw& key, const stringw& value);
  void autoTile(int line, const stringw& value);
  irr::video::ITexture* loadTexture(const stringw& value, irr::u32 layer);
  stringc texturePath(const stringw& value) const;
};

// Evaluates the lower-cased condition; M071 on a thrown text (`ok` false).
bool evaluate(const MaterialReader& reader, int line, const stringc& condition, bool& ok) {
  ok = true;
  try {
    return evaluateShaderCondition(lowered(condition));
  } catch (const char* text) {
    ok = false;
    reader.error(line, "%s(%i) error M071: %s\n", text);
    return false;
  }
}

void MaterialReader::directive(const NumberedLine& entry) {
  const stringc text(entry.text.c_str());
  const int line = entry.line;
  if (startsWith(text, "#if ")) {
    // A level inside one that is not read is never read, whatever its
    // conditions: marking it taken keeps "#elif" and "#else" shut too.
    if (!reading()) {
      levels.push_back(Level{false, true});
      return;
    }
    bool ok = true;
    const bool read = evaluate(*this, line, restAfter(text, 4), ok);
    levels.push_back(Level{read, read});
    return;
  }
  if (startsWith(text, "#elif ")) {
    if (levels.empty()) {
      error(line, "%s(%i) error M072: #elif without matching #if\n");
      return;
    }
    Level& level = levels.back();
    if (level.taken) {
      level.read = false;
      return;
    }
    bool ok = true;
    level.read = evaluate(*this, line, restAfter(text, 6), ok);
    level.taken = level.read;
    return;
  }
  if (startsWith(text, "#else")) {
    if (levels.empty()) {
      error(line, "%s(%i) error M072: #else without matching #if\n");
      return;
    }
    Level& level = levels.back();
    level.read = !level.read && !level.taken;
    level.taken = true;
    return;
  }
  if (startsWith(text, "#end")) {
    if (levels.empty()) {
      error(line, "%s(%i) error M072: #end without matching #if\n");
      return;
    }
    levels.pop_back();
    return;
  }
  const bool include = startsWith(text, "#include");
  const bool force = startsWith(text, "#forceHighQTextures");
  const bool mipMaps = startsWith(text, "#makeMipMaps");
  if (!include && !force && !mipMaps) {
    error(line, "%s(%i) error M070: Invalid directive (must be #if, #elif, #else, #end, or #include)\n");
    return;
  }
  if (!reading())
    return;
  if (include) {
    const stringc name = restAfter(text, 8);
    if (name.size() < 2 || name[0] != '"' || name[name.size() - 1] != '"' ||
        name.subString(1, name.size() - 2).findFirst('"') >= 0) {
      error(line, "%s(%i) error M075: #include requires a quoted file path/name\n");
      return;
    }
    stringc file = name.subString(1, name.size() - 2);
    showDescriptorLoadingText(stringw("  ...") + stringw(file.c_str()));
    if (startsWith(file, "~/"))
      file = file.subString(2, file.size() - 2);
    else
      file = folder + "/" + file;
    if (materialFiles.depth() >= kMaxDescriptorIncludeDepth ||
        !materialFiles.enter(file)) {
      error(line, "%s(%i) error M078: #include of '%s' skipped: it is already being read, or includes nest deeper "
                  "than 16 files\n",
            file.c_str());
      return;
    }
    materialFiles.leave();
    loadMaterialDescriptors(file);
    return;
  }
  bool on = false;
  if (force) {
    if (!readSwitch(restAfter(text, 19), on)) {
      logError("%s(%i) error M076: #forceHighQTextures must be followed by \"on\" or \"off\"\n", path.c_str(), line);
      return;
    }
    plat::setTextureLimit(engine.driver, on ? kForcedTextureLimit : keptLimit);
    forceHighQuality = on;
    return;
  }
  if (!readSwitch(restAfter(text, 12), on)) {
    logError("%s(%i) error M077: #makeMipMaps must be followed by \"on\" or \"off\"\n", path.c_str(), line);
    return;
  }
  if (engine.driver != nullptr)
    engine.driver->setTextureCreationFlag(irr::video::ETCF_CREATE_MIP_MAPS, on);
}

void MaterialReader::keyLine(const NumberedLine& entry, const stringw& key, const stringw& value) {
  const int line = entry.line;
  if (key.size() == 0) {
    error(line, "%s(%i) error M001: Empty Key\n");
    return;
  }
  if (value.size() == 0) {
    if (errorsLogged())
      logError("%s(%i) error M002: Empty Value for Key '%ls'\n", path.c_str(), line, key.c_str());
    return;
  }
  GfxResourceRegistry& registry = gfxResources;
  if (key == L"Material") {
    deferPriority = kLoadAtOnce;
    bank = nullptr;
    material = nullptr;
    if (NamedVar<irr::video::SMaterial*>::find(registry.materials, value) >= 0) {
      if (errorsLogged())
        logError("%s(%i) error M003: Duplicate Material '%ls'\n", path.c_str(), line, value.c_str());
      // Its keys apply to no material, up to the next block.
      return;
    }
    auto* made = new irr::video::SMaterial;
    for (irr::u32 layer = 0; layer < kLayers; ++layer)
      made->setTexture(layer, registry.errorTexture);
    NamedVar<irr::video::SMaterial*>::getOrAdd(registry.materials, value).value = made;
    material = made;
    return;
  }
  if (key == L"SpriteBank") {
    material = nullptr;
    deferPriority = kLoadAtOnce;
    bank = nullptr;
    if (engine.gui == nullptr)
      return;
    if (engine.gui != bankEnvironment) {
      sessionBanks.clear();
      releasedBanks.clear();
      bankEnvironment = engine.gui;
    }
    const irr::io::path name(stringc(value.c_str()).c_str());
    bank = engine.gui->addEmptySpriteBank(name);
    if (bank == nullptr) {
      // A bank of an ended session is taken up again.
      irr::gui::IGUISpriteBank* kept = engine.gui->getSpriteBank(name);
      if (kept != nullptr && releasedBanks.erase(kept) > 0) {
        bank = kept;
      } else if (errorsLogged()) {
        logError("%s(%i) error M040: Sprite bank named '%ls' already exists\n", path.c_str(), line, value.c_str());
      }
    }
    if (bank != nullptr)
      sessionBanks.insert(bank);
    return;
  }
  if (material != nullptr)
    materialKey(line, key, value);
  else if (bank != nullptr)
    bankKey(line, key, value);
}

void MaterialReader::materialKey(int line, const stringw& key, const stringw& value) {
  irr::video::SMaterial& m = *material;
  if (key == L"RenderMode") {
    for (const RenderModeName& mode : kRenderModes) {
      if (value == mode.name) {
        m.MaterialType = static_cast<irr::video::E_MATERIAL_TYPE>(mode.type);
        return;
      }
    }
    if (const irr::s32* type = findNamedValue<irr::s32>(gfxResources.materialTypes, value)) {
      m.MaterialType = static_cast<irr::video::E_MATERIAL_TYPE>(*type);
      return;
    }
    if (errorsLogged())
      logError("%s(%i) error M004: Invalid Render Mode '%ls'\n", path.c_str(), line, value.c_str());
    return;
  }
  if (key.subString(0, 7) == L"Texture" &&
      (key.size() == 7 || (key.size() == 8 && key[7] >= L'0' && key[7] <= L'9'))) {
    irr::s32 layer = key.size() == 7 ? 0 : key[7] - L'0' - 1;
    layer = layer < 0 ? 0 : (layer > 3 ? 3 : layer);
    loadTexture(value, static_cast<irr::u32>(layer));
    return;
  }
  if (key == L"SpecularFactor" || key == L"Shininess") {
    m.Shininess = stringToFloat(value);
    return;
  }
  irr::video::SColor* colour = key == L"Ambient"    ? &m.AmbientColor
                               : key == L"Diffuse"  ? &m.DiffuseColor
                               : key == L"Specular" ? &m.SpecularColor
                                                    : nullptr;
  if (colour != nullptr) {
    try {
      *colour = parseHexColor(value);
    } catch (const std::invalid_argument& bad) {
      logError("%s(%i) error M030: Bad color '%ls': %s\n", path.c_str(), line, value.c_str(), bad.what());
    }
    return;
  }
  if (key == L"FlagOn" || key == L"FlagOff") {
    const bool on = key == L"FlagOn";
    if (value == L"Lighting") {
      m.Lighting = on;
    } else if (value == L"ZWrite") {
      m.ZWriteEnable = on;
    } else if (value == L"SmoothShading") {
      m.GouraudShading = on;
    } else if (value == L"BackfaceCulling") {
      m.BackfaceCulling = on;
    } else if (value == L"NormalizeNorms") {
      m.NormalizeNormals = on;
    } else if (value == L"ZIgnore") {
      m.ZBuffer = on ? irr::video::ECFN_NEVER : irr::video::ECFN_LESSEQUAL;
    } else if (value == L"Clamp") {
      for (irr::u32 layer = 0; layer < kLayers; ++layer) {
        const irr::u8 wrap = on ? irr::video::ETC_CLAMP : irr::video::ETC_REPEAT;
        m.TextureLayer[layer].TextureWrapU = wrap;
        m.TextureLayer[layer].TextureWrapV = wrap;
      }
    } else if (errorsLogged()) {
      logError("%s(%i) error M005: Unrecognized flag '%ls'\n", path.c_str(), line, value.c_str());
    }
    return;
  }
  if (key == L"RenderVal") {
    m.MaterialTypeParam = stringToFloat(value);
    return;
  }
  if (key == L"RenderVal2") {
    m.MaterialTypeParam2 = stringToFloat(value);
    return;
  }
  if (key == L"Defer") {
    if (singleThreaded || !bDeferredTextures)
      return;
    for (const DeferName& defer : kDeferPriorities) {
      if (value == defer.name) {
        deferPriority = defer.priority;
        return;
      }
    }
    if (errorsLogged())
      logError("%s(%i) error M404: Unrecognized Defer Priority '%ls'\n", path.c_str(), line, value.c_str());
    return;
  }
  if (errorsLogged())
    logError("%s(%i) error M006: Unrecognized Key '%ls'\n", path.c_str(), line, key.c_str());
}

void MaterialReader::bankKey(int line, const stringw& key, const stringw& value) {
  if (key == L"Texture") {
    irr::video::ITexture* texture = plat::loadTextureFile(engine.driver, texturePath(value));
    if (texture == nullptr && value.find(kLocaleTag) >= 0) {
      stringw english = value;
      english.replace(kLocaleTag, L"english");
      texture = plat::loadTextureFile(engine.driver, texturePath(english));
    }
    if (texture != nullptr)
      bank->addTexture(texture);
    return;
  }
  if (key == L"AutoTile") {
    autoTile(line, value);
    return;
  }
  if (key == L"Sprite")
    logWarning("WARNING: SpriteBank:Sprite is not yet supported\n");
}

bool isWholeNumber(const stringw& text) {
  if (text.size() == 0)
    return false;
  for (irr::u32 i = 0; i < text.size(); ++i)
    if (text[i] < L'0' || text[i] > L'9')
      return false;
  return true;
}

void MaterialReader::autoTile(int line, const stringw& value) {
  irr::core::array<stringw> parts;
  splitString(value, L',', parts);
  if (parts.size() < 1 || parts.size() > 4) {
    error(line, "%s(%i) error M046: Auto-Tiling must be specified as: Order [, Width, Height] [, Texture index]\n");
    return;
  }
  stringw order = parts[0];
  order.make_lower();
  if (order != L"colmajor" && order != L"rowmajor") {
    error(line, "%s(%i) error M041: Unrecognized major order - specify ColMajor or RowMajor first\n");
    return;
  }
  if (bank->getTextureCount() == 0) {
    error(line, "%s(%i) error M043: May only auto tile after specifying a valid texture\n");
    return;
  }
  // Without an index the bank's latest texture is tiled; without a size it
  // is one tile.
  irr::u32 index = bank->getTextureCount() - 1;
  if (parts.size() == 2 || parts.size() == 4) {
    const stringw& written = parts[parts.size() - 1];
    if (!isWholeNumber(written) || stringToFloat(written) >= static_cast<float>(bank->getTextureCount())) {
      error(line, "%s(%i) error M044: Out-of-bounds texture index\n");
      return;
    }
    index = static_cast<irr::u32>(stringToFloat(written));
  }
  irr::video::ITexture* texture = bank->getTexture(index);
  if (texture == nullptr) {
    error(line, "%s(%i) error M045: Specified texture is invalid\n");
    return;
  }
  const irr::core::dimension2du size = plat::textureSize(texture);
  irr::u32 tileWidth = size.Width;
  irr::u32 tileHeight = size.Height;
  bool sized = tileWidth > 0 && tileHeight > 0;
  if (parts.size() >= 3)
    sized = parseAutoTileSize(parts[1], size.Width, tileWidth) && parseAutoTileSize(parts[2], size.Height, tileHeight);
  if (!sized) {
    error(line, "%s(%i) error M042: Bad width, height pair - both must be non-zero numbers\n");
    return;
  }
  const irr::u32 columns = size.Width / tileWidth;
  const irr::u32 rows = size.Height / tileHeight;
  const bool rowMajor = order == L"rowmajor";
  const irr::u32 outer = rowMajor ? rows : columns;
  const irr::u32 inner = rowMajor ? columns : rows;
  irr::core::array<irr::core::rect<irr::s32>>& positions = bank->getPositions();
  irr::core::array<irr::gui::SGUISprite>& sprites = bank->getSprites();
  for (irr::u32 a = 0; a < outer; ++a) {
    for (irr::u32 b = 0; b < inner; ++b) {
      const irr::u32 column = rowMajor ? b : a;
      const irr::u32 row = rowMajor ? a : b;
      const auto x = static_cast<irr::s32>(column * tileWidth);
      const auto y = static_cast<irr::s32>(row * tileHeight);
      positions.push_back(irr::core::rect<irr::s32>(x, y, x + static_cast<irr::s32>(tileWidth),
                                                    y + static_cast<irr::s32>(tileHeight)));
      irr::gui::SGUISprite sprite;
      irr::gui::SGUISpriteFrame frame;
      frame.textureNumber = index;
      frame.rectNumber = positions.size() - 1;
      sprite.Frames.push_back(frame);
      sprite.frameTime = 0;
      sprites.push_back(sprite);
    }
  }
}

stringc MaterialReader::texturePath(const stringw& value) const {
  const stringc text(value.c_str());
  if (startsWith(text, "~/"))
    return text.subString(2, text.size() - 2);
  return base + text;
}

irr::video::ITexture* MaterialReader::loadTexture(const stringw& value, irr::u32 layer) {
  stringw wanted = value;
  stringw english;
  const bool localised = value.find(kLocaleTag) >= 0;
  if (localised) {
    english = value;
    english.replace(kLocaleTag, L"english");
    wanted.replace(kLocaleTag, stringw(localeName.c_str()));
  }
  if (deferPriority == kLoadAtOnce) {
    irr::video::ITexture* texture = plat::loadTextureFile(engine.driver, texturePath(wanted));
    if (texture == nullptr && localised)
      texture = plat::loadTextureFile(engine.driver, texturePath(english));
    if (texture != nullptr && layer < kLayers)
      material->setTexture(layer, texture);
    return texture;
  }
  if (engine.fileSystem == nullptr)
    return nullptr;
  stringc file = texturePath(wanted);
  if (!engine.fileSystem->existFile(file) && localised)
    file = texturePath(english);
  if (engine.fileSystem->existFile(file))
    requestTexture(deferPriority, file, material, static_cast<irr::u8>(layer), plat::getTextureLimit(engine.driver));
  return nullptr;
}

}  // namespace

void showDescriptorLoadingText(const stringw& text) {
  if (descriptorLoadingScreen != nullptr && *descriptorLoadingScreen != nullptr)
    (*descriptorLoadingScreen)(text.c_str());
}

stringc descriptorFileKey(const stringc& path) {
  stringc key = path;
  if (engine.fileSystem != nullptr)
    key = engine.fileSystem->getAbsolutePath(path);
  key.make_lower();
  return key;
}

bool DescriptorIncludeStack::enter(const stringc& path) {
  if (files_.size() >= kMaxDescriptorIncludeDepth)
    return false;
  const stringc key = descriptorFileKey(path);
  for (irr::u32 i = 0; i < files_.size(); ++i)
    if (files_[i] == key)
      return false;
  files_.push_back(key);
  return true;
}

void DescriptorIncludeStack::leave() {
  if (files_.size() > 0)
    files_.erase(files_.size() - 1);
}

bool parseAutoTileSize(const stringw& text, irr::u32 side, irr::u32& tileSize) {
  stringw number = text;
  const bool count = number.size() > 0 && (number[number.size() - 1] == L'x' || number[number.size() - 1] == L'X');
  if (count)
    number = number.subString(0, number.size() - 1);
  number.trim(" \t");
  if (!isWholeNumber(number) || number.size() > 9)
    return false;
  const auto n = static_cast<irr::u32>(stringToFloat(number));
  if (n == 0)
    return false;
  tileSize = count ? side / n : n;
  return tileSize > 0;
}

void loadMaterialDescriptors(const stringc& path) {
  MaterialReader reader;
  reader.path = path;
  reader.folder = engine.fileSystem != nullptr ? engine.fileSystem->getFileDir(path) : stringc(".");
  reader.base = reader.folder + "/../";

  irr::video::IVideoDriver* driver = engine.driver;
  if (driver != nullptr)
    driver->setTextureCreationFlag(irr::video::ETCF_CREATE_MIP_MAPS, true);
  reader.keptLimit = plat::getTextureLimit(driver);
  reader.keptMipMaps = true;

  std::vector<NumberedLine> lines;
  if (!readNumberedDataFile(path, lines, kDataFileClean | kDataFileCutComments)) {
    if (errorsLogged())
      logError("Failed to load material descriptor file '%s'\n", path.c_str());
    return;
  }
  logInfo("Loading material descriptor file: %s\n", path.c_str());
  // The caller checked that the file is not open already (the outermost
  // file is always taken).
  const bool entered = materialFiles.enter(path);

  for (const NumberedLine& entry : lines) {
    stringw key;
    stringw value;
    if (entry.text.size() > 0 && entry.text[0] == L'#') {
      reader.directive(entry);
      continue;
    }
    if (!splitKeyValue(entry.text, key, value))
      continue;
    if (!reader.reading())
      continue;
    reader.keyLine(entry, key, value);
  }

  if (entered)
    materialFiles.leave();
  plat::setTextureLimit(driver, reader.keptLimit);
  if (driver != nullptr)
    driver->setTextureCreationFlag(irr::video::ETCF_CREATE_MIP_MAPS, reader.keptMipMaps);
}

void releaseSessionSpriteBanks() {
  if (engine.gui != bankEnvironment) {
    // That environment is gone with its banks.
    sessionBanks.clear();
    releasedBanks.clear();
    return;
  }
  for (irr::gui::IGUISpriteBank* bank : sessionBanks) {
    bank->clear();
    releasedBanks.insert(bank);
  }
  sessionBanks.clear();
}
