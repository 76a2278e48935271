#include "gfx/model_desc.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "app/base/engine.h"
#include "core/data_file.h"
#include "core/log.h"
#include "core/random.h"
#include "core/text_conversions.h"
#include "gfx/material_desc.h"
#include "gfx/model_particles.h"
#include "gfx/texture_loader.h"

using irr::core::stringc;
using irr::core::stringw;
using irr::core::vector3df;

namespace {

constexpr float kDegreesToRadians = 0.017453292f;
// A direction whose squared length lies this close to 0 is used as it is.
constexpr float kZeroDirection = 1e-08f;
// 2^-32: a 32-bit draw as a fraction of the segment.
constexpr double kUnitFraction = 1.0 / 4294967296.0;

DescriptorIncludeStack modelFiles;

bool errorsLogged() {
  irr::ILogger* logger = engineLogger();
  return logger == nullptr || logger->getLogLevel() <= irr::ELL_ERROR;
}

bool warningsLogged() {
  irr::ILogger* logger = engineLogger();
  return logger == nullptr || logger->getLogLevel() <= irr::ELL_WARNING;
}

// The texts of one kind of line: firing points or impact regions.
struct ShapeTexts {
  const char* point;
  const char* bank;
  const char* line;
  const char* unknown;
};
constexpr ShapeTexts kFiringTexts = {
    "Firing points need a source vector, direction vector, and max-degrees-from angle",
    "Firing banks need at least a source vector, direction vector, and max-degrees-from angle",
    "Firing lines need a start vector, end vector, direction vector, and max-degrees-from angle",
    "Unrecognized firing point type"};
constexpr ShapeTexts kImpactTexts = {
    "Impact points need a source vector, direction vector, and max-degrees-from angle",
    "Impact banks need at least a source vector, direction vector, and max-degrees-from angle",
    "Impact lines need a start vector, end vector, direction vector, and max-degrees-from angle",
    "Unrecognized impact region type"};

vector3df vectorAt(const irr::core::array<stringw>& fields, irr::u32 first) {
  return vector3df(stringToFloat(fields[first]), stringToFloat(fields[first + 1]), stringToFloat(fields[first + 2]));
}

template <class Interface>
Interface* parseShape(const stringw& line, const ShapeTexts& texts) {
  irr::core::array<stringw> fields;
  splitString(line, L',', fields);
  if (fields.size() == 0)
    throw "Empty line";
  const stringw& type = fields[0];
  if (type == L"point") {
    if (fields.size() != 8)
      throw texts.point;
    return new ConePoint<Interface>(vectorAt(fields, 1), vectorAt(fields, 4).normalize(),
                                    coneLimitOfDegrees(stringToFloat(fields[7])));
  }
  if (type == L"bank") {
    if (fields.size() < 8)
      throw texts.bank;
    irr::core::array<vector3df> positions;
    positions.push_back(vectorAt(fields, 1));
    for (irr::u32 first = 8; first + 2 < fields.size(); first += 3)
      positions.push_back(vectorAt(fields, first));
    return new ConeBank<Interface>(positions, vectorAt(fields, 4).normalize(),
                                   coneLimitOfDegrees(stringToFloat(fields[7])));
  }
  if (type == L"line") {
    if (fields.size() != 11)
      throw texts.line;
    return new ConeLine<Interface>(vectorAt(fields, 1), vectorAt(fields, 4), vectorAt(fields, 7).normalize(),
                                   coneLimitOfDegrees(stringToFloat(fields[10])));
  }
  throw texts.unknown;
}

// Cuts at ',' outside double quotes; each part trimmed, its quotes removed.
std::vector<stringw> splitQuotedParts(const stringw& text) {
  std::vector<stringw> parts;
  stringw part;
  bool quoted = false;
  for (irr::u32 i = 0; i < text.size(); ++i) {
    const wchar_t c = text[i];
    if (c == L'"') {
      quoted = !quoted;
    } else if (c == L',' && !quoted) {
      part.trim(" \t\n\r");
      parts.push_back(part);
      part = L"";
    } else {
      part.append(c);
    }
  }
  part.trim(" \t\n\r");
  parts.push_back(part);
  return parts;
}

// The numbers of a comma-separated value.
irr::core::array<float> numbersOf(const stringw& value) {
  irr::core::array<stringw> parts;
  splitString(value, L',', parts);
  irr::core::array<float> numbers;
  for (irr::u32 i = 0; i < parts.size(); ++i)
    numbers.push_back(stringToFloat(parts[i]));
  return numbers;
}

// A model that reshapes its mesh draws from a copy of its own: the engine's
// mesh cache hands every model of one file the same mesh. The copy joins the
// cache under "<file>#<model>" (dropped with the cache at session end).
irr::scene::IAnimatedMesh* ownCopyOf(irr::scene::IAnimatedMesh* mesh, const stringw& modelName) {
  if (engine.scene == nullptr || mesh->getFrameCount() > 1)
    return mesh;  // animated meshes are kept as they are
  irr::scene::IMeshCache* cache = engine.scene->getMeshCache();
  const irr::io::path name = cache->getMeshName(mesh).getPath() + "#" + stringc(modelName.c_str()).c_str();
  if (irr::scene::IAnimatedMesh* made = cache->getMeshByName(name))
    return made;
  irr::scene::SMesh* copy = engine.scene->getMeshManipulator()->createMeshCopy(mesh->getMesh(0));
  if (copy == nullptr)
    return mesh;
  copy->recalculateBoundingBox();
  auto* animated = new irr::scene::SAnimatedMesh(copy);
  copy->drop();
  animated->recalculateBoundingBox();
  cache->addMesh(name, animated);
  animated->drop();
  return animated;
}

struct ModelReader {
  stringc path;
  PendingModel* pending = nullptr;

  void finish() {
    if (pending == nullptr)
      return;
    finishPendingModel(*pending);
    delete pending;
    pending = nullptr;
  }

  void error(int line, const char* text) const {
    if (errorsLogged())
      logError("%s(%i) error %s\n", path.c_str(), line, text);
  }
  void warning(int line, const char* text) const {
    if (warningsLogged())
      logWarning("%s(%i) warning %s\n", path.c_str(), line, text);
  }

  // Returns the last line the key took (a particle system's block).
  const NumberedLine* keyLine(const NumberedLine* entry, const NumberedLine* end, const stringw& key,
                              const stringw& value);
  void lod(int line, const stringw& value);
  void scale(int line, const stringw& value);
};

const NumberedLine* ModelReader::keyLine(const NumberedLine* entry, const NumberedLine* end, const stringw& key,
                                         const stringw& value) {
  const int line = entry->line;
  GfxResourceRegistry& registry = gfxResources;
  if (key == L"Model") {
    finish();
    if (NamedVar<ModelRef*>::find(registry.models, value) >= 0) {
      if (errorsLogged())
        logError("%s(%i) error Md003: Duplicate Model '%ls'\n", path.c_str(), line, value.c_str());
      return entry;
    }
    auto* model = new ModelRef(registry.errorModel.mesh);
    NamedVar<ModelRef*>::getOrAdd(registry.models, value).value = model;
    pending = new PendingModel;
    pending->model = model;
    pending->name = value;
    return entry;
  }
  if (key == L"LoadModels") {
    showDescriptorLoadingText(stringw("  ...") + value);
    const stringc file(value.c_str());
    if (!modelFiles.enter(file)) {
      if (errorsLogged())
        logError("%s(%i) error Md017: LoadModels of '%s' skipped: it is already being read, or the files nest "
                 "deeper than 16\n",
                 path.c_str(), line, file.c_str());
      return entry;
    }
    modelFiles.leave();
    loadModelDescriptors(file);
    return entry;
  }
  if (key == L"ParticleSystem") {
    // A block that no model takes is read and dropped, so that its lines
    // are not taken for the model's keys.
    model_particle_sys* system = new model_particle_sys;
    const NumberedLine* last = readParticleSystem(*system, entry + 1, end, path.c_str());
    if (pending == nullptr) {
      error(line, "Md005: No model prepared");
    } else if (pending->model->particleSystem != nullptr) {
      warning(line, "Md016: Only one particle system supported for the moment");
    } else {
      pending->model->particleSystem = system;
      system = nullptr;
    }
    if (system != nullptr)
      system->drop();
    return last == end ? end - 1 : last;
  }
  if (pending == nullptr) {
    error(line, "Md005: No model prepared");
    return entry;
  }
  if (key == L"File") {
    if (pending->mesh != nullptr) {
      warning(line, "Md011: Only one file per model");
      return entry;
    }
    const stringc file(value.c_str());
    if (engine.fileSystem != nullptr && engine.scene != nullptr && engine.fileSystem->existFile(file))
      pending->mesh = engine.scene->getMesh(file);
    else
      error(line, "Md004: Model file doesn't exist");
  } else if (key == L"LOD") {
    lod(line, value);
  } else if (key == L"Scale") {
    scale(line, value);
  } else if (key == L"Rotate" || key == L"Translate") {
    const irr::core::array<float> numbers = numbersOf(value);
    const bool rotate = key == L"Rotate";
    if (numbers.size() != 3) {
      warning(line, rotate ? "Md009: Model rotations must have 3 angles" : "Md012: Model translations must have 3 angles");
      return entry;
    }
    (rotate ? pending->rotation : pending->translation).set(numbers[0], numbers[1], numbers[2]);
    pending->transform = true;
  } else if (key == L"Material" || key == L"Material2") {
    irr::video::SMaterial* material = getMaterial(value);
    if (material == &registry.errorMaterial) {
      if (warningsLogged())
        logWarning("%s(%i) warning Md010: Material '%ls' not loaded\n", path.c_str(), line, value.c_str());
      return entry;
    }
    (key == L"Material" ? pending->material : pending->secondMaterial) = material;
  } else if (key == L"Firing Point") {
    pending->firingPointLines.push_back(value);
  } else if (key == L"Impact Point") {
    pending->impactPointLines.push_back(value);
  } else if (errorsLogged()) {
    logError("%s(%i) error Md013: Invalid key \"%ls\"\n", path.c_str(), line, key.c_str());
  }
  return entry;
}

void ModelReader::lod(int line, const stringw& value) {
  if (pending->nextLevel != nullptr) {
    warning(line, "Md014: Specify additional LODs within the LOD model's descriptor");
    return;
  }
  const std::vector<stringw> parts = splitQuotedParts(value);
  if (parts.size() != 2) {
    error(line, "Md050: Model LODs must be specified as model reference, distance");
    return;
  }
  const float distance = stringToFloat(parts[1]);
  if (!(distance > 0.0f && distance < 1.0f)) {
    if (warningsLogged())
      logWarning("%s(%i) error Md051: LOD Distance '%f' exceeds bounds (0,1)\n", path.c_str(), line,
                 static_cast<double>(distance));
    return;
  }
  ModelRef* const* level = findNamedValue<ModelRef*>(gfxResources.models, parts[0]);
  if (level == nullptr || *level == nullptr) {
    error(line, "Md015: LOD Model doesn't have a descriptor loaded");
    return;
  }
  pending->nextLevel = *level;
  pending->lodDistance = distance;
}

void ModelReader::scale(int line, const stringw& value) {
  const irr::core::array<float> numbers = numbersOf(value);
  if (numbers.size() == 1) {
    if (numbers[0] == 0.0f) {
      error(line, "Md006: Model scales must be non-zero");
      return;
    }
    pending->scale.set(numbers[0], numbers[0], numbers[0]);
    pending->transform = true;
    return;
  }
  if (numbers.size() == 3) {
    pending->scale.set(numbers[0], numbers[1], numbers[2]);
    if (numbers[0] == 0.0f && numbers[1] == 0.0f && numbers[2] == 0.0f) {
      error(line, "Md007: Model scales must be non-zero");
      return;
    }
    pending->transform = true;
    return;
  }
  warning(line, "Md008: Model scales must have 1 or 3 values");
}

}  // namespace

bool insideCone(const vector3df& origin, const vector3df& axis, float coneLimit, const vector3df& target) {
  vector3df direction = target - origin;
  const float lengthSq = direction.getLengthSQ();
  if (!(lengthSq > -kZeroDirection && lengthSq < kZeroDirection))
    direction /= std::sqrt(lengthSq);
  return direction.dotProduct(axis) >= coneLimit;
}

template <class Interface>
bool ConePoint<Interface>::getPoint(const vector3df& target, vector3df& point) const {
  if (!insideCone(position, axis, coneLimit, target))
    return false;
  point = position;
  return true;
}

template <class Interface>
bool ConeBank<Interface>::getPoint(const vector3df& target, vector3df& point) const {
  if (!insideCone(positions[0], axis, coneLimit, target))
    return false;
  point = positions[static_cast<irr::u32>(processRandom()) % positions.size()];
  return true;
}

template <class Interface>
bool ConeLine<Interface>::getPoint(const vector3df& target, vector3df& point) const {
  if (!insideCone(midpoint, axis, coneLimit, target))
    return false;
  const auto t = static_cast<float>(threadRandom().nextUInt32() * kUnitFraction);
  point = end * (1.0f - t) + start * t;
  return true;
}

template class ConePoint<IFiringPoint>;
template class ConeBank<IFiringPoint>;
template class ConeLine<IFiringPoint>;
template class ConePoint<IImpactRegion>;
template class ConeBank<IImpactRegion>;
template class ConeLine<IImpactRegion>;

ModelRef::~ModelRef() {
  for (irr::u32 i = 0; i < firingPoints.size(); ++i)
    delete firingPoints[i];
  for (irr::u32 i = 0; i < impactRegions.size(); ++i)
    delete impactRegions[i];
  if (particleSystem != nullptr)
    particleSystem->drop();
}

float coneLimitOfDegrees(float degrees) { return std::cos(degrees * kDegreesToRadians); }

void parseFiringPoint(ModelRef& model, const stringw& line) {
  model.firingPoints.push_back(parseShape<IFiringPoint>(line, kFiringTexts));
}

void parseImpactRegion(ModelRef& model, const stringw& line) {
  model.impactRegions.push_back(parseShape<IImpactRegion>(line, kImpactTexts));
}

std::multimap<irr::video::SMaterial*, irr::scene::IMesh*>& modelMaterialMeshes() {
  static std::multimap<irr::video::SMaterial*, irr::scene::IMesh*> pairs;
  return pairs;
}

void finishPendingModel(PendingModel& pending) {
  if (pending.model == nullptr || pending.mesh == nullptr)
    return;
  irr::scene::IAnimatedMesh* mesh = pending.mesh;
  if (pending.transform || pending.material != nullptr)
    mesh = ownCopyOf(mesh, pending.name);
  mesh->setHardwareMappingHint(irr::scene::EHM_STATIC, irr::scene::EBT_VERTEX_AND_INDEX);

  if (pending.material != nullptr) {
    const irr::u32 buffers = mesh->getMeshBufferCount();
    if (pending.secondMaterial == nullptr) {
      for (irr::u32 i = 0; i < buffers; ++i)
        mesh->getMeshBuffer(i)->getMaterial() = *pending.material;
    } else if (buffers < 2) {
      logWarning("Attempted to apply a second material, with only one sub-mesh\n Mesh: \"%ls\"\n",
                 pending.name.c_str());
    } else {
      for (irr::u32 i = 0; i < buffers; ++i)
        mesh->getMeshBuffer(i)->getMaterial() = i == 1 ? *pending.secondMaterial : *pending.material;
    }
    modelMaterialMeshes().emplace(pending.material, mesh);
    registerMaterialMesh(pending.material, mesh);
    if (pending.secondMaterial != nullptr) {
      modelMaterialMeshes().emplace(pending.secondMaterial, mesh);
      registerSecondMaterialMesh(pending.secondMaterial, mesh);
    }
  }

  if (pending.transform && engine.scene != nullptr) {
    irr::core::matrix4 scale;
    scale.setScale(pending.scale);
    irr::core::matrix4 placement;
    placement.setRotationRadians(pending.rotation * kDegreesToRadians);
    placement.setTranslation(pending.translation);
    engine.scene->getMeshManipulator()->transform(mesh, placement * scale);
    mesh->setDirty(irr::scene::EBT_VERTEX);
  }

  if (pending.nextLevel != nullptr) {
    pending.model->nextLevel = pending.nextLevel;
    pending.model->lodDistance = pending.lodDistance;
  }
  pending.model->mesh = mesh;

  for (irr::u32 i = 0; i < pending.firingPointLines.size(); ++i) {
    try {
      parseFiringPoint(*pending.model, pending.firingPointLines[i]);
    } catch (const char* text) {
      logError("Bad firing point: %s\n \"%ls\"\n", text, pending.firingPointLines[i].c_str());
    }
  }
  for (irr::u32 i = 0; i < pending.impactPointLines.size(); ++i) {
    try {
      parseImpactRegion(*pending.model, pending.impactPointLines[i]);
    } catch (const char* text) {
      logError("Bad impact point: %s\n \"%ls\"\n", text, pending.impactPointLines[i].c_str());
    }
  }
}

void loadModelDescriptors(const stringc& path) {
  std::vector<NumberedLine> lines;
  if (!readNumberedDataFile(path, lines, kDataFileClean | kDataFileCutComments)) {
    if (errorsLogged()) {
      std::printf("Failed to load mesh list '%s'\n", path.c_str());
      std::fflush(stdout);
    }
    return;
  }
  logInfo("Loading model descriptors: %s\n", path.c_str());
  const bool entered = modelFiles.enter(path);

  ModelReader reader;
  reader.path = path;
  const NumberedLine* end = lines.data() + lines.size();
  for (const NumberedLine* entry = lines.data(); entry != end; ++entry) {
    stringw key;
    stringw value;
    if (!splitKeyValue(entry->text, key, value)) {
      reader.error(entry->line, "Md012: Invalid Line");
      continue;
    }
    if (key.size() == 0) {
      reader.error(entry->line, "Md001: Empty Key");
      continue;
    }
    entry = reader.keyLine(entry, end, key, value);
  }
  reader.finish();
  if (entered)
    modelFiles.leave();
}
